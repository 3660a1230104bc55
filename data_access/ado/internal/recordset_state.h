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
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data_access/ado/ado.h"
#include "data_access/providers/provider.h"

namespace orvan::data::ado {

// E_FAIL, with the cursor engine's own texts when it raises it.
inline constexpr std::int32_t kFail = com::hr::Fail;
// DB_E_NOCOMMAND: an empty command text.
inline constexpr std::int32_t kNoCommand = com::hr::NoCommand;

// An error with an explicit text (the cursor engine's E_FAIL texts).
com::ComError adoError(std::int32_t number, const char* className, std::string text);

// A name folded for case-insensitive comparison, with the runtime's one-to-one upper-casing (so "Descrição"
// matches "DESCRIÇÃO").
std::string foldName(std::string_view name);

// An identifier as the engine reported it, quoted so that it is read exactly (case, reserved words).
std::string quoteIdentifier(std::string_view name);

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
    ComPtr<Fields> fields;  // the same object for the recordset's whole life

    // ---- open state -------------------------------------------------------------------------------
    bool open = false;
    std::int32_t openCursorType = adOpenForwardOnly;
    std::vector<ColumnInfo> columns;
    std::vector<ComPtr<Field>> fieldObjects;
    std::unordered_map<std::string, std::size_t> byName;  // folded name -> first column of that name
    std::vector<Row> rows;
    std::ptrdiff_t pos = 0;  // -1 = BOF, rows.size() = EOF
    bool fetched = true;     // false while a table's rows have not been read
    std::string fetchSql;    // what reads them
    int timeoutSeconds = 30;
    std::string tableName;  // the table as the caller named it (table opens)

    // ---- pending change ---------------------------------------------------------------------------
    std::int32_t editMode = adEditNone;
    std::vector<Variant> pending;
    std::vector<bool> assigned;
    std::ptrdiff_t posBeforeAdd = 0;

    // ---- update target, learned at the first write ------------------------------------------------
    bool targetKnown = false;
    std::string targetSql;                // the table as written into INSERT/UPDATE
    std::string targetTable;              // the base table as the engine names it
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
    bool hasCurrent() const noexcept { return !bof() && !eof(); }
    bool updatable() const noexcept { return lockType != adLockReadOnly; }

    // The value of column i in the current row (the pending value while editing or adding).
    Variant value(std::size_t i);
    Variant originalValue(std::size_t i);
    void assign(std::size_t i, const Variant& v);

    void addNew();
    void update();
    void cancelUpdate() noexcept;
    // Writes a pending change before the current row changes.
    void settleBeforeMove();

    // The column for an index Variant (ordinal or name); npos when there is none.
    std::size_t find(const Variant& index) const;

private:
    void loadColumns(std::vector<ColumnInfo> cols);
    void readRows(ResultSet& rs, std::size_t limit);
    void resolveTarget(const std::vector<std::size_t>& touched);
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
