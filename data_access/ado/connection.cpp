// Connection: one pooled session, the timeouts, and Execute (a read-only, forward-only Recordset, or a
// closed one for statements that return no rows).
#include <algorithm>
#include <limits>

#include "data_access/ado/ado.h"
#include "data_access/ado/internal/connection_state.h"
#include "data_access/ado/internal/recordset_state.h"
#include "data_access/ado/internal/statement_options.h"
#include "data_access/pool.h"

namespace orvan::data::ado {

namespace {

// A connection-string value that may hold ';' or quotes, written so that the parser reads it back.
std::string quotedValue(const std::string& v) {
    std::string out = "\"";
    for (char c : v) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

Connection::Connection() : impl_(std::make_unique<Impl>()) {}

Connection::~Connection() {
    // Recordsets hold their connection, so none is open on this one any more.
    if (impl_->session) SessionPool::instance().release(impl_->poolKey, std::move(impl_->session));
}

std::string Connection::get_ConnectionString() {
    return impl_->connectionString;
}

void Connection::put_ConnectionString(std::string value) {
    if (impl_->session) throw aderr::error(aderr::ObjectOpen, "Connection");
    impl_->connectionString = std::move(value);
}

std::int32_t Connection::get_ConnectionTimeout() {
    return impl_->connectionTimeout;
}

void Connection::put_ConnectionTimeout(std::int32_t value) {
    if (impl_->session) throw aderr::error(aderr::ObjectOpen, "Connection");
    if (value < 0) throw aderr::error(aderr::InvalidArgument, "Connection");
    impl_->connectionTimeout = value;
}

std::int32_t Connection::get_CommandTimeout() {
    return impl_->commandTimeout;
}

void Connection::put_CommandTimeout(std::int32_t value) {
    if (value < 0) throw aderr::error(aderr::InvalidArgument, "Connection");
    impl_->commandTimeout = value;
}

std::int32_t Connection::get_CursorLocation() {
    return impl_->cursorLocation;
}

void Connection::put_CursorLocation(std::int32_t value) {
    if (value != adUseServer && value != adUseClient)
        throw aderr::error(aderr::InvalidArgument, "Connection");
    impl_->cursorLocation = value;
}

std::int32_t Connection::get_State() {
    return impl_->session ? adStateOpen : adStateClosed;
}

bool Connection::isOpen() const {
    return impl_->session != nullptr;
}

Session& Connection::session() {
    if (!impl_->session) throw aderr::error(aderr::InvalidConnection, "Connection");
    return *impl_->session;
}

void Connection::Open(std::string ConnectionString, std::string UserID, std::string Password, std::int32_t) {
    if (impl_->session) throw aderr::error(aderr::ObjectOpen, "Connection");
    if (!ConnectionString.empty()) impl_->connectionString = std::move(ConnectionString);
    // The arguments override the string's own keys: the parser keeps the last of a repeated key.
    std::string text = impl_->connectionString;
    if (!UserID.empty()) text += ";User ID=" + quotedValue(UserID);
    if (!Password.empty()) text += ";Password=" + quotedValue(Password);
    auto parsed = ConnectionString::parse(text);
    try {
        impl_->session = SessionPool::instance().acquire(parsed, impl_->connectionTimeout);
    } catch (const com::ComError& e) {
        if (e.number() == aderr::ProviderNotFound) throw aderr::error(aderr::ProviderNotFound, "Connection");
        impl_->errors->record(e);
        throw;
    }
    impl_->poolKey = std::move(text);
    impl_->transactionLevel = 0;
}

ComPtr<Recordset> Connection::Execute(std::string CommandText, Variant& RecordsAffected,
                                      std::int32_t Options) {
    if (!impl_->session) throw aderr::error(aderr::ObjectClosed, "Connection");
    const StatementOptions opts = StatementOptions::read(Options, adCmdUnknown, "Connection");
    if (CommandText.empty()) throw aderr::error(kNoCommand, "Connection");
    std::int64_t affected = -1;
    auto rs = com::make<Recordset>();
    recordingErrors(this, [&] {
        if (opts.commandType == adCmdStoredProc) {
            impl_->session->callProcedure(CommandText, {}, impl_->commandTimeout);
        } else {
            rs->impl_->cursorLocation = impl_->cursorLocation;
            OpenRequest req;
            req.commandType = opts.commandType == adCmdTable ? adCmdTable : adCmdText;
            req.text = std::move(CommandText);
            req.timeoutSeconds = impl_->commandTimeout;
            rs->impl_->openOn(ComPtr<Connection>(this), req, &affected);
        }
    });
    RecordsAffected = Variant(static_cast<std::int32_t>(std::clamp<std::int64_t>(
        affected, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())));
    if (opts.noRecords) return nullptr;
    return rs;
}

std::optional<com::ComError> Connection::ExecuteIgnoringFailure(const std::string& CommandText) {
    if (impl_->session) {
        if (auto refused = impl_->session->answeredRefusal(CommandText)) {
            impl_->errors->record(*refused);
            return refused;
        }
    }
    try {
        Variant affected;
        Execute(CommandText, affected, adOptionUnspecified);
        return std::nullopt;
    } catch (const com::ComError& e) {
        return e;
    }
}

void Connection::Close() {
    if (!impl_->session) throw aderr::error(aderr::ObjectClosed, "Connection");
    if (impl_->transactionLevel > 0) throw aderr::error(aderr::InTransaction, "Connection");
    // Closing a connection closes the recordsets open on it and drops their pending changes.
    const auto open = impl_->recordsets;
    for (Recordset::Impl* rs : open) rs->close();
    impl_->recordsets.clear();
    SessionPool::instance().release(impl_->poolKey, std::move(impl_->session));
    impl_->session.reset();
}

namespace {

// The savepoint that stands for nesting level n (n >= 2).
std::string savepointName(std::int32_t level) {
    return "orvan_trans_" + std::to_string(level);
}

}  // namespace

std::int32_t Connection::BeginTrans() {
    if (!impl_->session) throw aderr::error(aderr::ObjectClosed, "Connection");
    const std::int32_t level = impl_->transactionLevel + 1;
    // A nested transaction is a savepoint inside the outer one: both engines offer them.
    recordingErrors(this, [&] {
        impl_->session->execute(level == 1 ? std::string("BEGIN") : "SAVEPOINT " + savepointName(level), {},
                                impl_->commandTimeout);
    });
    impl_->transactionLevel = level;
    return level;
}

void Connection::CommitTrans() {
    if (!impl_->session) throw aderr::error(aderr::ObjectClosed, "Connection");
    const std::int32_t level = impl_->transactionLevel;
    if (level == 0) throw aderr::error(com::hr::NoTransaction, "Connection");
    recordingErrors(this, [&] {
        impl_->session->execute(level == 1 ? std::string("COMMIT") : "RELEASE SAVEPOINT " + savepointName(level),
                                {}, impl_->commandTimeout);
    });
    impl_->transactionLevel = level - 1;
}

void Connection::RollbackTrans() {
    if (!impl_->session) throw aderr::error(aderr::ObjectClosed, "Connection");
    const std::int32_t level = impl_->transactionLevel;
    if (level == 0) throw aderr::error(com::hr::NoTransaction, "Connection");
    // Whatever happens below, this level is over: a failed ROLLBACK leaves nothing to end.
    impl_->transactionLevel = level - 1;
    recordingErrors(this, [&] {
        if (level == 1) {
            impl_->session->execute("ROLLBACK", {}, impl_->commandTimeout);
        } else {
            impl_->session->execute("ROLLBACK TO SAVEPOINT " + savepointName(level), {}, impl_->commandTimeout);
            impl_->session->execute("RELEASE SAVEPOINT " + savepointName(level), {}, impl_->commandTimeout);
        }
    });
}

ComPtr<Errors> Connection::get_Errors() {
    return impl_->errors;
}

std::string Connection::get_Version() {
    return "2.5";
}

const com::TypeInfo& Connection::members() {
    using com::method;
    using com::Param;
    using com::propertyGet;
    using com::propertyPut;
    static const com::TypeInfo info{
        "Connection",
        kInterfaceName,
        {propertyGet<&Connection::get_ConnectionString>("ConnectionString", com::kDispidValue),
         propertyPut<&Connection::put_ConnectionString>("ConnectionString", com::kDispidValue),
         propertyGet<&Connection::get_CommandTimeout>("CommandTimeout", 2),
         propertyPut<&Connection::put_CommandTimeout>("CommandTimeout", 2),
         propertyGet<&Connection::get_ConnectionTimeout>("ConnectionTimeout", 3),
         propertyPut<&Connection::put_ConnectionTimeout>("ConnectionTimeout", 3),
         propertyGet<&Connection::get_State>("State", 4),
         propertyGet<&Connection::get_CursorLocation>("CursorLocation", 5),
         propertyPut<&Connection::put_CursorLocation>("CursorLocation", 5),
         method<&Connection::Close>("Close", 6),
         method<&Connection::Execute>("Execute", 7,
                                      {"CommandText", Param::opt("RecordsAffected"),
                                       Param("Options", Variant(std::int32_t{adOptionUnspecified}))}),
         method<&Connection::Open>("Open", 8,
                                   {Param("ConnectionString", Variant("")), Param("UserID", Variant("")),
                                    Param("Password", Variant("")),
                                    Param("Options", Variant(std::int32_t{adOptionUnspecified}))}),
         method<&Connection::BeginTrans>("BeginTrans", 9),
         method<&Connection::CommitTrans>("CommitTrans", 10),
         method<&Connection::RollbackTrans>("RollbackTrans", 11),
         propertyGet<&Connection::get_Errors>("Errors", 12),
         propertyGet<&Connection::get_Version>("Version", 13)}};
    return info;
}

}  // namespace orvan::data::ado
