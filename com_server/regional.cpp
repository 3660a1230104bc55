// The two regional presets the host can run under (pt-BR, the default, and en-US), the choice of
// one from the process environment, and the per-thread override. The presets are built once and
// never change, so readers on any thread share them without locking.
#include "com_server/regional.h"

#include <atomic>
#include <cstdlib>

namespace orvan::com {
namespace {

Regional makePtBR() {
    Regional r;
    r.name = "pt-BR";
    r.lcid = 1046;
    r.order = DateOrder::DMY;
    r.shortDate = "dd/MM/yyyy";
    r.longTime = "HH:mm:ss";
    r.dateSeparator = '/';
    r.timeSeparator = ':';
    r.decimal = ',';
    r.thousands = '.';
    r.monthNames = {"janeiro", "fevereiro", "março",    "abril",   "maio",     "junho",
                    "julho",   "agosto",    "setembro", "outubro", "novembro", "dezembro"};
    r.monthAbbrevs = {"jan", "fev", "mar", "abr", "mai", "jun", "jul", "ago", "set", "out", "nov", "dez"};
    r.dayNames = {"domingo",      "segunda-feira", "terça-feira", "quarta-feira",
                  "quinta-feira", "sexta-feira",   "sábado"};
    r.dayAbbrevs = {"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};
    r.twoDigitYearMax = 2049;
    r.currencySymbol = "R$";
    r.currencyPositive = "$ n";
    r.currencyNegative = "-$ n";
    r.longDate = "dddd, d' de 'MMMM' de 'yyyy";
    return r;
}

Regional makeEnUS() {
    Regional r;
    r.name = "en-US";
    r.lcid = 1033;
    r.order = DateOrder::MDY;
    r.shortDate = "M/d/yyyy";
    r.longTime = "h:mm:ss tt";
    r.dateSeparator = '/';
    r.timeSeparator = ':';
    r.am = "AM";
    r.pm = "PM";
    r.decimal = '.';
    r.thousands = ',';
    r.monthNames = {"January", "February", "March",     "April",   "May",      "June",
                    "July",    "August",   "September", "October", "November", "December"};
    r.monthAbbrevs = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    r.dayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    r.dayAbbrevs = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    r.twoDigitYearMax = 2049;
    r.currencySymbol = "$";
    r.currencyPositive = "$n";
    r.currencyNegative = "($n)";
    r.longDate = "dddd, MMMM d, yyyy";
    return r;
}

// Names compare without regard to ASCII case, and "_" (the POSIX spelling) stands for "-".
bool sameLocaleName(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) {
            if (c == '_') return '-';
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
        };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// Null means "never set": the default preset. Stored as a pointer so that readers never see a
// half-written value; what it points to must outlive every reader (the presets live for the whole
// process, and so must any other settings a host installs).
std::atomic<const Regional*> g_process{nullptr};
thread_local const Regional* t_override = nullptr;

}  // namespace

const Regional& Regional::ptBR() {
    static const Regional r = makePtBR();
    return r;
}

const Regional& Regional::enUS() {
    static const Regional r = makeEnUS();
    return r;
}

const Regional* Regional::byName(std::string_view name) {
    if (sameLocaleName(name, "pt-BR")) return &ptBR();
    if (sameLocaleName(name, "en-US")) return &enUS();
    return nullptr;
}

const Regional* Regional::byLcid(std::int32_t lcid) {
    for (const Regional* r : {&ptBR(), &enUS()})
        if (r->lcid == lcid) return r;
    return nullptr;
}

const Regional& Regional::fromEnvironment() {
    // The first non-empty of the three wins, as in the C library's own look-up for LC_TIME.
    std::string_view value;
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            value = v;
            break;
        }
    }
    // "pt_BR.UTF-8", "en_US@euro": the codeset and the modifier do not change the conventions.
    value = value.substr(0, value.find_first_of(".@"));
    const Regional* r = byName(value);
    return r ? *r : ptBR();
}

const Regional& currentRegional() {
    if (t_override) return *t_override;
    const Regional* p = g_process.load(std::memory_order_acquire);
    return p ? *p : Regional::ptBR();
}

void setProcessRegional(const Regional& r) {
    g_process.store(&r, std::memory_order_release);
}

const Regional* threadRegional() noexcept { return t_override; }

void setThreadRegional(const Regional* r) noexcept { t_override = r; }

RegionalScope::RegionalScope(const Regional& r) : previous_(t_override) {
    t_override = &r;
}

RegionalScope::~RegionalScope() {
    t_override = previous_;
}

}  // namespace orvan::com
