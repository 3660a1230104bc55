// Recordset: what classic list pages do with the rows held in memory — positions and paging, bookmarks,
// Move, Filter, Sort, Find, GetRows, GetString, Clone — and the row operations beyond AddNew/Update:
// Delete, Requery, UnderlyingValue, Supports, NextRecordset.
#include <algorithm>
#include <cmath>
#include <functional>
#include <unordered_set>

#include "com_server/conversions.h"
#include "data_access/ado/ado.h"
#include "data_access/ado/internal/connection_state.h"
#include "data_access/ado/internal/criteria.h"
#include "data_access/ado/internal/recordset_state.h"

namespace orvan::data::ado {

namespace {

// adFilterPendingRecords, adFilterAffectedRecords, adFilterFetchedRecords, adFilterConflictingRecords.
constexpr std::int32_t kFilterPending = 1, kFilterAffected = 2, kFilterFetched = 3, kFilterConflicting = 5;

// The order Sort puts two values in: Null first, then numbers and dates by value, text without regard
// to case; values of different kinds by their text.
int orderOf(const Variant& a, const Variant& b) {
    const bool aNull = a.isNull() || a.isEmpty(), bNull = b.isNull() || b.isEmpty();
    if (aNull || bNull) return aNull == bNull ? 0 : (aNull ? -1 : 1);
    auto order = [](const auto& x, const auto& y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (a.isString() && b.isString()) return order(com::UCase(a.rawString()), com::UCase(b.rawString()));
    if (a.isNumeric() && b.isNumeric()) return order(com::CDbl(a), com::CDbl(b));
    return order(com::UCase(com::CStr(a)), com::UCase(com::CStr(b)));
}

struct SortKey {
    std::size_t column;
    bool descending;
};

// "FIELD [ASC|DESC], ..." as sort keys; 3265 for a name that is no field, 3001 for other text.
using ColumnOf = std::function<std::size_t(std::string_view)>;

std::vector<SortKey> readSort(const std::string& text, const ColumnOf& columnOf) {
    std::vector<SortKey> keys;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        std::string part = text.substr(start, comma - start);
        start = comma + 1;
        // Words of the part: the name (possibly [bracketed]) and an optional direction.
        auto trim = [](std::string& s) {
            while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
            std::size_t i = 0;
            while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
            s.erase(0, i);
        };
        trim(part);
        if (part.empty()) {
            if (comma == text.size() && keys.empty()) break;
            throw aderr::error(aderr::InvalidArgument, "Recordset");
        }
        bool descending = false;
        const std::string upper = com::UCase(part);
        for (const char* dir : {" ASC", " DESC"}) {
            const std::string d = dir;
            if (upper.size() > d.size() && upper.compare(upper.size() - d.size(), d.size(), d) == 0) {
                descending = d == " DESC";
                part.erase(part.size() - d.size());
                trim(part);
                break;
            }
        }
        if (part.size() >= 2 && part.front() == '[' && part.back() == ']') part = part.substr(1, part.size() - 2);
        const std::size_t column = columnOf(part);
        if (column == std::string::npos) throw aderr::error(aderr::ItemNotFound, "Recordset");
        keys.push_back({column, descending});
        if (comma == text.size()) break;
    }
    return keys;
}

Criteria readCriteria(const std::string& text, const ColumnOf& columnOf, const char* className) {
    return Criteria::parse(text, columnOf, className);
}

}  // namespace

// ---- state ----------------------------------------------------------------------------------------------

std::function<std::size_t(std::string_view)> Recordset::Impl::columnNamed() const {
    return [this](std::string_view name) { return find(Variant(std::string(name))); };
}

void Recordset::Impl::requireBookmarks() const {
    if (forwardOnly()) throw adoError(aderr::FeatureNotAvailable, "Recordset", kNoBookmarks);
}

void Recordset::Impl::requireScrolling() const {
    if (forwardOnly()) throw aderr::error(aderr::IllegalOperation, "Recordset");
}

std::int32_t Recordset::Impl::count() {
    // A server-side forward-only or dynamic cursor does not know its count.
    if (cursorLocation == adUseServer && (openCursorType == adOpenForwardOnly || openCursorType == adOpenDynamic))
        return -1;
    ensureFetched();
    return static_cast<std::int32_t>(rows.size());
}

void Recordset::Impl::moveTo(std::ptrdiff_t i) {
    settleBeforeMove();
    currentDeleted = false;
    pos = std::clamp<std::ptrdiff_t>(i, -1, static_cast<std::ptrdiff_t>(rows.size()));
}

std::size_t Recordset::Impl::indexOfBookmark(const Variant& bookmark) const {
    if (bookmark.isNumeric() && bookmark.type() != com::VarType::Boolean) {
        const double id = com::CDbl(bookmark);
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (static_cast<double>(rows[i].id) == id) return i;
    }
    throw aderr::error(aderr::InvalidArgument, "Recordset");
}

void Recordset::Impl::applyView() {
    ensureFetched();
    for (auto& r : filteredOut) rows.push_back(std::move(r));
    filteredOut.clear();
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.id < b.id; });

    std::function<bool(const Row&)> keep;
    std::unordered_set<std::uint64_t> marked;
    Criteria criteria;
    if (filter.isString() && !filter.rawString().empty()) {
        criteria = readCriteria(filter.rawString(), columnNamed(), "Recordset");
        keep = [&](const Row& r) { return criteria.matches(r.values); };
    } else if (filter.isArray()) {
        for (const auto& b : filter.rawArray()) marked.insert(rows.at(indexOfBookmark(b)).id);
        keep = [&](const Row& r) { return marked.count(r.id) != 0; };
    } else if (filter.isNumeric()) {
        const std::int32_t group = com::CLng(filter);
        // Immediate mode leaves no pending, affected or conflicting rows behind.
        if (group == kFilterPending || group == kFilterAffected || group == kFilterConflicting)
            keep = [](const Row&) { return false; };
    }
    if (keep) {
        auto split = std::stable_partition(rows.begin(), rows.end(), keep);
        std::move(split, rows.end(), std::back_inserter(filteredOut));
        rows.erase(split, rows.end());
    }
    if (!sort.empty()) {
        const std::vector<SortKey> keys = readSort(sort, columnNamed());
        std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
            for (const auto& k : keys) {
                const int c = orderOf(a.values[k.column], b.values[k.column]);
                if (c != 0) return k.descending ? c > 0 : c < 0;
            }
            return false;
        });
    }
    currentDeleted = false;
    pos = 0;
}

void Recordset::Impl::deleteCurrent() {
    std::size_t based = std::string::npos;
    for (std::size_t c = 0; c < columns.size() && based == std::string::npos; ++c)
        if (!columns[c].baseTable.empty()) based = c;
    if (based == std::string::npos) throw adoError(kFail, "Recordset", "Insufficient base table information for updating or refreshing.");
    resolveTarget({based});
    std::vector<Variant> params;
    const Row& row = rows[static_cast<std::size_t>(pos)];
    const std::string sql = "DELETE FROM " + targetSql + locate(row, {}, params);
    auto result = session().execute(sql, params, timeoutSeconds);
    const std::int64_t n = result->rowsAffected();
    if (n == 0) throw aderr::error(aderr::ConcurrencyViolation, "Recordset");
    rows.erase(rows.begin() + pos);
    currentDeleted = true;
    if (n > 1)
        throw adoError(kFail, "Recordset",
                       "Key column information is insufficient or incorrect. Too many rows were affected by update.");
}

Variant Recordset::Impl::underlyingValue(std::size_t i) {
    ensureFetched();
    if (!hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Field");
    const Row& row = rows[static_cast<std::size_t>(pos)];
    // A computed column has no stored value but the one read.
    if (columns[i].baseTable.empty()) return row.values[i];
    resolveTarget({i});
    std::vector<Variant> params;
    const std::string sql =
        "SELECT " + quoteIdentifier(columns[i].baseColumn) + " FROM " + targetSql + locate(row, {}, params);
    auto result = session().execute(sql, params, timeoutSeconds);
    std::vector<Variant> back;
    if (!result->next(back)) throw aderr::error(com::hr::DeletedRow, "Field");
    return back.at(0);
}

void Recordset::Impl::reopen() {
    Session& s = session();
    std::vector<Row> before = std::move(rows);
    rows.clear();
    filteredOut.clear();
    currentDeleted = false;
    try {
        if (request.commandType == adCmdTable) {
            fetched = false;
            ensureFetched();
        } else {
            auto result = s.execute(request.text, request.params, request.timeoutSeconds);
            if (result->columns().size() != columns.size()) {
                // The statement now gives other columns: Field objects of the old ones stop working.
                detachFields();
                loadColumns(result->columns());
            }
            readRows(*result, static_cast<std::size_t>(std::max(maxRecords, 0)));
        }
    } catch (...) {
        rows = std::move(before);
        throw;
    }
    applyView();
}

void Recordset::Impl::openAsCopyOf(Impl& other, std::int32_t lock) {
    other.ensureFetched();
    connection = other.connection;
    source = other.source;
    cursorLocation = other.cursorLocation;
    cursorType = other.cursorType;
    openCursorType = other.openCursorType;
    lockType = lock == adLockUnspecified ? other.lockType : lock;
    maxRecords = other.maxRecords;
    timeoutSeconds = other.timeoutSeconds;
    tableName = other.tableName;
    request = other.request;
    fetchSql = other.fetchSql;
    fetched = true;
    loadColumns(other.columns);
    rows = other.rows;
    for (const auto& r : other.filteredOut) rows.push_back(r);
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.id < b.id; });
    nextId = other.nextId;
    pos = 0;
    editMode = adEditNone;
    targetKnown = false;
    open = true;
    if (connection) connection->impl_->recordsets.push_back(this);
}

// ---- positions and paging -------------------------------------------------------------------------------

std::int32_t Recordset::get_CacheSize() {
    return impl_->cacheSize;
}

void Recordset::put_CacheSize(std::int32_t value) {
    if (value < 1) throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->cacheSize = value;
}

std::int32_t Recordset::get_AbsolutePosition() {
    impl_->requireOpen();
    if (impl_->forwardOnly()) return adPosUnknown;
    impl_->ensureFetched();
    if (impl_->currentDeleted) return adPosUnknown;
    if (impl_->bof()) return adPosBOF;
    if (impl_->eof()) return adPosEOF;
    return static_cast<std::int32_t>(impl_->pos + 1);
}

void Recordset::put_AbsolutePosition(std::int32_t value) {
    impl_->requireOpen();
    impl_->requireBookmarks();
    impl_->ensureFetched();
    if (value < 1 || value > static_cast<std::int64_t>(impl_->rows.size()))
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->moveTo(value - 1);
}

std::int32_t Recordset::get_PageSize() {
    return impl_->pageSize;
}

void Recordset::put_PageSize(std::int32_t value) {
    if (value < 1) throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->pageSize = value;
}

std::int32_t Recordset::get_PageCount() {
    impl_->requireOpen();
    const std::int32_t n = impl_->count();
    if (n < 0) return -1;
    return (n + impl_->pageSize - 1) / impl_->pageSize;
}

std::int32_t Recordset::get_AbsolutePage() {
    const std::int32_t at = get_AbsolutePosition();
    if (at < 1) return at;
    return (at - 1) / impl_->pageSize + 1;
}

void Recordset::put_AbsolutePage(std::int32_t value) {
    impl_->requireOpen();
    impl_->requireBookmarks();
    if (value < 1 || value > get_PageCount()) throw aderr::error(aderr::InvalidArgument, "Recordset");
    impl_->moveTo(static_cast<std::ptrdiff_t>(value - 1) * impl_->pageSize);
}

Variant Recordset::get_Bookmark() {
    impl_->requireOpen();
    impl_->requireBookmarks();
    impl_->ensureFetched();
    if (!impl_->hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    return Variant(static_cast<double>(impl_->rows[static_cast<std::size_t>(impl_->pos)].id));
}

void Recordset::put_Bookmark(Variant value) {
    impl_->requireOpen();
    impl_->requireBookmarks();
    impl_->ensureFetched();
    impl_->moveTo(static_cast<std::ptrdiff_t>(impl_->indexOfBookmark(value)));
}

void Recordset::Move(std::int32_t NumRecords, Variant Start) {
    Impl& rs = *impl_;
    rs.requireOpen();
    if (NumRecords < 0) rs.requireScrolling();
    rs.settleBeforeMove();
    rs.ensureFetched();
    const auto size = static_cast<std::ptrdiff_t>(rs.rows.size());
    std::ptrdiff_t from = rs.pos;
    bool fromDeleted = rs.currentDeleted;
    if (!Start.isMissing() && !(Start.isNumeric() && com::CLng(Start) == adBookmarkCurrent)) {
        fromDeleted = false;
        if (Start.isNumeric() && com::CLng(Start) == adBookmarkFirst) {
            from = 0;
        } else if (Start.isNumeric() && com::CLng(Start) == adBookmarkLast) {
            rs.requireScrolling();
            from = size - 1;
        } else {
            rs.requireBookmarks();
            from = static_cast<std::ptrdiff_t>(rs.indexOfBookmark(Start));
        }
        if (size == 0) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    } else {
        // Moving on from an end raises what MoveNext / MovePrevious raise there.
        if ((NumRecords > 0 && rs.eof()) || (NumRecords < 0 && rs.bof()) || (NumRecords == 0 && !rs.hasCurrent()))
            throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    }
    // A deleted current row has left the rows: its successor stands at its index.
    std::ptrdiff_t target = from + NumRecords;
    if (fromDeleted && NumRecords > 0) --target;
    rs.moveTo(target);
}

// ---- filter, sort, find ---------------------------------------------------------------------------------

Variant Recordset::get_Filter() {
    return impl_->filter;
}

void Recordset::put_Filter(Variant value) {
    impl_->requireOpen();
    if (value.isMissing() || value.isEmpty() || value.isNull())
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    if (value.isString()) {
        if (!value.rawString().empty()) readCriteria(value.rawString(), impl_->columnNamed(), "Recordset");  // checked first
    } else if (value.isNumeric()) {
        const std::int32_t group = com::CLng(value);
        if (group != adFilterNone && group != kFilterPending && group != kFilterAffected &&
            group != kFilterFetched && group != kFilterConflicting)
            throw aderr::error(aderr::InvalidArgument, "Recordset");
        value = Variant(group);
    } else if (value.isArray()) {
        impl_->requireBookmarks();
    } else {
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    }
    impl_->settleBeforeMove();
    const Variant before = impl_->filter;
    impl_->filter = std::move(value);
    try {
        impl_->applyView();
    } catch (...) {
        impl_->filter = before;
        impl_->applyView();
        throw;
    }
}

std::string Recordset::get_Sort() {
    return impl_->sort;
}

void Recordset::put_Sort(std::string value) {
    impl_->requireOpen();
    if (impl_->forwardOnly()) throw adoError(aderr::FeatureNotAvailable, "Recordset", kNotCapable);
    readSort(value, impl_->columnNamed());
    impl_->settleBeforeMove();
    impl_->sort = std::move(value);
    impl_->applyView();
}

void Recordset::Find(std::string Criteria_, std::int32_t SkipRecords, std::int32_t SearchDirection,
                     Variant Start) {
    Impl& rs = *impl_;
    rs.requireOpen();
    if (SearchDirection != adSearchForward && SearchDirection != adSearchBackward)
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    if (SearchDirection == adSearchBackward || SkipRecords < 0) rs.requireScrolling();
    const Criteria criteria = readCriteria(Criteria_, rs.columnNamed(), "Recordset");
    if (!criteria.singleClause()) throw aderr::error(aderr::InvalidArgument, "Recordset");
    rs.settleBeforeMove();
    rs.ensureFetched();
    const auto size = static_cast<std::ptrdiff_t>(rs.rows.size());
    std::ptrdiff_t from;
    if (!Start.isMissing() && !(Start.isNumeric() && com::CLng(Start) == adBookmarkCurrent)) {
        if (Start.isNumeric() && com::CLng(Start) == adBookmarkFirst)
            from = 0;
        else if (Start.isNumeric() && com::CLng(Start) == adBookmarkLast)
            from = size - 1;
        else {
            rs.requireBookmarks();
            from = static_cast<std::ptrdiff_t>(rs.indexOfBookmark(Start));
        }
    } else {
        if (!rs.hasCurrent() && !rs.currentDeleted) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
        from = rs.pos;
        if (rs.currentDeleted && SearchDirection == adSearchBackward) --from;
    }
    for (std::ptrdiff_t i = from + static_cast<std::ptrdiff_t>(SkipRecords) * SearchDirection; i >= 0 && i < size;
         i += SearchDirection) {
        if (criteria.matches(rs.rows[static_cast<std::size_t>(i)].values)) {
            rs.moveTo(i);
            return;
        }
    }
    rs.moveTo(SearchDirection == adSearchForward ? size : -1);
}

// ---- reading many rows ----------------------------------------------------------------------------------

Variant Recordset::GetRows(std::int32_t Rows, Variant Start, Variant Fields_) {
    Impl& rs = *impl_;
    rs.requireOpen();
    if (Rows < adGetRowsRest) throw aderr::error(aderr::InvalidArgument, "Recordset");
    rs.settleBeforeMove();
    rs.ensureFetched();
    std::ptrdiff_t from = rs.pos;
    if (!Start.isMissing() && !(Start.isNumeric() && com::CLng(Start) == adBookmarkCurrent)) {
        if (Start.isNumeric() && com::CLng(Start) == adBookmarkFirst) {
            from = 0;
        } else if (Start.isNumeric() && com::CLng(Start) == adBookmarkLast) {
            rs.requireScrolling();
            from = static_cast<std::ptrdiff_t>(rs.rows.size()) - 1;
        } else {
            rs.requireBookmarks();
            from = static_cast<std::ptrdiff_t>(rs.indexOfBookmark(Start));
        }
    } else if (!rs.hasCurrent()) {
        throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    }
    if (from < 0 || from >= static_cast<std::ptrdiff_t>(rs.rows.size()))
        throw aderr::error(aderr::NoCurrentRecord, "Recordset");

    std::vector<std::size_t> columns;
    auto addColumn = [&](const Variant& index) {
        const std::size_t c = rs.find(index);
        if (c == std::string::npos) throw aderr::error(aderr::ItemNotFound, "Recordset");
        columns.push_back(c);
    };
    if (Fields_.isMissing() || Fields_.isEmpty()) {
        for (std::size_t c = 0; c < rs.columns.size(); ++c) columns.push_back(c);
    } else if (Fields_.isArray()) {
        for (const auto& f : Fields_.rawArray()) addColumn(f);
    } else {
        addColumn(Fields_);
    }

    const auto available = static_cast<std::ptrdiff_t>(rs.rows.size()) - from;
    const std::ptrdiff_t n = Rows == adGetRowsRest ? available : std::min<std::ptrdiff_t>(Rows, available);
    std::vector<Variant> items;
    items.reserve(static_cast<std::size_t>(n) * columns.size());
    for (std::ptrdiff_t r = 0; r < n; ++r)
        for (std::size_t c : columns) items.push_back(rs.rows[static_cast<std::size_t>(from + r)].values[c]);
    rs.moveTo(from + n);
    return Variant::array(std::move(items),
                          {static_cast<std::int32_t>(columns.size()), static_cast<std::int32_t>(n)});
}

std::string Recordset::GetString(std::int32_t StringFormat, std::int32_t NumRows, std::string ColumnDelimeter,
                                 std::string RowDelimeter, std::string NullExpr) {
    Impl& rs = *impl_;
    rs.requireOpen();
    if (StringFormat != adClipString || NumRows < -1) throw aderr::error(aderr::InvalidArgument, "Recordset");
    rs.settleBeforeMove();
    rs.ensureFetched();
    if (!rs.hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    const auto available = static_cast<std::ptrdiff_t>(rs.rows.size()) - rs.pos;
    const std::ptrdiff_t n = NumRows == -1 ? available : std::min<std::ptrdiff_t>(NumRows, available);
    std::string out;
    for (std::ptrdiff_t r = 0; r < n; ++r) {
        const auto& values = rs.rows[static_cast<std::size_t>(rs.pos + r)].values;
        for (std::size_t c = 0; c < values.size(); ++c) {
            if (c) out += ColumnDelimeter;
            out += values[c].isNull() || values[c].isEmpty() ? NullExpr : com::CStr(values[c]);
        }
        out += RowDelimeter;
    }
    rs.moveTo(rs.pos + n);
    return out;
}

// ---- row operations -------------------------------------------------------------------------------------

void Recordset::Delete(std::int32_t AffectRecords) {
    Impl& rs = *impl_;
    rs.requireOpen();
    if (AffectRecords != adAffectCurrent) throw aderr::error(aderr::InvalidArgument, "Recordset");
    if (!rs.updatable()) throw aderr::error(aderr::FeatureNotAvailable, "Recordset");
    // A pending change goes with the row; a row being added was never stored, so it simply goes.
    const bool adding = rs.editMode == adEditAdd;
    if (rs.editMode != adEditNone) rs.cancelUpdate();
    if (adding) return;
    rs.ensureFetched();
    if (!rs.hasCurrent()) throw aderr::error(aderr::NoCurrentRecord, "Recordset");
    rs.deleteCurrent();
}

void Recordset::Requery(std::int32_t) {
    impl_->requireOpen();
    if (impl_->editMode != adEditNone) throw aderr::error(aderr::IllegalOperation, "Recordset");
    impl_->reopen();
}

bool Recordset::Supports(std::int32_t CursorOptions) {
    impl_->requireOpen();
    std::int32_t supported = adFind;
    if (!impl_->forwardOnly()) supported |= adMovePrevious | adBookmark | adApproxPosition | adHoldRecords;
    if (impl_->updatable()) supported |= adAddNew | adDelete | adUpdate;
    return (CursorOptions & ~supported) == 0;
}

ComPtr<Recordset> Recordset::Clone(std::int32_t LockType) {
    impl_->requireOpen();
    impl_->requireBookmarks();
    if (LockType != adLockUnspecified && LockType != adLockReadOnly && LockType != impl_->lockType)
        throw aderr::error(aderr::InvalidArgument, "Recordset");
    auto copy = com::make<Recordset>();
    copy->impl_->openAsCopyOf(*impl_, LockType);
    return copy;
}

ComPtr<Recordset> Recordset::NextRecordset(Variant&) {
    impl_->requireOpen();
    if (impl_->editMode != adEditNone) throw aderr::error(aderr::IllegalOperation, "Recordset");
    impl_->close();
    return nullptr;
}

}  // namespace orvan::data::ado
