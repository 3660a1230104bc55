// Regional settings: how dates, times and numbers are written and read, and the ANSI code page.
// The host picks one preset for the process (configuration, else LC_ALL / LC_TIME / LANG); a thread may
// override it for its own work (tests do).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvan::com {

enum class DateOrder { MDY, DMY, YMD };

struct Regional {
    std::string name;          // "pt-BR"
    std::int32_t lcid = 0;     // the locale identifier scripts name it by: 1046 for pt-BR
    DateOrder order;           // the order of day, month and year the locale writes and reads first
    std::string shortDate;     // picture: d dd M MM yy yyyy and the date separator
    std::string longTime;      // picture: h hh H HH m mm s ss t tt
    char dateSeparator;        // '/'
    char timeSeparator;        // ':'
    std::string am, pm;        // empty where the locale has no markers
    char decimal;              // ',' for pt-BR
    char thousands;            // '.' for pt-BR
    std::array<std::string, 12> monthNames, monthAbbrevs;
    std::array<std::string, 7> dayNames, dayAbbrevs;  // Sunday first
    int twoDigitYearMax;       // two-digit years up to this year's last two digits land in its century
    // How FormatCurrency and FormatDateTime write: the currency symbol, the positive and negative
    // currency pictures ('$' stands for the symbol, 'n' for the number), the long date picture (d dd
    // ddd dddd M MM MMM MMMM yy yyyy, text in single quotes) and the default digits after the decimal.
    std::string currencySymbol = "$";
    std::string currencyPositive = "$n";
    std::string currencyNegative = "($n)";
    std::string longDate = "dddd, MMMM d, yyyy";
    int fractionDigits = 2;

    static const Regional& ptBR();
    static const Regional& enUS();
    // The preset of that name ("pt-BR", "en-US", case-insensitive, "_" accepted for "-"), or null.
    static const Regional* byName(std::string_view name);
    // The preset of that locale identifier (1046, 1033), or null.
    static const Regional* byLcid(std::int32_t lcid);
    // The preset the environment asks for (LC_ALL, then LC_TIME, then LANG); C, POSIX, an unknown or
    // absent locale means pt-BR.
    static const Regional& fromEnvironment();
};

// The settings in force on this thread: the thread's override if any, else the process's.
const Regional& currentRegional();
void setProcessRegional(const Regional& r);

// The thread's own override (null when the thread follows the process's settings), and its
// replacement. For a holder that must keep a choice beyond one scope (a script engine's SetLocale
// lasts for the script's run): it saves the override it found and puts it back itself.
const Regional* threadRegional() noexcept;
void setThreadRegional(const Regional* r) noexcept;

// Installs a thread's override for its lifetime.
class RegionalScope {
public:
    explicit RegionalScope(const Regional& r);
    ~RegionalScope();
    RegionalScope(const RegionalScope&) = delete;
    RegionalScope& operator=(const RegionalScope&) = delete;

private:
    const Regional* previous_;
};

}  // namespace orvan::com
