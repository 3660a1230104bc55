// The state behind a Recordset, shared with its Fields and Field objects and with the Connection and
// Command that open recordsets for their Execute. Private to data_access/ado/.
//
// Rows live in memory once read. A recordset opened on a statement reads all its rows (up to
// MaxRecords) at Open; one opened on a table reads none until something asks for a row (navigation,
// BOF/EOF, RecordCount, a field's value), so that opening a table to append rows costs the same
// whatever the table holds. Changes are written at once (immediate mode): AddNew + Update is one
// INSERT of the assigned columns, an edit + Update is one UPDATE located by the primary key and the
// edited columns' original values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data_access/ado/ado.h"
#include "data_access/providers/provider.h"

namespace orvan::data::ado {

// The text of 3251 for what a cursor type cannot do, beside the updating one of the catalogue.
inline constexpr const char* kNoBookmarks =
    "Current Recordset does not support bookmarks. This may be a limitation of the provider or of the selected "
    "cursortype.";

// The text of 3251 for an operation no provider here offers (ADO's general wording).
inline constexpr const char* kNotCapable = "Object or provider is not capable of performing requested operation.";

// E_FAIL, with the cursor engine's own texts when it raises it.
inline constexpr std::int32_t kFail = com::hr::Fail;
// DB_E_NOCOMMAND: an empty command text.
inline constexpr std::int32_t kNoCommand = com::hr::NoCommand;

// An error with an explicit text (the cursor engine's E_FAIL texts).
com::ComError adoError(std::int32_t number, const char* className, std::string text);

// A name folded for case-insensitive comparison, with the runtime's one-to-one upper-casing (so "Descrição"
// matches "DESCRIÇÃO").
std::string foldName(std::string_view name);
// Whether foldName makes the same name of both, without a copy of either when both are ASCII.
bool sameName(std::string_view a, std::string_view b);

// An identifier as the engine reported it, quoted so that it is read exactly (case, reserved words).
std::string quoteIdentifier(std::string_view name);
void appendQuotedIdentifier(std::string& out, std::string_view name);

// What a Recordset runs when it opens, already resolved from its Source and Options.
struct OpenRequest {
    std::int32_t commandType = adCmdText;  // adCmdText or adCmdTable (stored procedures run elsewhere)
    std::string text;                      // the statement, or the table name
    std::vector<Variant> params;           // positional "?" values for a statement
    int timeoutSeconds = 30;
};

struct Recordset::Impl {
    struct Row {
        std::vector<Variant> values;
        std::uint64_t id = 0;  // the row's bookmark: unique in the recordset and its clones, in read order
        // Appended by this recordset to a table whose rows had not been read yet. When they are read,
        // the database's copy of the row (found by the columns written) is left out, this one stays.
        bool local = false;
        std::vector<bool> written;  // the columns the INSERT named (local rows)
    };

    Impl();

    // ---- properties -----------------------------------------------------------------------------
    ComPtr<Connection> connection;
    Variant source;
    std::int32_t cursorLocation = adUseServer;
    std::int32_t cursorType = adOpenForwardOnly;  // as set; the open cursor may differ (openCursorType)
    std::int32_t lockType = adLockReadOnly;
    std::int32_t maxRecords = 0;
    std::int32_t cacheSize = 1;
    std::int32_t pageSize = 10;
    ComPtr<Fields> fields;  // the same object for the recordset's whole life

    // ---- open state -------------------------------------------------------------------------------
    bool open = false;
    std::int32_t openCursorType = adOpenForwardOnly;
    std::vector<ColumnInfo> columns;
    // One Field per column, made when first asked for (most recordsets are read through a few of
    // them, or none): the same object each time until the columns change.
    std::vector<ComPtr<Field>> fieldObjects;
    std::vector<Row> rows;
    std::ptrdiff_t pos = 0;  // -1 = BOF, rows.size() = EOF
    bool fetched = true;     // false while a table's rows have not been read
    std::string fetchSql;    // what reads them
    int timeoutSeconds = 30;
    std::string tableName;  // the table as the caller named it (table opens)
    OpenRequest request;    // what opened it (Requery runs it again)
    std::uint64_t nextId = 1;

    // ---- view -------------------------------------------------------------------------------------
    // Filter leaves out the rows that fail it (kept here, restored by adFilterNone); Sort reorders the
    // rows held. A deleted row leaves rows at once; currentDeleted says the position still stands on it.
    Variant filter = Variant(std::int32_t{adFilterNone});
    std::string sort;
    std::vector<Row> filteredOut;
    bool currentDeleted = false;

    // ---- pending change ---------------------------------------------------------------------------
    std::int32_t editMode = adEditNone;
    std::vector<Variant> pending;
    std::vector<bool> assigned;
    std::ptrdiff_t posBeforeAdd = 0;

    // ---- update target, learned at the first write ------------------------------------------------
    bool targetKnown = false;
    std::string targetSql;                // the table as written into INSERT/UPDATE
    std::string targetTable;              // the base table as the engine names it
    bool keyKnown = false;                // keyColumns and keyComplete are set (after the target)
    std::vector<std::size_t> keyColumns;  // columns that locate a row of the target
    bool keyComplete = false;             // keyColumns are the whole primary key

    // ---- operations -------------------------------------------------------------------------------
    // Runs req on conn and becomes open on its rows; a statement without rows leaves it closed.
    // Writes the statement's affected-row count to *affected when given.
    void openOn(ComPtr<Connection> conn, const OpenRequest& req, std::int64_t* affected);
    void close() noexcept;

    void requireOpen(const char* className = "Recordset") const;
    Session& session() const;
    void ensureFetched();
    bool bof() const noexcept { return rows.empty() || pos < 0; }
    bool eof() const noexcept { return rows.empty() || pos >= static_cast<std::ptrdiff_t>(rows.size()); }
    bool hasCurrent() const noexcept { return !bof() && !eof() && !currentDeleted; }
    bool updatable() const noexcept { return lockType != adLockReadOnly; }
    // A server-side forward-only cursor: no count, no bookmarks, no moving back except to the first row.
    bool forwardOnly() const noexcept {
        return cursorLocation == adUseServer && openCursorType == adOpenForwardOnly;
    }
    // Error 3251 for an operation the cursor type cannot do (bookmarks, positions on forward-only).
    void requireBookmarks() const;
    // Error 3219 for moving backwards on a forward-only cursor.
    void requireScrolling() const;
    // The rows that count now (not deleted), as RecordCount reports them.
    std::int32_t count();
    // Moves to row index i (-1 = BOF, rows.size() = EOF), saving a pending change and forgetting a
    // deleted current row first.
    void moveTo(std::ptrdiff_t i);
    // The row index of a bookmark; 3001 when no row held has it.
    std::size_t indexOfBookmark(const Variant& bookmark) const;
    // Reapplies the filter and the sort to every row (after Open, Requery or a change to either).
    void applyView();

    // The value of column i in the current row (the pending value while editing or adding).
    Variant value(std::size_t i);
    Variant originalValue(std::size_t i);
    void assign(std::size_t i, const Variant& v);

    void addNew();
    void update();
    void cancelUpdate() noexcept;
    // Writes a pending change before the current row changes.
    void settleBeforeMove();

    // The Field of column i (i < columns.size()).
    const ComPtr<Field>& fieldObject(std::size_t i);
    // The column for an index Variant (ordinal or name); npos when there is none.
    std::size_t find(const Variant& index) const;
    // find() by name, as the criteria and sort readers look columns up.
    std::function<std::size_t(std::string_view)> columnNamed() const;
    // Deletes the current row from its table.
    void deleteCurrent();
    // The database's current value of column i for the current row.
    Variant underlyingValue(std::size_t i);
    // Reads the rows of the source again (Requery).
    void reopen();
    // Becomes open on a copy of other's rows (every row, in read order) with the same columns,
    // bookmarks and connection, positioned on the first row (Clone).
    void openAsCopyOf(Impl& other, std::int32_t lock);

private:
    void loadColumns(std::vector<ColumnInfo> cols);
    void readRows(ResultSet& rs, std::size_t limit);
    // Learns the table a write goes to (checking that every touched column belongs to it) and, unless
    // withKey is false, the columns that locate its rows (its primary key, read from the session). An
    // INSERT locates no row, so it leaves the key to the first write or read that needs it.
    void resolveTarget(const std::vector<std::size_t>& touched, bool withKey = true);
    void resolveKey();
    // " WHERE k1 = ? AND ..." locating the current row by its key columns plus extra (original values
    // from row), with the values appended to params.
    std::string locate(const Row& row, std::vector<std::size_t> criteria, std::vector<Variant>& params) const;
    void insertPending();
    void updatePending();
    void detachFields() noexcept;
};

// A Field reads and writes column `index` of its recordset's current row. Closing or releasing the
// recordset detaches it (owner null): every member then raises 3420.
struct Field::Impl {
    Recordset::Impl* owner = nullptr;
    std::size_t index = 0;

    Recordset::Impl& live() const {
        if (!owner) throw aderr::error(aderr::ObjectNotSet, "Field");
        return *owner;
    }
};

// The Fields collection of a recordset; detached (owner null) once the recordset is gone.
struct Fields::Impl {
    Recordset::Impl* owner = nullptr;
};

// Refuses a number the classic runtime can never hold (NaN, +Infinity, -Infinity: a JScript page may
// pass one) with error 6, Overflow, source "ADODB.<className>", before anything is sent.
void refuseNonFinite(const Variant& value, const char* className);

// value converted to a column's ADO type the way the classic runtime converts (" 40" into an integer
// column is 40; a date-time keeps whole seconds). Empty and Null become Null; an object gives its
// default value. Error -2147217887 when the value does not convert; error 6 for a non-finite number.
Variant coerceToColumn(const Variant& value, int adoType);

}  // namespace orvan::data::ado
