// Fields and Field: the columns of a recordset's current row, and the conversion a value goes through
// when it is assigned to a column.
#include <cmath>

#include "com_server/conversions.h"
#include "data_access/ado/ado.h"
#include "data_access/ado/internal/connection_state.h"
#include "data_access/ado/internal/recordset_state.h"

namespace orvan::data::ado {

namespace {

double toWholeSecond(double serial) {
    auto exact = com::makeDate(com::splitDate(serial));
    return exact ? *exact : serial;
}

Variant convert(const Variant& v, int adoType) {
    switch (adoType) {
        case adtype::SmallInt:
            return Variant(com::CInt(v));
        case adtype::Integer:
            return Variant(com::CLng(v));
        case adtype::BigInt: {
            const double d = com::roundHalfEven(com::CDbl(v));
            if (!(std::fabs(d) < 9.2233720368547758e18)) throw com::ComError::basic(com::err::Overflow);
            if (d >= -2147483648.0 && d <= 2147483647.0) return Variant(static_cast<std::int32_t>(d));
            return Variant(d);
        }
        case 4:  // adSingle
        case adtype::Double:
        case 6:   // adCurrency
        case 14:  // adDecimal
        case adtype::Numeric:
        case 139:  // adVarNumeric
            return Variant(com::CDbl(v));
        case adtype::Date:
        case 133:  // adDBDate
        case 134:  // adDBTime
        case adtype::DBTimeStamp:
            return Variant::date(toWholeSecond(com::CDate(v)));
        case adtype::Boolean:
            return Variant(com::CBool(v));
        case 8:    // adBSTR
        case 129:  // adChar
        case 130:  // adWChar
        case 200:  // adVarChar
        case 201:  // adLongVarChar
        case adtype::VarWChar:
        case adtype::LongVarWChar:
            return Variant(com::CStr(v));
        default:
            return v;  // binary and types the layer does not know: sent as given
    }
}

}  // namespace

void refuseNonFinite(const Variant& value, const char* className) {
    bool finite = true;
    switch (value.type()) {
        case com::VarType::Double:
        case com::VarType::Single:
            finite = std::isfinite(value.rawDouble());
            break;
        case com::VarType::Date:
            finite = std::isfinite(value.rawDate());
            break;
        default:
            break;
    }
    if (!finite) throw com::ComError::basic(com::err::Overflow, std::string("ADODB.") + className);
}

Variant coerceToColumn(const Variant& value, int adoType) {
    // The runtime's own reason (type mismatch, overflow) is not what ADO reports for a column.
    const auto conversionFailed = [] { return aderr::error(aderr::ErrorsOccurred, "Field"); };
    Variant v;
    try {
        v = value.isObject() ? com::defaultValue(value) : value;
    } catch (const com::ComError&) {
        throw conversionFailed();
    }
    refuseNonFinite(v, "Field");
    if (v.isEmpty() || v.isNull() || v.isMissing()) return Variant::null();
    try {
        return convert(v, adoType);
    } catch (const com::ComError&) {
        throw conversionFailed();
    }
}

// ---- Field ----------------------------------------------------------------------------------------------

Field::Field(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Field::~Field() = default;

std::string Field::get_Name() {
    return impl_->live().columns[impl_->index].name;
}

std::int32_t Field::get_Type() {
    return impl_->live().columns[impl_->index].adoType;
}

Variant Field::get_Value() {
    return impl_->live().value(impl_->index);
}

void Field::put_Value(Variant value) {
    impl_->live().assign(impl_->index, value);
}

Variant Field::get_OriginalValue() {
    return impl_->live().originalValue(impl_->index);
}

Variant Field::get_UnderlyingValue() {
    Recordset::Impl& rs = impl_->live();
    return recordingErrors(rs.connection.get(), [&] { return rs.underlyingValue(impl_->index); });
}

namespace {

// What ADO reports of a column of each type: its defined size (bytes for fixed types, characters for
// text), precision and numeric scale (255 where the type has none).
struct TypeShape {
    std::int32_t definedSize, precision, scale;
};

TypeShape shapeOf(int adoType) {
    switch (adoType) {
        case adtype::SmallInt:
            return {2, 5, 255};
        case adtype::Integer:
            return {4, 10, 255};
        case 4:  // adSingle
            return {4, 7, 255};
        case adtype::Double:
            return {8, 15, 255};
        case 6:  // adCurrency
            return {8, 19, 255};
        case adtype::BigInt:
            return {8, 19, 255};
        case adtype::Boolean:
            return {2, 255, 255};
        case adtype::Date:
            return {8, 255, 255};
        case adtype::DBTimeStamp:
            return {16, 19, 0};
        case adtype::Numeric:
            return {19, 38, 0};
        case adtype::LongVarBinary:
            return {2147483647, 255, 255};
        default:  // text: long text has no declared length
            return {1073741823, 255, 255};
    }
}

}  // namespace

std::int32_t Field::get_ActualSize() {
    Recordset::Impl& rs = impl_->live();
    const Variant v = rs.value(impl_->index);
    if (v.isNull() || v.isEmpty()) return 0;
    if (v.isString()) {
        // Characters, as the text's length reads in a page (UTF-16 code units).
        std::int32_t n = 0;
        for (unsigned char c : v.rawString()) {
            if ((c & 0xC0) != 0x80) ++n;
            if ((c & 0xF8) == 0xF0) ++n;  // a character beyond the BMP is two units
        }
        return n;
    }
    if (v.isArray()) return static_cast<std::int32_t>(v.rawArray().size());
    return shapeOf(rs.columns[impl_->index].adoType).definedSize;
}

std::int32_t Field::get_DefinedSize() {
    return shapeOf(impl_->live().columns[impl_->index].adoType).definedSize;
}

std::int32_t Field::get_Precision() {
    return shapeOf(impl_->live().columns[impl_->index].adoType).precision;
}

std::int32_t Field::get_NumericScale() {
    return shapeOf(impl_->live().columns[impl_->index].adoType).scale;
}

const com::TypeInfo& Field::typeInfo() const {
    using com::propertyGet;
    using com::propertyPut;
    static const com::TypeInfo info{
        "Field",
        kInterfaceName,
        {propertyGet<&Field::get_Value>("Value", com::kDispidValue),
         propertyPut<&Field::put_Value>("Value", com::kDispidValue), propertyGet<&Field::get_Name>("Name", 1),
         propertyGet<&Field::get_Type>("Type", 2),
         propertyGet<&Field::get_OriginalValue>("OriginalValue", 3),
         propertyGet<&Field::get_UnderlyingValue>("UnderlyingValue", 4),
         propertyGet<&Field::get_ActualSize>("ActualSize", 5),
         propertyGet<&Field::get_DefinedSize>("DefinedSize", 6),
         propertyGet<&Field::get_Precision>("Precision", 7),
         propertyGet<&Field::get_NumericScale>("NumericScale", 8)}};
    return info;
}

// ---- Fields ---------------------------------------------------------------------------------------------

Fields::Fields(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Fields::~Fields() = default;

std::int32_t Fields::get_Count() {
    const Recordset::Impl* rs = impl_->owner;
    return rs && rs->open ? static_cast<std::int32_t>(rs->columns.size()) : 0;
}

std::size_t Fields::column(const Variant& Index) {
    const Recordset::Impl* rs = impl_->owner;
    const std::size_t i = rs && rs->open ? rs->find(Index) : std::string::npos;
    if (i == std::string::npos) throw aderr::error(aderr::ItemNotFound, "Fields");
    return i;
}

ComPtr<Field> Fields::get_Item(Variant Index) {
    return impl_->owner->fieldObject(column(Index));
}

Variant Fields::valueOf(const Variant& Index) {
    return impl_->owner->value(column(Index));
}

void Fields::assign(const Variant& Index, Variant value) {
    impl_->owner->assign(column(Index), value);
}

ComPtr<com::Enumerator> Fields::NewEnum() {
    std::vector<Variant> fields;
    if (Recordset::Impl* rs = impl_->owner; rs && rs->open)
        for (std::size_t i = 0; i < rs->columns.size(); ++i) fields.emplace_back(rs->fieldObject(i));
    return com::make<com::ListEnumerator>(std::move(fields));
}

const com::TypeInfo& Fields::typeInfo() const {
    using com::propertyGet;
    static const com::TypeInfo info{"Fields",
                                    kInterfaceName,
                                    {propertyGet<&Fields::get_Item>("Item", com::kDispidValue, {"Index"}),
                                     propertyGet<&Fields::get_Count>("Count", 1),
                                     propertyGet<&Fields::NewEnum>("_NewEnum", com::kDispidNewEnum)}};
    return info;
}

}  // namespace orvan::data::ado
