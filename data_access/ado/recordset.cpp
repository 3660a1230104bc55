// Recordset: opening on a statement, a table or a Command; navigation over the rows held in memory;
// and the immediate-mode writes (AddNew/Update as one INSERT, an edit/Update as one UPDATE located by
// the primary key and the edited columns' original values).
#include <algorithm>
#include <cmath>

#include "com_server/conversions.h"
#include "data_access/ado/ado.h"
#include "data_access/ado/internal/command_state.h"
#include "data_access/ado/internal/connection_state.h"
#include "data_access/ado/internal/recordset_state.h"
#include "data_access/ado/internal/statement_options.h"

namespace orvan::data::ado {

namespace {

constexpr const char* kNoBaseTable = "Insufficient base table information for updating or refreshing.";
constexpr const char* kTooManyRows =
    "Key column information is insufficient or incorrect. Too many rows were affected by update.";
constexpr double kSecond = 1.0 / 86400.0;
// The first and last instants a date-time can hold (1 January 100 00:00:00, 31 December 9999 23:59:59),
// on the straight time line of linearDays.
constexpr double kFirstInstant = -657434.0;
constexpr double kLastInstant = 2958465.0 + 86399.0 * kSecond;

// A date serial as a point on a straight time line, in days from 1899-12-30 00:00:00. A serial's
// whole part is the day and its fraction the time of day counted forward from that day's midnight on
// both sides of day 0, so before day 0 the serial runs backwards within a day: -1.25 is 1899-12-29
// 06:00, which lies 0.75 days before day 0.
double linearDays(double serial) {
    const double day = std::trunc(serial);
    return day + std::fabs(serial - day);
}

// The date serial of a point on that time line (the inverse of linearDays).
double serialOf(double linear) {
    const double day = std::floor(linear);
    const double time = linear - day;
    return day < 0 ? day - time : day + time;
}

// A table name as the engine reported it, quoted part by part ("schema"."table").
std::string quoteTableName(std::string_view name) {
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        out += quoteIdentifier(name.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

// Whether a stored row and a row this recordset wrote hold the same value in one column. The engine
// may hand an integer back in another width than the one written, so numbers compare by value.
bool sameCell(const Variant& a, const Variant& b) {
    if (a.isNumeric() && b.isNumeric()) return com::CDbl(a) == com::CDbl(b);
    return sameValue(a, b);
}

}  // namespace

// ---- state ----------------------------------------------------------------------------------------------

Recordset::Impl::Impl() : fields(new Fields(std::make_unique<Fields::Impl>())) {
    fields->impl_->owner = this;
}

void Recordset::Impl::requireOpen(const char* className) const {
    if (!open) throw aderr::error(aderr::ObjectClosed, className);
}

Session& Recordset::Impl::session() const {
    if (!connection || !connection->isOpen()) throw aderr::error(aderr::InvalidConnection, "Recordset");
    return connection->session();
}

void Recordset::Impl::loadColumns(std::vector<ColumnInfo> cols) {
    columns = std::move(cols);
    fieldObjects.clear();
    fieldObjects.resize(columns.size());
}

const ComPtr<Field>& Recordset::Impl::fieldObject(std::size_t i) {
    ComPtr<Field>& field = fieldObjects.at(i);
    if (!field) {
        auto impl = std::make_unique<Field::Impl>();
        impl->owner = this;
        impl->index = i;
        field = ComPtr<Field>(new Field(std::move(impl)));
    }
    return field;
}

void Recordset::Impl::readRows(ResultSet& rs, std::size_t limit) {
    std::vector<Variant> row;
    while ((limit == 0 || rows.size() < limit) && rs.next(row)) {
        rows.push_back(Row{std::move(row), nextId++, false, {}});
        row.clear();
    }
}

void Recordset::Impl::openOn(ComPtr<Connection> conn, const OpenRequest& req, std::int64_t* affected) {
    if (!conn || !conn->isOpen()) throw aderr::error(aderr::InvalidConnection, "Recordset");
    if (req.text.empty()) throw aderr::error(kNoCommand, "Recordset");
    Session& s = conn->session();
    std::vector<ColumnInfo> cols;
    rows.clear();
    if (req.commandType == adCmdTable) {
        // The table's columns and types, without reading a row: the rows are read when first asked for,
        // so that opening a table to append to it costs the same whatever the table holds.
        cols = s.tableColumns(req.text, req.timeoutSeconds);
        for (auto& c : cols) {
            if (c.baseTable.empty()) c.baseTable = req.text;
            if (c.baseColumn.empty()) c.baseColumn = c.name;
        }
        tableName = req.text;
        fetchSql = "SELECT * FROM " + req.text;
        fetched = false;
        if (affected) *affected = -1;
    } else {
        auto result = s.execute(req.text, req.params, req.timeoutSeconds);
        if (affected) *affected = result->rowsAffected();
        // A statement that returns no rows leaves the recordset closed, without an error.
        if (result->columns().empty()) return;
        cols = result->columns();
        readRows(*result, static_cast<std::size_t>(std::max(maxRecords, 0)));
        tableName.clear();
        fetched = true;
    }
    connection = std::move(conn);
    timeoutSeconds = req.timeoutSeconds;
    request = req;
    loadColumns(std::move(cols));
    openCursorType = cursorLocation == adUseClient ? adOpenStatic : cursorType;
    pos = 0;
    editMode = adEditNone;
    targetKnown = false;
    filter = Variant(std::int32_t{adFilterNone});
    sort.clear();
    filteredOut.clear();
    currentDeleted = false;
    open = true;
    connection->impl_->recordsets.push_back(this);
}

void Recordset::Impl::ensureFetched() {
    if (fetched) return;
    auto result = session().execute(fetchSql, {}, timeoutSeconds);
    std::vector<Row> locals = std::move(rows);
    rows.clear();
    readRows(*result, static_cast<std::size_t>(std::max(maxRecords, 0)));
    result.reset();
    // Rows this recordset appended before the read are in the table now; their stored copies are left
    // out so that each shows once, and the appended ones stay at the end with the current row among them.
    const std::ptrdiff_t pendingAdd = editMode == adEditAdd ? pos : -1;
    if (targetKnown && !locals.empty()) resolveKey();
    for (std::ptrdiff_t li = 0; li < static_cast<std::ptrdiff_t>(locals.size()); ++li) {
        const Row& mine = locals[static_cast<std::size_t>(li)];
        if (li == pendingAdd || mine.written.empty()) continue;
        std::vector<std::size_t> match;
        if (targetKnown && keyComplete &&
            std::all_of(keyColumns.begin(), keyColumns.end(), [&](std::size_t c) { return mine.written[c]; }))
            match = keyColumns;
        else
            for (std::size_t c = 0; c < mine.written.size(); ++c)
                if (mine.written[c]) match.push_back(c);
        auto twin = std::find_if(rows.begin(), rows.end(), [&](const Row& stored) {
            return std::all_of(match.begin(), match.end(),
                               [&](std::size_t c) { return sameCell(stored.values[c], mine.values[c]); });
        });
        if (twin != rows.end()) rows.erase(twin);
    }
    const auto stored = static_cast<std::ptrdiff_t>(rows.size());
    if (!locals.empty()) {
        pos += stored;
        if (editMode == adEditAdd) posBeforeAdd += stored;
    } else {
        pos = 0;
    }
    for (auto& r : locals) rows.push_back(std::move(r));
    fetched = true;
}

std::size_t Recordset::Impl::find(const Variant& index) const {
    switch (index.type()) {
        case com::VarType::Integer:
        case com::VarType::Long:
        case com::VarType::Double: {
            const double n =
                com::roundHalfEven(index.type() == com::VarType::Double ? index.rawDouble() : index.rawInt());
            if (n < 0 || n >= static_cast<double>(columns.size())) return std::string::npos;
            return static_cast<std::size_t>(n);
        }
        case com::VarType::String: {
            // A repeated name finds its first column.
            for (std::size_t i = 0; i < columns.size(); ++i)
                if (sameName(columns[i].name, index.rawString())) return i;
            return std::string::npos;
        }
        default:
            return std::string::npos;
    }
}

Variant Recordset::Impl::value(std::size_t i) {
    if (editMode != adEditNone) return pending[i];
    if (currentDeleted) throw aderr::error(com::hr::DeletedRow, "Field");
    // The row just appended to a table whose rows were not read yet is readable without reading them.
    if (!fetched && !(hasCurrent() && rows[static_cast<std::size_t>(pos)].local)) ensureFetched();
    if (!hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Field");
    return rows[static_cast<std::size_t>(pos)].values[i];
}

Variant Recordset::Impl::originalValue(std::size_t i) {
    if (editMode == adEditAdd) return Variant();
    if (!fetched && !(hasCurrent() && rows[static_cast<std::size_t>(pos)].local)) ensureFetched();
    if (!hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Field");
    return rows[static_cast<std::size_t>(pos)].values[i];
}

void Recordset::Impl::assign(std::size_t i, const Variant& v) {
    if (!updatable()) throw aderr::error(aderr::FeatureNotAvailable, "Field");
    if (editMode == adEditNone) {
        if (!fetched && !(hasCurrent() && rows[static_cast<std::size_t>(pos)].local)) ensureFetched();
        if (!hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Field");
    }
    Variant converted = coerceToColumn(v, columns[i].adoType);
    if (editMode == adEditNone) {
        pending = rows[static_cast<std::size_t>(pos)].values;
        assigned.assign(columns.size(), false);
        editMode = adEditInProgress;
    }
    pending[i] = std::move(converted);
    assigned[i] = true;
}

void Recordset::Impl::addNew() {
    requireOpen();
    if (!updatable()) throw aderr::error(aderr::FeatureNotAvailable, "Recordset");
    settleBeforeMove();
    posBeforeAdd = pos;
    rows.push_back(Row{std::vector<Variant>(columns.size()), nextId++, !fetched, {}});
    pos = static_cast<std::ptrdiff_t>(rows.size()) - 1;
    pending.assign(columns.size(), Variant());
    assigned.assign(columns.size(), false);
    editMode = adEditAdd;
}

void Recordset::Impl::resolveTarget(const std::vector<std::size_t>& touched, bool withKey) {
    if (!targetKnown) {
        if (!tableName.empty()) {
            targetSql = tableName;
            targetTable = columns.empty() ? tableName : columns.front().baseTable;
        } else {
            if (touched.empty() || columns[touched.front()].baseTable.empty())
                throw adoError(kFail, "Recordset", kNoBaseTable);
            targetTable = columns[touched.front()].baseTable;
            targetSql = quoteTableName(targetTable);
        }
        keyKnown = false;
        targetKnown = true;
    }
    for (std::size_t c : touched)
        if (columns[c].baseTable.empty() || !sameName(columns[c].baseTable, targetTable))
            throw adoError(kFail, "Recordset", kNoBaseTable);
    if (withKey) resolveKey();
}

void Recordset::Impl::resolveKey() {
    if (keyKnown) return;
    auto columnOf = [&](const std::string& name) {
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (sameName(columns[c].baseColumn, name) && sameName(columns[c].baseTable, targetTable)) return c;
        return std::string::npos;
    };
    keyColumns.clear();
    keyComplete = false;
    const std::vector<std::string>& key = session().cachedPrimaryKey(targetTable);
    for (const auto& k : key) {
        const std::size_t c = columnOf(k);
        if (c == std::string::npos) break;
        keyColumns.push_back(c);
    }
    keyComplete = !key.empty() && keyColumns.size() == key.size();
    if (!keyComplete) {
        // Without the whole key among the columns, a row is located by every column of its table the
        // recordset holds.
        keyColumns.clear();
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (sameName(columns[c].baseTable, targetTable)) keyColumns.push_back(c);
    }
    keyKnown = true;
}

void Recordset::Impl::insertPending() {
    std::vector<std::size_t> touched;
    for (std::size_t c = 0; c < assigned.size(); ++c)
        if (assigned[c]) touched.push_back(c);
    resolveTarget(touched, false);
    std::string sql = "INSERT INTO " + targetSql;
    if (touched.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        sql += " (";
        for (std::size_t k = 0; k < touched.size(); ++k) {
            if (k) sql += ", ";
            appendQuotedIdentifier(sql, columns[touched[k]].baseColumn);
        }
        sql += ") VALUES (";
        for (std::size_t k = 0; k < touched.size(); ++k) sql += k ? ", ?" : "?";
        sql += ')';
    }
    // The values go to the statement and from there to the row; a failed insert gives them back, for
    // the caller to correct and try again.
    std::vector<Variant> params;
    params.reserve(touched.size());
    for (std::size_t c : touched) params.push_back(std::move(pending[c]));
    try {
        session().execute(sql, params, timeoutSeconds);
    } catch (...) {
        for (std::size_t k = 0; k < touched.size(); ++k) pending[touched[k]] = std::move(params[k]);
        throw;
    }
    Row& row = rows[static_cast<std::size_t>(pos)];
    for (std::size_t c = 0; c < columns.size(); ++c) row.values[c] = Variant::null();
    for (std::size_t k = 0; k < touched.size(); ++k) row.values[touched[k]] = std::move(params[k]);
    row.written = assigned;
    editMode = adEditNone;
    pending.clear();
}

void Recordset::Impl::updatePending() {
    std::vector<std::size_t> touched;
    for (std::size_t c = 0; c < assigned.size(); ++c)
        if (assigned[c]) touched.push_back(c);
    if (touched.empty()) {
        editMode = adEditNone;
        return;
    }
    resolveTarget(touched);
    Row& row = rows[static_cast<std::size_t>(pos)];
    std::string sql = "UPDATE " + targetSql + " SET ";
    std::vector<Variant> params;
    for (std::size_t k = 0; k < touched.size(); ++k) {
        if (k) sql += ", ";
        sql += quoteIdentifier(columns[touched[k]].baseColumn) + " = ?";
        params.push_back(pending[touched[k]]);
    }
    // The row is found by its key and by the values the edited columns had when it was read: a row
    // someone else changed in between is not found, and the update fails instead of overwriting.
    sql += locate(row, touched, params);
    auto result = session().execute(sql, params, timeoutSeconds);
    const std::int64_t n = result->rowsAffected();
    if (n == 0) throw aderr::error(aderr::ConcurrencyViolation, "Recordset");
    // More than one row was written (only possible without a complete key): the change is in the
    // database, so the row shows it, but the caller is told.
    for (std::size_t c : touched) row.values[c] = std::move(pending[c]);
    editMode = adEditNone;
    pending.clear();
    if (n > 1) throw adoError(kFail, "Recordset", kTooManyRows);
}

std::string Recordset::Impl::locate(const Row& row, std::vector<std::size_t> extra,
                                    std::vector<Variant>& params) const {
    std::vector<std::size_t> criteria = keyColumns;
    for (std::size_t c : extra)
        if (std::find(criteria.begin(), criteria.end(), c) == criteria.end()) criteria.push_back(c);
    std::string sql = " WHERE ";
    for (std::size_t k = 0; k < criteria.size(); ++k) {
        const std::size_t c = criteria[k];
        const std::string name = quoteIdentifier(columns[c].baseColumn);
        const Variant& original = row.values[c];
        if (k) sql += " AND ";
        if (original.isNull() || original.isEmpty()) {
            sql += name + " IS NULL";
        } else if (original.type() == com::VarType::Date) {
            // A date-time is read to the nearest second; the stored value may carry a fraction of one.
            // The window of a second either side is taken on the time line, not on the serial, which
            // runs backwards within a day before 1899-12-30; at the ends of the calendar it stops there.
            const double at = linearDays(original.rawDate());
            const double last = at + kSecond;
            sql += "(" + name + " >= ? AND " + name + (last > kLastInstant ? " <= ?)" : " < ?)");
            params.push_back(Variant::date(serialOf(std::max(at - kSecond, kFirstInstant))));
            params.push_back(Variant::date(serialOf(std::min(last, kLastInstant))));
        } else {
            sql += name + " = ?";
            params.push_back(original);
        }
    }
    return sql;
}

void Recordset::Impl::update() {
    requireOpen();
    if (editMode == adEditAdd)
        insertPending();
    else if (editMode == adEditInProgress)
        updatePending();
}

void Recordset::Impl::cancelUpdate() noexcept {
    if (editMode == adEditAdd) {
        rows.erase(rows.begin() + pos);
        pos = std::min<std::ptrdiff_t>(posBeforeAdd, static_cast<std::ptrdiff_t>(rows.size()));
    }
    editMode = adEditNone;
    pending.clear();
    assigned.clear();
}

void Recordset::Impl::settleBeforeMove() {
    if (editMode != adEditNone) update();
}

void Recordset::Impl::detachFields() noexcept {
    for (auto& f : fieldObjects)
        if (f) f->impl_->owner = nullptr;
    fieldObjects.clear();
}

void Recordset::Impl::close() noexcept {
    if (!open) return;
    cancelUpdate();
    if (connection) std::erase(connection->impl_->recordsets, this);
    detachFields();
    columns.clear();
    rows.clear();
    filteredOut.clear();
    currentDeleted = false;
    pos = 0;
    fetched = true;
    fetchSql.clear();
    tableName.clear();
    targetKnown = false;
    keyKnown = false;
    keyColumns.clear();
    openCursorType = cursorType;
    open = false;
}

// ---- Recordset ------------------------------------------------------------------------------------------

Recordset::Recordset() : impl_(std::make_unique<Impl>()) {}

Recordset::~Recordset() {
    // A row appended or edited but not saved is dropped with the recordset: nothing is written.
    impl_->close();
    impl_->fields->impl_->owner = nullptr;
}

Variant Recordset::get_ActiveConnection() {
    return Variant(impl_->connection);
}

void Recordset::putref_ActiveConnection(Variant value) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Recordset");
    if (value.isMissing() || value.isEmpty() || value.isNull() || (value.isObject() && !value.rawObject())) {
        impl_->connection = nullptr;
    } else if (value.isObject()) {
        auto conn = value.rawObject().as<Connection>();
        if (!conn) throw aderr::error(aderr::InvalidArgument, "Recordset");
        impl_->connection = std::move(conn);
    } else if (value.isString()) {
        // A connection string: the recordset opens a connection of its own.
        auto conn = com::make<Connection>();
        conn->Open(value.rawString(), "", "", adOptionUnspecified);
        impl_->connection = std::move(conn);
    } else {
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    }
}

Variant Recordset::get_Source() {
    return impl_->source;
}

void Recordset::put_Source(Variant value) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Recordset");
    impl_->source = std::move(value);
}

std::int32_t Recordset::get_CursorLocation() {
    return impl_->cursorLocation;
}

void Recordset::put_CursorLocation(std::int32_t value) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Recordset");
    if (value != adUseServer && value != adUseClient) throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->cursorLocation = value;
}

std::int32_t Recordset::get_CursorType() {
    return impl_->open ? impl_->openCursorType : impl_->cursorType;
}

void Recordset::put_CursorType(std::int32_t value) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Recordset");
    if (value < adOpenForwardOnly || value > adOpenStatic)
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->cursorType = value;
}

std::int32_t Recordset::get_LockType() {
    return impl_->lockType;
}

void Recordset::put_LockType(std::int32_t value) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Recordset");
    if (value < adLockReadOnly || value > adLockBatchOptimistic)
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->lockType = value;
}

std::int32_t Recordset::get_MaxRecords() {
    return impl_->maxRecords;
}

void Recordset::put_MaxRecords(std::int32_t value) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Recordset");
    if (value < 0) throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->maxRecords = value;
}

std::int32_t Recordset::get_State() {
    return impl_->open ? adStateOpen : adStateClosed;
}

bool Recordset::get_BOF() {
    impl_->requireOpen();
    impl_->ensureFetched();
    return impl_->bof();
}

bool Recordset::get_EOF() {
    impl_->requireOpen();
    impl_->ensureFetched();
    return impl_->eof();
}

std::int32_t Recordset::get_RecordCount() {
    impl_->requireOpen();
    return impl_->count();
}

std::int32_t Recordset::get_EditMode() {
    impl_->requireOpen();
    if (impl_->editMode != adEditNone || !impl_->fetched) return impl_->editMode;
    if (!impl_->hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    return adEditNone;
}

ComPtr<Fields> Recordset::get_Fields() {
    return impl_->fields;
}

void Recordset::Open(Variant Source, Variant ActiveConnection, std::int32_t CursorType, std::int32_t LockType,
                     std::int32_t Options) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Recordset");
    if (CursorType != adOpenUnspecified) put_CursorType(CursorType);
    if (LockType != adLockUnspecified) put_LockType(LockType);
    Variant source = Source.isMissing() ? impl_->source : std::move(Source);
    const bool connectionGiven = !(ActiveConnection.isMissing() || ActiveConnection.isEmpty());

    OpenRequest req;
    ComPtr<Connection> conn;
    if (source.isObject()) {
        auto cmd = source.rawObject().as<Command>();
        if (!cmd) throw aderr::error(aderr::InvalidArgument, "Recordset");
        // A Command brings its own connection; naming another one as well is a conflict.
        if (connectionGiven) throw aderr::error(aderr::InvalidArgument, "Recordset");
        Command::Impl& c = *cmd->impl_;
        conn = c.connection;
        if (!conn || !conn->isOpen()) throw aderr::error(aderr::InvalidConnection, "Recordset");
        const StatementOptions opts = StatementOptions::read(Options, c.type, "Recordset", true);
        req.timeoutSeconds = c.timeoutOn(*conn);
        if (opts.commandType == adCmdStoredProc) {
            // A procedure's outputs go to the Command's parameters; it gives the recordset no rows.
            c.callProcedure(*conn, req.timeoutSeconds);
            impl_->source = Variant(c.text);
            impl_->connection = conn;
            return;
        }
        req.commandType = opts.commandType;
        req.text = c.text;
        if (req.commandType == adCmdText) req.params = c.positionalValues();
        impl_->source = Variant(c.text);
        impl_->connection = conn;
    } else {
        if (connectionGiven) putref_ActiveConnection(ActiveConnection);
        conn = impl_->connection;
        if (!conn || !conn->isOpen()) throw aderr::error(aderr::InvalidConnection, "Recordset");
        const StatementOptions opts = StatementOptions::read(Options, adCmdUnknown, "Recordset", true);
        req.commandType = opts.commandType;
        req.text =
            source.isMissing() || source.isEmpty() || source.isNull() ? std::string() : com::CStr(source);
        req.timeoutSeconds = conn->get_CommandTimeout();
        impl_->source = Variant(req.text);
        if (opts.commandType == adCmdStoredProc) {
            // A procedure named without a Command has no parameters to fill; it gives the recordset no rows.
            if (req.text.empty()) throw aderr::error(kNoCommand, "Recordset");
            conn->session().callProcedure(req.text, {}, req.timeoutSeconds);
            return;
        }
    }
    Connection* on = conn.get();
    recordingErrors(on, [&] { impl_->openOn(std::move(conn), req, nullptr); });
}

void Recordset::Close() {
    impl_->requireOpen();
    // In immediate mode a pending change must be saved or cancelled before the recordset closes.
    if (impl_->editMode != adEditNone) throw aderr::error(aderr::IllegalOperation, "Recordset");
    impl_->close();
}

void Recordset::MoveFirst() {
    impl_->requireOpen();
    impl_->settleBeforeMove();
    impl_->ensureFetched();
    if (impl_->rows.empty()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    impl_->moveTo(0);
}

void Recordset::MoveLast() {
    impl_->requireOpen();
    impl_->requireScrolling();
    impl_->settleBeforeMove();
    impl_->ensureFetched();
    if (impl_->rows.empty()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    impl_->moveTo(static_cast<std::ptrdiff_t>(impl_->rows.size()) - 1);
}

void Recordset::MoveNext() {
    impl_->requireOpen();
    impl_->settleBeforeMove();
    impl_->ensureFetched();
    if (impl_->eof()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    // A deleted current row has left the rows already: the next one stands where it stood.
    impl_->moveTo(impl_->currentDeleted ? impl_->pos : impl_->pos + 1);
}

void Recordset::MovePrevious() {
    impl_->requireOpen();
    impl_->requireScrolling();
    impl_->settleBeforeMove();
    impl_->ensureFetched();
    if (impl_->bof()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    impl_->moveTo(impl_->pos - 1);
}

void Recordset::AddNew() {
    impl_->addNew();
}

void Recordset::Update() {
    recordingErrors(impl_->connection.get(), [&] { impl_->update(); });
}

void Recordset::CancelUpdate() {
    impl_->requireOpen();
    impl_->cancelUpdate();
}

const com::TypeInfo& Recordset::members() {
    using com::method;
    using com::Param;
    using com::propertyGet;
    using com::propertyPut;
    using com::propertyPutRef;
    static const com::TypeInfo info{
        "Recordset",
        kInterfaceName,
        {propertyGet<&Recordset::get_Fields>("Fields", com::kDispidValue),
         propertyGet<&Recordset::get_ActiveConnection>("ActiveConnection", 1),
         propertyPutRef<&Recordset::putref_ActiveConnection>("ActiveConnection", 1),
         propertyGet<&Recordset::get_Source>("Source", 2),
         propertyPut<&Recordset::put_Source>("Source", 2),
         propertyGet<&Recordset::get_CursorLocation>("CursorLocation", 3),
         propertyPut<&Recordset::put_CursorLocation>("CursorLocation", 3),
         propertyGet<&Recordset::get_CursorType>("CursorType", 4),
         propertyPut<&Recordset::put_CursorType>("CursorType", 4),
         propertyGet<&Recordset::get_LockType>("LockType", 5),
         propertyPut<&Recordset::put_LockType>("LockType", 5),
         propertyGet<&Recordset::get_MaxRecords>("MaxRecords", 6),
         propertyPut<&Recordset::put_MaxRecords>("MaxRecords", 6),
         propertyGet<&Recordset::get_State>("State", 7),
         propertyGet<&Recordset::get_BOF>("BOF", 8),
         propertyGet<&Recordset::get_EOF>("EOF", 9),
         propertyGet<&Recordset::get_RecordCount>("RecordCount", 10),
         propertyGet<&Recordset::get_EditMode>("EditMode", 11),
         method<&Recordset::Open>("Open", 12,
                                  {Param::opt("Source"), Param::opt("ActiveConnection"),
                                   Param("CursorType", Variant(std::int32_t{adOpenUnspecified})),
                                   Param("LockType", Variant(std::int32_t{adLockUnspecified})),
                                   Param("Options", Variant(std::int32_t{adOptionUnspecified}))}),
         method<&Recordset::Close>("Close", 13),
         method<&Recordset::MoveFirst>("MoveFirst", 14),
         method<&Recordset::MoveLast>("MoveLast", 15),
         method<&Recordset::MoveNext>("MoveNext", 16),
         method<&Recordset::MovePrevious>("MovePrevious", 17),
         method<&Recordset::AddNew>("AddNew", 18),
         method<&Recordset::Update>("Update", 19),
         method<&Recordset::CancelUpdate>("CancelUpdate", 20),
         propertyGet<&Recordset::get_CacheSize>("CacheSize", 21),
         propertyPut<&Recordset::put_CacheSize>("CacheSize", 21),
         propertyGet<&Recordset::get_AbsolutePosition>("AbsolutePosition", 22),
         propertyPut<&Recordset::put_AbsolutePosition>("AbsolutePosition", 22),
         propertyGet<&Recordset::get_PageSize>("PageSize", 23),
         propertyPut<&Recordset::put_PageSize>("PageSize", 23),
         propertyGet<&Recordset::get_PageCount>("PageCount", 24),
         propertyGet<&Recordset::get_AbsolutePage>("AbsolutePage", 25),
         propertyPut<&Recordset::put_AbsolutePage>("AbsolutePage", 25),
         propertyGet<&Recordset::get_Bookmark>("Bookmark", 26),
         propertyPut<&Recordset::put_Bookmark>("Bookmark", 26),
         propertyGet<&Recordset::get_Filter>("Filter", 27),
         propertyPut<&Recordset::put_Filter>("Filter", 27),
         propertyGet<&Recordset::get_Sort>("Sort", 28),
         propertyPut<&Recordset::put_Sort>("Sort", 28),
         method<&Recordset::Move>("Move", 29, {"NumRecords", Param::opt("Start")}),
         method<&Recordset::Delete>("Delete", 30, {Param("AffectRecords", Variant(std::int32_t{adAffectCurrent}))}),
         method<&Recordset::Requery>("Requery", 31, {Param("Options", Variant(std::int32_t{adOptionUnspecified}))}),
         method<&Recordset::Supports>("Supports", 32, {"CursorOptions"}),
         method<&Recordset::GetRows>("GetRows", 33,
                                     {Param("Rows", Variant(std::int32_t{adGetRowsRest})), Param::opt("Start"),
                                      Param::opt("Fields")}),
         method<&Recordset::GetString>("GetString", 34,
                                       {Param("StringFormat", Variant(std::int32_t{adClipString})),
                                        Param("NumRows", Variant(std::int32_t{-1})),
                                        Param("ColumnDelimeter", Variant("\t")),
                                        Param("RowDelimeter", Variant("\r")), Param("NullExpr", Variant(""))}),
         method<&Recordset::Find>("Find", 35,
                                  {"Criteria", Param("SkipRecords", Variant(std::int32_t{0})),
                                   Param("SearchDirection", Variant(std::int32_t{adSearchForward})),
                                   Param::opt("Start")}),
         method<&Recordset::Clone>("Clone", 36, {Param("LockType", Variant(std::int32_t{adLockUnspecified}))}),
         method<&Recordset::NextRecordset>("NextRecordset", 37, {Param::opt("RecordsAffected")})}};
    return info;
}

}  // namespace orvan::data::ado
