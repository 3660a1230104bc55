// FormatNumber, FormatCurrency, FormatPercent and FormatDateTime under the regional settings in force
// (currentRegional()): decimal and thousands separators, currency symbol and pictures, long date.
// Numbers round half away from zero on their decimal digits, as these functions do. GetLocale and
// SetLocale read and choose those settings for the thread the script runs on (the engine keeps the
// choice to the script's own run).
#include <charconv>
#include <cmath>

#include "com_server/regional.h"
#include "vbscript/internal/library_impl.h"
#include "vbscript/internal/text.h"

namespace orvan::vbs::lib {
namespace {

struct NumberStyle {
    int digits;
    bool leadingDigit;
    bool parens;
    bool group;
};

// The digits of |value| rounded to `digits` decimals: integer part and fraction part.
void decimalDigits(double value, int digits, std::string& whole, std::string& fraction) {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
    const std::string text(buf, res.ptr);
    const std::size_t dot = text.find('.');
    whole = text.substr(0, dot);
    fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    const bool roundUp = fraction.size() > static_cast<std::size_t>(digits) && fraction[static_cast<std::size_t>(digits)] >= '5';
    fraction.resize(static_cast<std::size_t>(digits), '0');
    if (!roundUp) return;
    std::string all = whole + fraction;
    int i = static_cast<int>(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[static_cast<std::size_t>(i)] == '9') {
            all[static_cast<std::size_t>(i)] = '0';
        } else {
            ++all[static_cast<std::size_t>(i)];
            break;
        }
    }
    if (i < 0) all.insert(all.begin(), '1');
    whole = all.substr(0, all.size() - static_cast<std::size_t>(digits));
    fraction = all.substr(all.size() - static_cast<std::size_t>(digits));
}

// The number without sign: grouping, decimal separator, leading zero as asked. `negative` tells
// whether the rounded value is below zero.
std::string numberBody(double value, const NumberStyle& st, const com::Regional& r, bool& negative) {
    std::string whole, fraction;
    decimalDigits(value, st.digits, whole, fraction);
    negative = value < 0 && (whole.find_first_not_of('0') != std::string::npos ||
                             fraction.find_first_not_of('0') != std::string::npos);
    std::string out;
    if (whole == "0" && !st.leadingDigit && st.digits > 0) whole.clear();
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (st.group && i > 0 && (whole.size() - i) % 3 == 0) out += r.thousands;
        out += whole[i];
    }
    if (st.digits > 0) {
        out += r.decimal;
        out += fraction;
    }
    return out;
}

NumberStyle styleArgs(Args a, const com::Regional& r) {
    NumberStyle st{r.fractionDigits, true, false, true};
    if (given(a, 1)) {
        const std::int32_t d = longArg(a[1]);
        if (d < -1 || d > 255) fail(com::err::InvalidCall);
        if (d >= 0) st.digits = d;
    }
    st.leadingDigit = tristateArg(a, 2, true);
    st.parens = tristateArg(a, 3, false);
    st.group = tristateArg(a, 4, true);
    return st;
}

std::string signed_(const std::string& body, bool negative, bool parens) {
    if (!negative) return body;
    return parens ? "(" + body + ")" : "-" + body;
}

// The picture with '$' replaced by the symbol and 'n' by the number.
std::string fillCurrency(std::string_view picture, const std::string& symbol, const std::string& number) {
    std::string out;
    for (const char c : picture) {
        if (c == '$') out += symbol;
        else if (c == 'n') out += number;
        else out += c;
    }
    return out;
}

void appendTwo(std::string& out, int v, bool pad) {
    if (pad && v < 10) out += '0';
    out += std::to_string(v);
}

// A date written through a long date picture.
std::string formatPicture(std::string_view pic, const com::DateParts& p, int weekday, const com::Regional& r) {
    std::string out;
    for (std::size_t i = 0; i < pic.size();) {
        const char c = pic[i];
        std::size_t n = 1;
        while (i + n < pic.size() && pic[i + n] == c) ++n;
        if (c == '\'') {
            const std::size_t end = pic.find('\'', i + 1);
            out += pic.substr(i + 1, (end == std::string_view::npos ? pic.size() : end) - i - 1);
            i = end == std::string_view::npos ? pic.size() : end + 1;
            continue;
        }
        if (c == 'd') {
            if (n >= 4) out += r.dayNames[static_cast<std::size_t>(weekday)];
            else if (n == 3) out += r.dayAbbrevs[static_cast<std::size_t>(weekday)];
            else appendTwo(out, p.day, n == 2);
        } else if (c == 'M') {
            if (n >= 4) out += r.monthNames[static_cast<std::size_t>(p.month - 1)];
            else if (n == 3) out += r.monthAbbrevs[static_cast<std::size_t>(p.month - 1)];
            else appendTwo(out, p.month, n == 2);
        } else if (c == 'y') {
            if (n <= 2) appendTwo(out, p.year % 100, true);
            else out += std::to_string(p.year);
        } else {
            out.append(n, c);
        }
        i += n;
    }
    return out;
}

}  // namespace

Variant FormatNumber(Args a) {
    const com::Regional& r = com::currentRegional();
    const NumberStyle st = styleArgs(a, r);
    bool negative = false;
    const std::string body = numberBody(com::CDbl(a[0]), st, r, negative);
    return Variant(signed_(body, negative, st.parens));
}

Variant FormatPercent(Args a) {
    const com::Regional& r = com::currentRegional();
    const NumberStyle st = styleArgs(a, r);
    bool negative = false;
    const std::string body = numberBody(com::CDbl(a[0]) * 100.0, st, r, negative) + "%";
    return Variant(signed_(body, negative, st.parens));
}

Variant FormatCurrency(Args a) {
    const com::Regional& r = com::currentRegional();
    const NumberStyle st = styleArgs(a, r);
    bool negative = false;
    const std::string body = numberBody(com::CDbl(a[0]), st, r, negative);
    if (!negative) return Variant(fillCurrency(r.currencyPositive, r.currencySymbol, body));
    // The regional negative picture unless the caller chose parentheses or not.
    const bool explicitParens = given(a, 3) && !(com::CLng(a[3]) == -2);
    if (!explicitParens) return Variant(fillCurrency(r.currencyNegative, r.currencySymbol, body));
    const std::string positive = fillCurrency(r.currencyPositive, r.currencySymbol, body);
    return Variant(st.parens ? "(" + positive + ")" : "-" + positive);
}

Variant FormatDateTime(Args a) {
    const double serial = com::CDate(a[0]);
    const std::int32_t format = given(a, 1) ? longArg(a[1]) : 0;
    const com::Regional& r = com::currentRegional();
    const com::DateParts p = com::splitDate(serial);
    switch (format) {
        case 0:
            return Variant(com::formatGeneralDate(serial, r));
        case 1: {
            const std::int64_t day = text::serialDay(p.year, p.month, p.day);
            const int weekday = static_cast<int>(((day % 7) + 7 + 6) % 7);  // day 0 was a Saturday
            return Variant(formatPicture(r.longDate, p, weekday, r));
        }
        case 2:
            return Variant(com::formatShortDate(serial, r));
        case 3:
            return Variant(com::formatLongTime(serial, r));
        case 4: {
            std::string out;
            appendTwo(out, p.hour, true);
            out += r.timeSeparator;
            appendTwo(out, p.minute, true);
            return Variant(std::move(out));
        }
        default:
            fail(com::err::InvalidCall);
    }
}

Variant GetLocale(Args) { return Variant(com::currentRegional().lcid); }

// The locale by identifier (0: the process's own settings) or by name ("pt-BR", "en-us"); error 5
// for one the runtime has no settings for. Gives the identifier of the locale in force before.
Variant SetLocale(Args a) {
    const std::int32_t previous = com::currentRegional().lcid;
    const Variant& which = a[0];
    const com::Regional* r = nullptr;
    if (which.isString()) {
        r = com::Regional::byName(which.rawString());
        if (!r) fail(com::err::InvalidCall);
    } else {
        const std::int32_t lcid = longArg(which);
        if (lcid != 0) {
            r = com::Regional::byLcid(lcid);
            if (!r) fail(com::err::InvalidCall);
        }
    }
    com::setThreadRegional(r);
    return Variant(previous);
}

}  // namespace orvan::vbs::lib
