// Command, Parameters and Parameter: a statement, table or stored procedure run on a Connection, with
// positional parameters ("?" in a text) or a procedure's parameters whose outputs are written back.
#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "com_server/conversions.h"
#include "data_access/ado/ado.h"
#include "com_server/enumeration.h"
#include "data_access/ado/internal/command_state.h"
#include "data_access/ado/internal/connection_state.h"
#include "data_access/ado/internal/recordset_state.h"
#include "data_access/ado/internal/statement_options.h"

namespace orvan::data::ado {

namespace {

// Types whose values have no fixed length: a parameter of one needs a Size before it is appended.
bool isVariableLength(std::int32_t type) {
    switch (type) {
        case 128:  // adBinary
        case 129:  // adChar
        case 130:  // adWChar
        case 200:  // adVarChar
        case 201:  // adLongVarChar
        case 202:  // adVarWChar
        case 203:  // adLongVarWChar
        case 204:  // adVarBinary
        case 205:  // adLongVarBinary
            return true;
        default:
            return false;
    }
}

void checkDirection(std::int32_t d, const char* className) {
    if (d < adParamUnknown || d > adParamReturnValue) throw aderr::error(aderr::InvalidArgument, className);
}

// An ordinal from an index Variant, or nullopt when the index is a name (or no index at all).
std::optional<std::int64_t> ordinalOf(const Variant& index) {
    switch (index.type()) {
        case com::VarType::Integer:
        case com::VarType::Long:
        case com::VarType::Double:
        case com::VarType::Boolean:
            return static_cast<std::int64_t>(com::roundHalfEven(com::CDbl(index)));
        default:
            return std::nullopt;
    }
}

}  // namespace

// ---- Parameter ----------------------------------------------------------------------------------------

Parameter::Parameter() = default;
Parameter::~Parameter() = default;

std::string Parameter::get_Name() {
    return name_;
}
void Parameter::put_Name(std::string v) {
    name_ = std::move(v);
}
std::int32_t Parameter::get_Type() {
    return type_;
}
void Parameter::put_Type(std::int32_t v) {
    type_ = v;
}
std::int32_t Parameter::get_Direction() {
    return direction_;
}

void Parameter::put_Direction(std::int32_t v) {
    checkDirection(v, "Parameter");
    direction_ = v;
}

std::int32_t Parameter::get_Size() {
    return size_;
}

void Parameter::put_Size(std::int32_t v) {
    if (v < 0) throw aderr::error(aderr::InvalidArgument, "Parameter");
    size_ = v;
}

Variant Parameter::get_Value() {
    return value_;
}
void Parameter::put_Value(Variant v) {
    refuseNonFinite(v, "Parameter");
    value_ = v.isMissing() ? Variant() : std::move(v);
}

std::int32_t Parameter::get_Precision() {
    return precision_;
}

void Parameter::put_Precision(std::int32_t v) {
    if (v < 0 || v > 255) throw aderr::error(aderr::InvalidArgument, "Parameter");
    precision_ = v;
}

std::int32_t Parameter::get_NumericScale() {
    return scale_;
}

void Parameter::put_NumericScale(std::int32_t v) {
    if (v < 0 || v > 255) throw aderr::error(aderr::InvalidArgument, "Parameter");
    scale_ = v;
}

const com::TypeInfo& Parameter::members() {
    using com::propertyGet;
    using com::propertyPut;
    static const com::TypeInfo info{
        "Parameter",
        kInterfaceName,
        {propertyGet<&Parameter::get_Value>("Value", com::kDispidValue),
         propertyPut<&Parameter::put_Value>("Value", com::kDispidValue),
         propertyGet<&Parameter::get_Name>("Name", 1), propertyPut<&Parameter::put_Name>("Name", 1),
         propertyGet<&Parameter::get_Type>("Type", 2), propertyPut<&Parameter::put_Type>("Type", 2),
         propertyGet<&Parameter::get_Direction>("Direction", 3),
         propertyPut<&Parameter::put_Direction>("Direction", 3), propertyGet<&Parameter::get_Size>("Size", 4),
         propertyPut<&Parameter::put_Size>("Size", 4), propertyGet<&Parameter::get_Precision>("Precision", 5),
         propertyPut<&Parameter::put_Precision>("Precision", 5),
         propertyGet<&Parameter::get_NumericScale>("NumericScale", 6),
         propertyPut<&Parameter::put_NumericScale>("NumericScale", 6)}};
    return info;
}

// ---- Parameters ---------------------------------------------------------------------------------------

Parameters::Parameters() = default;
Parameters::~Parameters() = default;

std::int32_t Parameters::get_Count() {
    return static_cast<std::int32_t>(items_.size());
}

ComPtr<Parameter> Parameters::get_Item(Variant Index) {
    if (auto n = ordinalOf(Index)) {
        if (*n < 0 || *n >= static_cast<std::int64_t>(items_.size()))
            throw aderr::error(aderr::ItemNotFound, "Parameters");
        return items_[static_cast<std::size_t>(*n)];
    }
    if (Index.isString()) {
        for (const auto& p : items_)
            if (sameName(p->get_Name(), Index.rawString())) return p;
    }
    throw aderr::error(aderr::ItemNotFound, "Parameters");
}

void Parameters::Append(ComPtr<Parameter> item) {
    if (!item) throw aderr::error(aderr::InvalidArgument, "Parameters");
    if (isVariableLength(item->get_Type()) && item->get_Size() == 0)
        throw aderr::error(aderr::InvalidParamInfo, "Parameters");
    items_.push_back(std::move(item));
}

void Parameters::Delete(Variant Index) {
    const ComPtr<Parameter> p = get_Item(std::move(Index));
    std::erase(items_, p);
}

void Parameters::Refresh() {
    if (!owner_) throw adoError(aderr::FeatureNotAvailable, "Parameters", kNotCapable);
    const Command::Impl& c = *owner_->impl_;
    if (c.type != adCmdText && c.type != adCmdUnknown && c.type != adCmdUnspecified)
        throw adoError(aderr::FeatureNotAvailable, "Parameters", kNotCapable);
    // One input parameter per "?" outside quoted text and quoted names, named as ADO names them.
    std::size_t marks = 0;
    char quote = 0;
    for (char ch : c.text) {
        if (quote) {
            if (ch == quote) quote = 0;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else if (ch == '?') {
            ++marks;
        }
    }
    items_.clear();
    for (std::size_t i = 0; i < marks; ++i) {
        auto p = com::make<Parameter>();
        p->put_Name("Param" + std::to_string(i + 1));
        p->put_Type(adtype::VarWChar);
        items_.push_back(std::move(p));
    }
}

ComPtr<com::Enumerator> Parameters::NewEnum() {
    std::vector<Variant> items;
    for (const auto& p : items_) items.emplace_back(p);
    return com::make<com::ListEnumerator>(std::move(items));
}

const com::TypeInfo& Parameters::typeInfo() const {
    using com::method;
    using com::propertyGet;
    static const com::TypeInfo info{"Parameters",
                                    kInterfaceName,
                                    {propertyGet<&Parameters::get_Item>("Item", com::kDispidValue, {"Index"}),
                                     propertyGet<&Parameters::get_Count>("Count", 1),
                                     method<&Parameters::Append>("Append", 2, {"Object"}),
                                     method<&Parameters::Delete>("Delete", 3, {"Index"}),
                                     method<&Parameters::Refresh>("Refresh", 4),
                                     propertyGet<&Parameters::NewEnum>("_NewEnum", com::kDispidNewEnum)}};
    return info;
}

// ---- Command ------------------------------------------------------------------------------------------

std::vector<Variant> Command::Impl::positionalValues() const {
    std::vector<Variant> out;
    for (const auto& p : parameters->items_)
        if (p->get_Direction() != adParamReturnValue) out.push_back(p->get_Value());
    return out;
}

void Command::Impl::callProcedure(Connection& conn, int timeoutSeconds) {
    auto& items = parameters->items_;
    std::vector<ProcedureParam> call;
    call.reserve(items.size());
    for (const auto& p : items)
        call.push_back(ProcedureParam{p->get_Name(), p->get_Direction(), p->get_Type(), p->get_Value()});
    conn.session().callProcedure(text, call, timeoutSeconds);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (call[i].direction != adParamInput) items[i]->put_Value(std::move(call[i].value));
}

Command::Command() : impl_(std::make_unique<Impl>()) {
    impl_->parameters->owner_ = this;
}
Command::~Command() {
    // The collection may outlive its command in a caller's hands; it no longer has a text to read.
    impl_->parameters->owner_ = nullptr;
}

ComPtr<Connection> Command::get_ActiveConnection() {
    return impl_->connection;
}
void Command::putref_ActiveConnection(ComPtr<Connection> value) {
    impl_->connection = std::move(value);
}
std::string Command::get_CommandText() {
    return impl_->text;
}
void Command::put_CommandText(std::string value) {
    impl_->text = std::move(value);
}
std::int32_t Command::get_CommandType() {
    return impl_->type;
}

void Command::put_CommandType(std::int32_t value) {
    switch (value) {
        case adCmdUnspecified:
        case adCmdText:
        case adCmdTable:
        case adCmdStoredProc:
        case adCmdUnknown:
        case adCmdFile:
        case adCmdTableDirect:
            impl_->type = value;
            return;
        default:
            throw aderr::error(aderr::InvalidArgument, "Command");
    }
}

std::int32_t Command::get_CommandTimeout() {
    return impl_->timeout.value_or(30);
}

void Command::put_CommandTimeout(std::int32_t value) {
    if (value < 0) throw aderr::error(aderr::InvalidArgument, "Command");
    impl_->timeout = value;
}

ComPtr<Parameters> Command::get_Parameters() {
    return impl_->parameters;
}

bool Command::get_Prepared() {
    return impl_->prepared;
}

void Command::put_Prepared(bool value) {
    impl_->prepared = value;
}

std::int32_t Command::get_State() {
    return adStateClosed;
}

ComPtr<Parameter> Command::CreateParameter(std::string Name, std::int32_t Type, std::int32_t Direction,
                                           std::int32_t Size, Variant Value) {
    checkDirection(Direction, "Command");
    if (Size < 0) throw aderr::error(aderr::InvalidArgument, "Command");
    auto p = com::make<Parameter>();
    p->put_Name(std::move(Name));
    p->put_Type(Type);
    p->put_Direction(Direction);
    p->put_Size(Size);
    p->put_Value(std::move(Value));
    return p;
}

ComPtr<Recordset> Command::Execute(Variant& RecordsAffected, Variant Parameters, std::int32_t Options) {
    const ComPtr<Connection> conn = impl_->connection;
    if (!conn || !conn->isOpen()) throw aderr::error(aderr::InvalidConnection, "Command");
    const StatementOptions opts = StatementOptions::read(Options, impl_->type, "Command");
    if (impl_->text.empty()) throw aderr::error(kNoCommand, "Command");

    auto& items = impl_->parameters->items_;
    // Values given to Execute replace the parameters' values in order; values beyond the defined
    // parameters are sent as further positional values.
    std::vector<Variant> extra;
    if (!Parameters.isMissing() && !Parameters.isEmpty()) {
        std::vector<Variant> given =
            Parameters.isArray() ? Parameters.rawArray() : std::vector<Variant>{Parameters};
        for (std::size_t i = 0; i < given.size(); ++i) {
            if (i < items.size())
                items[i]->put_Value(std::move(given[i]));
            else
                extra.push_back(std::move(given[i]));
        }
    }
    const int timeout = impl_->timeoutOn(*conn);

    std::int64_t affected = -1;
    auto rs = com::make<Recordset>();
    recordingErrors(conn.get(), [&] {
        if (opts.commandType == adCmdStoredProc) {
            impl_->callProcedure(*conn, timeout);
        } else {
            OpenRequest req;
            req.commandType = opts.commandType;
            req.text = impl_->text;
            req.timeoutSeconds = timeout;
            if (req.commandType == adCmdText) {
                req.params = impl_->positionalValues();
                for (auto& v : extra) req.params.push_back(std::move(v));
            }
            rs->impl_->cursorLocation = conn->get_CursorLocation();
            rs->impl_->openOn(conn, req, &affected);
        }
    });
    RecordsAffected = Variant(static_cast<std::int32_t>(std::clamp<std::int64_t>(
        affected, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())));
    if (opts.noRecords) return nullptr;
    return rs;
}

const com::TypeInfo& Command::members() {
    using com::method;
    using com::Param;
    using com::propertyGet;
    using com::propertyPut;
    using com::propertyPutRef;
    static const com::TypeInfo info{
        "Command",
        kInterfaceName,
        {propertyGet<&Command::get_Parameters>("Parameters", com::kDispidValue),
         propertyGet<&Command::get_ActiveConnection>("ActiveConnection", 1),
         propertyPutRef<&Command::putref_ActiveConnection>("ActiveConnection", 1),
         propertyGet<&Command::get_CommandText>("CommandText", 2),
         propertyPut<&Command::put_CommandText>("CommandText", 2),
         propertyGet<&Command::get_CommandTimeout>("CommandTimeout", 3),
         propertyPut<&Command::put_CommandTimeout>("CommandTimeout", 3),
         propertyGet<&Command::get_CommandType>("CommandType", 4),
         propertyPut<&Command::put_CommandType>("CommandType", 4),
         method<&Command::CreateParameter>(
             "CreateParameter", 5,
             {Param("Name", Variant("")), Param("Type", Variant(std::int32_t{0})),
              Param("Direction", Variant(std::int32_t{adParamInput})),
              Param("Size", Variant(std::int32_t{0})), Param::opt("Value")}),
         method<&Command::Execute>("Execute", 6,
                                   {Param::opt("RecordsAffected"), Param::opt("Parameters"),
                                    Param("Options", Variant(std::int32_t{adOptionUnspecified}))}),
         propertyGet<&Command::get_Prepared>("Prepared", 7),
         propertyPut<&Command::put_Prepared>("Prepared", 7),
         propertyGet<&Command::get_State>("State", 8)}};
    return info;
}

}  // namespace orvan::data::ado
