// The classic runtime's conversions under both regional presets: date serials and the calendar,
// reading and writing dates, reading and writing numbers, the CXxx functions with their error
// numbers, the comparison with the empty text, upper-casing and the ANSI code page.
#include "com_server/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "com_server/dispatch.h"
#include "com_server/error.h"

namespace orvan::com {
namespace {

const Regional& pt() {
    return Regional::ptBR();
}
const Regional& en() {
    return Regional::enUS();
}

Variant L(std::int32_t v) {
    return Variant(v);
}
Variant I(std::int16_t v) {
    return Variant(v);
}
Variant D(double v) {
    return Variant(v);
}
Variant Dt(double v) {
    return Variant::date(v);
}

// An object whose default member gives back what it was made with.
class Box : public Object {
  public:
    explicit Box(Variant v) : held(std::move(v)) {}
    Variant Value() { return held; }
    static const TypeInfo& members() {
        static const TypeInfo t{"Box", "_Box", {propertyGet<&Box::Value>("Value", kDispidValue)}};
        return t;
    }
    const TypeInfo& typeInfo() const override { return members(); }
    Variant held;
};

Variant box(Variant v) {
    return Variant(make<Box>(std::move(v)));
}
Variant nothing() {
    return Variant(nullptr);
}

// The runtime error number a call raises; 0 when it raises none.
std::int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComError& e) {
        return e.number();
    }
    return 0;
}

double serial(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    const auto v = makeDate({y, mo, d, h, mi, s});
    EXPECT_TRUE(v) << y << "-" << mo << "-" << d;
    return v.value_or(std::nan(""));
}

int currentYear() {
    return splitDate(now()).year;
}

constexpr double kSecond = 1.0 / 86400.0;

}  // namespace

// Readable failures for calendar parts (found by argument-dependent look-up, so outside the
// anonymous namespace; internal linkage keeps it to this file).
static void PrintTo(const DateParts& p, std::ostream* os) {
    *os << p.year << "-" << p.month << "-" << p.day << " " << p.hour << ":" << p.minute << ":" << p.second;
}

namespace {

// ---------------------------------------------------------------------------------------------

TEST(DateSerialTest, SplitsIntoCalendarAndRoundsToTheNearestSecond) {
    struct Row {
        double serial;
        DateParts want;
    };
    const Row rows[] = {{0.0, {1899, 12, 30, 0, 0, 0}},
                        {3.34, {1900, 1, 2, 8, 9, 36}},
                        {60.0, {1900, 2, 28, 0, 0, 0}},  // 1900 is not a leap year
                        {61.0, {1900, 3, 1, 0, 0, 0}},
                        {1461.5, {1903, 12, 31, 12, 0, 0}},
                        {36526.0, {2000, 1, 1, 0, 0, 0}},
                        {-1.25, {1899, 12, 29, 6, 0, 0}},  // below zero the fraction's size is the time
                        {-0.5, {1899, 12, 30, 12, 0, 0}},
                        {-49192.24, {1765, 4, 24, 5, 45, 36}},
                        {-657434.0, {100, 1, 1, 0, 0, 0}},
                        {2958465.0, {9999, 12, 31, 0, 0, 0}},
                        {0.5 * kSecond, {1899, 12, 30, 0, 0, 1}},  // half a second rounds up
                        {0.49 * kSecond, {1899, 12, 30, 0, 0, 0}},
                        {1.0 + 86399.5 * kSecond, {1900, 1, 1, 0, 0, 0}},       // carries into the next day
                        {-(1.0 + 86399.6 * kSecond), {1899, 12, 30, 0, 0, 0}},  // and below zero too
                        {36526.0 + 3599.5 * kSecond, {2000, 1, 1, 1, 0, 0}}};
    for (const Row& r : rows) EXPECT_EQ(splitDate(r.serial), r.want) << r.serial;
}

TEST(DateSerialTest, MakeDateValidatesEveryFieldAndInvertsSplit) {
    struct Row {
        DateParts parts;
        bool valid;
    };
    const Row rows[] = {{{2000, 2, 29, 0, 0, 0}, true},   {{2004, 2, 29, 0, 0, 0}, true},
                        {{1900, 2, 29, 0, 0, 0}, false},  {{2100, 2, 29, 0, 0, 0}, false},
                        {{2008, 4, 31, 0, 0, 0}, false},  {{2008, 13, 1, 0, 0, 0}, false},
                        {{2008, 0, 1, 0, 0, 0}, false},   {{2008, 1, 0, 0, 0, 0}, false},
                        {{2008, 1, 1, 24, 0, 0}, false},  {{2008, 1, 1, -1, 0, 0}, false},
                        {{2008, 1, 1, 0, 60, 0}, false},  {{2008, 1, 1, 0, 0, 60}, false},
                        {{99, 12, 31, 0, 0, 0}, false},   {{100, 1, 1, 0, 0, 0}, true},
                        {{10000, 1, 1, 0, 0, 0}, false},  {{9999, 12, 31, 23, 59, 59}, true},
                        {{1765, 4, 24, 5, 45, 36}, true}, {{1899, 12, 29, 23, 59, 59}, true}};
    for (const Row& r : rows) {
        const auto v = makeDate(r.parts);
        ASSERT_EQ(v.has_value(), r.valid) << r.parts.year << "-" << r.parts.month << "-" << r.parts.day;
        if (v) {
            EXPECT_EQ(splitDate(*v), r.parts);
        }
    }
    EXPECT_DOUBLE_EQ(serial(1899, 12, 29, 6), -1.25);
    EXPECT_NEAR(serial(1765, 4, 24, 5, 45, 36), -49192.24, 1e-9);
}

TEST(DateSerialTest, NowIsLocalTimeToTheSecond) {
    const char* old = std::getenv("TZ");
    const bool hadZone = old != nullptr;
    const std::string saved = hadZone ? old : "";
    setenv("TZ", "UTC+3", 1);  // three hours behind UTC, no time zone files needed
    tzset();
    const std::time_t before = std::time(nullptr);
    const double n = now();
    const std::time_t after = std::time(nullptr);
    if (hadZone)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    auto localSerial = [](std::time_t t) { return 25569.0 + static_cast<double>(t - 3 * 3600) / 86400.0; };
    EXPECT_GE(n, localSerial(before) - kSecond / 2);
    EXPECT_LE(n, localSerial(after) + kSecond / 2);
    EXPECT_EQ(makeDate(splitDate(n)), n);  // whole seconds
}

// ---------------------------------------------------------------------------------------------

struct FormatRow {
    double serial;
    const char* text;
};

// The year-first texts the data layer and DataHoraAgora write: the year as it is, every other field
// with two digits.
TEST(GeneralDateTest, YearFirstTextsPadEveryFieldButTheYear) {
    const FormatRow rows[] = {
        {3.34, "1900-01-02 08:09:36"},
        {-657434.0, "100-01-01 00:00:00"},
        {2958465.0 + 86399 * kSecond, "9999-12-31 23:59:59"},
        {-0.25, "1899-12-30 06:00:00"},
    };
    for (const FormatRow& r : rows) {
        EXPECT_EQ(formatYearFirstDateTime(splitDate(r.serial)), r.text) << r.serial;
        const std::string text = r.text;
        EXPECT_EQ(formatYearFirstDate(splitDate(r.serial)), text.substr(0, text.find(' '))) << r.serial;
    }
    std::string out;
    for (const auto& [value, width] : {std::pair{7, 2}, {2024, 4}, {5, 4}, {-3, 3}, {123, 1}}) {
        appendPadded(out, value, width);
        out += '|';
    }
    EXPECT_EQ(out, "07|2024|0005|-003|123|");
}

TEST(GeneralDateTest, PtBRWritesDayFirstOn24HourClock) {
    const FormatRow rows[] = {
        {3.34, "02/01/1900 08:09:36"},
        {365.0, "30/12/1900"},
        {0.0, "00:00:00"},
        {0.75, "18:00:00"},
        {-0.25, "06:00:00"},
        {-49192.24, "24/04/1765 05:45:36"},
        {2958465.0, "31/12/9999"},
        {-657434.0, "01/01/100"},
        {365.0 + 0.2 * kSecond, "30/12/1900"},  // rounds to midnight: the date alone
        {1.0 + 86399.7 * kSecond, "01/01/1900"},
        {0.9999999, "00:00:00"},  // no whole day: the time alone, even when it rounds to midnight
    };
    for (const FormatRow& r : rows) EXPECT_EQ(formatGeneralDate(r.serial, pt()), r.text) << r.serial;
}

TEST(GeneralDateTest, EnUSWritesMonthFirstWithMarkers) {
    const FormatRow rows[] = {{0.0, "12:00:00 AM"},
                              {3.34, "1/2/1900 8:09:36 AM"},
                              {3339.34, "2/20/1909 8:09:36 AM"},
                              {365.0, "12/30/1900"},
                              {365.25, "12/30/1900 6:00:00 AM"},
                              {1461.0, "12/31/1903"},
                              {1461.5, "12/31/1903 12:00:00 PM"},
                              {-49192.24, "4/24/1765 5:45:36 AM"},
                              {-657434.0, "1/1/100"},
                              {2958465.0, "12/31/9999"},
                              {25570.0, "1/2/1970"},
                              {0.999988, "11:59:59 PM"}};
    for (const FormatRow& r : rows) EXPECT_EQ(formatGeneralDate(r.serial, en()), r.text) << r.serial;
}

TEST(GeneralDateTest, PicturesWriteNamesPaddingAndQuotedText) {
    struct Row {
        const char* shortDate;
        const char* longTime;
        const char* regional;
        const char* text;
    };
    const Row rows[] = {
        {"dddd, d 'de' MMMM 'de' yyyy", "HH:mm:ss", "pt-BR", "terça-feira, 2 de janeiro de 1900 08:09:36"},
        {"ddd d MMM yy", "H:m:s", "pt-BR", "ter 2 jan 00 8:9:36"},
        {"yyyy-MM-dd", "hh:mm tt", "pt-BR", "1900-01-02 08:09"},  // no marker: the blank goes too
        {"d/M/y", "h:mm t", "en-US", "2/1/0 8:09 A"}};
    for (const Row& r : rows) {
        Regional custom = *Regional::byName(r.regional);
        custom.shortDate = r.shortDate;
        custom.longTime = r.longTime;
        EXPECT_EQ(formatGeneralDate(3.34, custom), r.text) << r.shortDate;
    }
    EXPECT_EQ(formatShortDate(3.34, en()), "1/2/1900");
    EXPECT_EQ(formatLongTime(3.34, en()), "8:09:36 AM");
}

TEST(GeneralDateTest, SerialsOutsideTheCalendarAreInvalidCalls) {
    for (double s : {2958466.0, -657435.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(errorOf([&] { formatGeneralDate(s, pt()); }), err::InvalidCall) << s;
}

TEST(GeneralDateTest, TextReadsBackToTheSameSecondUnderBothPresets) {
    std::uint64_t state = 12345;
    auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / static_cast<double>(1ull << 53);
    };
    for (const Regional* r : {&pt(), &en()}) {
        for (int i = 0; i < 3000; ++i) {
            double s = -657434.0 + next() * (2958465.0 + 657434.0);
            if (i % 5 == 0) s = std::trunc(s);                   // dates alone
            if (i % 7 == 0) s = next() * 2.0 - 1.0;              // times alone
            if (i % 11 == 0) s = std::trunc(s) + 0.5 * kSecond;  // on the rounding edge
            const std::string text = formatGeneralDate(s, *r);
            const auto back = parseDate(text, *r);
            ASSERT_TRUE(back) << r->name << " " << text;
            ASSERT_EQ(splitDate(*back), splitDate(s)) << r->name << " " << text << " " << s;
        }
    }
}

// ---------------------------------------------------------------------------------------------

struct ParseRow {
    const char* text;
    std::optional<DateParts> want;
};

void expectParses(const Regional& r, const std::vector<ParseRow>& rows) {
    for (const ParseRow& row : rows) {
        const auto got = parseDate(row.text, r);
        ASSERT_EQ(got.has_value(), row.want.has_value()) << r.name << " \"" << row.text << "\"";
        if (got) {
            EXPECT_EQ(splitDate(*got), *row.want) << r.name << " \"" << row.text << "\"";
        }
    }
}

TEST(ParseDateTest, PtBRReadsDayFirstThenTheOtherOrders) {
    const int y = currentYear();
    expectParses(pt(),
                 {{"25/12/2008 14:05:09", DateParts{2008, 12, 25, 14, 5, 9}},
                  {"5/1/2009 7:03", DateParts{2009, 1, 5, 7, 3, 0}},
                  {"08:30", DateParts{1899, 12, 30, 8, 30, 0}},
                  {"2008-12-25 14:05:09", DateParts{2008, 12, 25, 14, 5, 9}},  // year first: second round
                  {"12/25/2008", DateParts{2008, 12, 25, 0, 0, 0}},            // month first: third round
                  {"25-12-08", DateParts{2008, 12, 25, 0, 0, 0}},
                  {"1/1/49", DateParts{2049, 1, 1, 0, 0, 0}},
                  {"1/1/50", DateParts{1950, 1, 1, 0, 0, 0}},
                  {"1 1 100", DateParts{100, 1, 1, 0, 0, 0}},
                  {"29/02/2008", DateParts{2008, 2, 29, 0, 0, 0}},
                  {"14:05:09 25/12/2008", DateParts{2008, 12, 25, 14, 5, 9}},
                  {"25 dez 2008", DateParts{2008, 12, 25, 0, 0, 0}},
                  {"MARÇO 3, 2010", DateParts{2010, 3, 3, 0, 0, 0}},
                  {"Sábado, 25/12/2010", DateParts{2010, 12, 25, 0, 0, 0}},
                  {"terça-feira 2/1/1900 8:09:36", DateParts{1900, 1, 2, 8, 9, 36}},
                  {"08:30 p", DateParts{1899, 12, 30, 20, 30, 0}},
                  {"12:15 a", DateParts{1899, 12, 30, 0, 15, 0}},
                  {"14:00 p", DateParts{1899, 12, 30, 14, 0, 0}},  // the marker is ignored past noon
                  {"30 2", DateParts{2030, 2, 1, 0, 0, 0}},        // neither D/M nor M/D: year and month
                  {"14 1", DateParts{y, 1, 14, 0, 0, 0}},
                  {"08:30 PM", std::nullopt},  // pt-BR has no markers, only a lone a/p
                  {"29/02/2009", std::nullopt},
                  {"31/04/2008", std::nullopt},
                  {"32 49", std::nullopt},
                  {"02.01.1970", std::nullopt},  // '.' is a time separator here
                  {"2013-05-14 02:04:12.017000000", std::nullopt},
                  {"", std::nullopt},
                  {"abc", std::nullopt},
                  {"True", std::nullopt},
                  {"1", std::nullopt},
                  {"25/12/", std::nullopt},
                  {"25/12/2008,", std::nullopt},
                  {"1/2/3/4", std::nullopt},
                  {"-5", std::nullopt},
                  {"24:00", std::nullopt},
                  {"23:60", std::nullopt},
                  {"1:2 3:4", std::nullopt},
                  {"1/1/10000", std::nullopt},
                  {"2008-12-25T14:05:09", std::nullopt}});
}

TEST(ParseDateTest, ADotDateSeparatorMakesDotsDateSeparators) {
    Regional dotted = pt();
    dotted.dateSeparator = '.';
    expectParses(dotted, {{"02.01.1970", DateParts{1970, 1, 2, 0, 0, 0}},
                          {"02.01.1970 10:20", DateParts{1970, 1, 2, 10, 20, 0}},
                          {"1.2.3.4", std::nullopt},  // a third date separator
                          {"10:20", DateParts{1899, 12, 30, 10, 20, 0}}});
}

TEST(ParseDateTest, EnUSReadsMonthFirstAndMarkers) {
    const int y = currentYear();
    expectParses(en(), {{"12/25/2008", DateParts{2008, 12, 25, 0, 0, 0}},
                        {"1/2/1970", DateParts{1970, 1, 2, 0, 0, 0}},
                        {"25/12/2008", DateParts{2008, 12, 25, 0, 0, 0}},
                        {"2008-12-25 14:05:09", DateParts{2008, 12, 25, 14, 5, 9}},
                        {"2008-08-13 2:05:09 PM", DateParts{2008, 8, 13, 14, 5, 9}},
                        {"12:00 AM", DateParts{1899, 12, 30, 0, 0, 0}},
                        {"12:30 PM", DateParts{1899, 12, 30, 12, 30, 0}},
                        {"08:30 P", DateParts{1899, 12, 30, 20, 30, 0}},
                        {"3 PM", DateParts{1899, 12, 30, 15, 0, 0}},
                        {"3 am 1 2 2008", DateParts{2008, 1, 2, 3, 0, 0}},
                        {"1 2 2008 4 pm", DateParts{2008, 1, 2, 16, 0, 0}},
                        {"January 2, 2008", DateParts{2008, 1, 2, 0, 0, 0}},
                        {"2 January 2008", DateParts{2008, 1, 2, 0, 0, 0}},
                        {"Sunday, January 6, 2008 10:00:00 AM", DateParts{2008, 1, 6, 10, 0, 0}},
                        {"Jan 2", DateParts{y, 1, 2, 0, 0, 0}},
                        {"14 1", DateParts{y, 1, 14, 0, 0, 0}},
                        {"1.2 3 4", DateParts{y, 3, 4, 1, 2, 0}},
                        {"13/25/2008", std::nullopt},
                        {"02.01.1970", std::nullopt},
                        {"8 PM PM", std::nullopt},
                        {"PM 8", std::nullopt},
                        {"3 am 1 pm 2", std::nullopt},
                        {"Janu 2 2008", std::nullopt}});
}

// ---------------------------------------------------------------------------------------------

struct NumberRow {
    const char* text;
    std::optional<double> want;
};

void expectNumbers(const Regional& r, const std::vector<NumberRow>& rows) {
    for (const NumberRow& row : rows) {
        const auto got = parseNumber(row.text, r);
        ASSERT_EQ(got.has_value(), row.want.has_value()) << r.name << " \"" << row.text << "\"";
        if (got) {
            EXPECT_DOUBLE_EQ(*got, *row.want) << r.name << " \"" << row.text << "\"";
        }
    }
}

TEST(ParseNumberTest, PtBRCommaIsDecimalAndDotsAreSkipped) {
    expectNumbers(pt(), {{"1.234,56", 1234.56},
                         {"1.5", 15.0},
                         {"1,5", 1.5},
                         {"&H1F", 31.0},
                         {" 12 ", 12.0},
                         {"\u00a012\u3000", 12},
                         {"0", 0.0},
                         {"1.2.3", 123.0},
                         {",5", 0.5},
                         {"5,", 5.0},
                         {"(5)", -5.0},
                         {"5-", -5.0},
                         {"-5", -5.0},
                         {"+5", 5.0},
                         {"1E3", 1000.0},
                         {"1,5E-3", 0.0015},
                         {"&O17", 15.0},
                         {"&HFFFFFFFF", -1.0},
                         {"R$ 10", 10.0},
                         {"1E-400", 0.0},
                         {"12abc", std::nullopt},
                         {"", std::nullopt},
                         {" ", std::nullopt},
                         {"--5", std::nullopt},
                         {"-5-", std::nullopt},
                         {"(5", std::nullopt},
                         {"5)", std::nullopt},
                         {"1e", std::nullopt},
                         {"1E+", std::nullopt},
                         {"&O8", std::nullopt},
                         {"&H", std::nullopt},
                         {"&H100000000", std::nullopt},
                         {".5", std::nullopt},
                         {"1,2,3", std::nullopt},
                         {"1 2", std::nullopt},
                         {"$10", std::nullopt},
                         {"1E400", std::nullopt},
                         {"R$1E3", std::nullopt}});
}

TEST(ParseNumberTest, EnUSDotIsDecimalAndCommasAreSkipped) {
    expectNumbers(en(), {{"1,234.56", 1234.56},
                         {"1.5", 1.5},
                         {"1,5", 15.0},
                         {"$1,234.50", 1234.5},
                         {"($5)", -5.0},
                         {".5", 0.5},
                         {"0.1", 0.1},
                         {"1.7976931348623157E308", 1.7976931348623157e308},
                         {",5", std::nullopt},
                         {"R$10", std::nullopt},
                         {"1.2.3", std::nullopt}});
}

TEST(RoundingTest, HalvesGoToTheEvenNeighbour) {
    const std::pair<double, double> rows[] = {{-2.5, -2},     {-1.5, -2},
                                              {-0.6, -1},     {-0.5, 0},
                                              {-0.4, 0},      {0.4, 0},
                                              {0.5, 0},       {0.6, 1},
                                              {1.5, 2},       {2.5, 2},
                                              {3.5, 4},       {2.4999, 2},
                                              {1e300, 1e300}, {-2147483648.5, -2147483648.0}};
    for (const auto& [in, want] : rows) EXPECT_EQ(roundHalfEven(in), want) << in;
}

// ---------------------------------------------------------------------------------------------

class ConversionTest : public ::testing::Test {
  protected:
    RegionalScope regional{Regional::ptBR()};
};

template <typename T>
struct ConvRow {
    Variant in;
    T want;
    std::int32_t error;  // 0: converts to want
};

template <typename T, typename F>
void expectConversions(const std::vector<ConvRow<T>>& rows, F convert) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ConvRow<T>& r = rows[i];
        T got{};
        const std::int32_t e = errorOf([&] { got = convert(r.in); });
        EXPECT_EQ(e, r.error) << "row " << i;
        if (!r.error && !e) {
            EXPECT_EQ(got, r.want) << "row " << i;
        }
    }
}

TEST_F(ConversionTest, CLngRoundsHalfToEvenAndOverflowsAtTheEdges) {
    expectConversions<std::int32_t>({{D(-1.5), -2, 0},
                                     {D(-0.5), 0, 0},
                                     {D(0.5), 0, 0},
                                     {D(1.5), 2, 0},
                                     {D(2.5), 2, 0},
                                     {D(-0.6), -1, 0},
                                     {D(2147483647.49), 2147483647, 0},
                                     {D(2147483647.5), 0, err::Overflow},
                                     {D(-2147483648.5), -2147483647 - 1, 0},
                                     {D(-2147483648.51), 0, err::Overflow},
                                     {D(std::nan("")), 0, err::Overflow},
                                     {Variant("2147483648"), 0, err::Overflow},
                                     {Variant("-2147483649"), 0, err::Overflow},
                                     {Variant(" 40"), 40, 0},
                                     {Variant("2,5"), 2, 0},
                                     {Variant("3,5"), 4, 0},
                                     {Variant("1.000"), 1000, 0},
                                     {Variant("&HFFFFFFFF"), -1, 0},
                                     {Variant("-&H80000000"), 0, err::Overflow},
                                     {Variant("abc"), 0, err::TypeMismatch},
                                     {Variant(""), 0, err::TypeMismatch},
                                     {Variant(), 0, 0},
                                     {Variant::null(), 0, err::InvalidUseOfNull},
                                     {Variant(true), -1, 0},
                                     {Variant(false), 0, 0},
                                     {Dt(2.5), 2, 0},
                                     {Dt(3.5), 4, 0},
                                     {I(-7), -7, 0},
                                     {Variant::missing(), 0, err::TypeMismatch},
                                     {Variant::array({}), 0, err::TypeMismatch},
                                     {nothing(), 0, err::ObjectNotSet},
                                     {box(Variant("42")), 42, 0},
                                     {box(box(D(7.5))), 8, 0}},
                                    [](const Variant& v) { return CLng(v); });
}

TEST_F(ConversionTest, CIntHasItsOwnRange) {
    expectConversions<std::int16_t>({{D(32767.49), 32767, 0},
                                     {D(32767.5), 0, err::Overflow},
                                     {D(-32768.5), -32768, 0},
                                     {D(-32768.51), 0, err::Overflow},
                                     {L(40000), 0, err::Overflow},
                                     {L(-32768), -32768, 0},
                                     {Variant("32768"), 0, err::Overflow},
                                     {Variant("&HFFFF"), -1, 0},
                                     {Variant("&H10000"), 0, err::Overflow},
                                     {Variant("(2,5)"), -2, 0},
                                     {Variant(true), -1, 0},
                                     {Variant::null(), 0, err::InvalidUseOfNull}},
                                    [](const Variant& v) { return CInt(v); });
}

TEST_F(ConversionTest, CStrWritesTheRuntimeTexts) {
    expectConversions<std::string>({{Variant(), "", 0},
                                    {Variant(true), "True", 0},
                                    {Variant(false), "False", 0},
                                    {I(-5), "-5", 0},
                                    {L(-2147483647 - 1), "-2147483648", 0},
                                    {D(0.1), "0,1", 0},
                                    {D(1e20), "1E+20", 0},
                                    {D(1.5e-7), "1,5E-07", 0},
                                    {D(123456789012345.0), "123456789012345", 0},
                                    {D(1234567890123456.0), "1,23456789012346E+15", 0},
                                    {D(1e15), "1E+15", 0},
                                    {D(0.0001), "0,0001", 0},
                                    {D(0.00001), "1E-05", 0},
                                    {D(-2.5), "-2,5", 0},
                                    {D(1.0 / 3.0), "0,333333333333333", 0},
                                    {D(-0.0), "0", 0},
                                    {Dt(3.34), "02/01/1900 08:09:36", 0},
                                    {Dt(1e10), "", err::InvalidCall},
                                    {Variant("texto"), "texto", 0},
                                    {Variant::null(), "", err::InvalidUseOfNull},
                                    {Variant::array({}), "", err::TypeMismatch},
                                    {Variant::missing(), "", err::TypeMismatch},
                                    {nothing(), "", err::ObjectNotSet},
                                    {box(Dt(365.0)), "30/12/1900", 0}},
                                   [](const Variant& v) { return CStr(v); });

    RegionalScope us(en());
    EXPECT_EQ(CStr(D(1.5e-7)), "1.5E-07");
    EXPECT_EQ(CStr(Dt(3.34)), "1/2/1900 8:09:36 AM");
}

TEST_F(ConversionTest, CDblCBoolAndCDate) {
    expectConversions<double>({{Variant("1.234,56"), 1234.56, 0},
                               {Variant("abc"), 0, err::TypeMismatch},
                               {Variant("1E400"), 0, err::Overflow},
                               {Variant(true), -1, 0},
                               {Dt(3.5), 3.5, 0},
                               {Variant(), 0, 0},
                               {Variant::null(), 0, err::InvalidUseOfNull},
                               {box(Variant("2,5")), 2.5, 0}},
                              [](const Variant& v) { return CDbl(v); });
    expectConversions<bool>({{Variant("True"), true, 0},
                             {Variant("tRUE"), true, 0},
                             {Variant("FALSE"), false, 0},
                             {Variant("0"), false, 0},
                             {Variant("0,5"), true, 0},
                             {Variant("abc"), false, err::TypeMismatch},
                             {Variant(" True"), false, err::TypeMismatch},
                             {Variant(""), false, err::TypeMismatch},
                             {D(0.0), false, 0},
                             {D(0.1), true, 0},
                             {L(0), false, 0},
                             {Dt(0.0), false, 0},
                             {Variant(), false, 0},
                             {Variant::null(), false, err::InvalidUseOfNull}},
                            [](const Variant& v) { return CBool(v); });
    expectConversions<double>({{Dt(3.34), 3.34, 0},
                               {D(3.34), 3.34, 0},
                               {L(2958465), 2958465.0, 0},
                               {L(2958466), 0, err::Overflow},
                               {D(-657435.0), 0, err::Overflow},
                               {D(-657434.5), -657434.5, 0},
                               {Variant("25/12/2008"), serial(2008, 12, 25), 0},
                               {Variant("abc"), 0, err::TypeMismatch},
                               {Variant(""), 0, err::TypeMismatch},
                               {Variant("36526"), 0, err::TypeMismatch},
                               {Variant(), 0, 0},
                               {Variant::null(), 0, err::InvalidUseOfNull},
                               {Variant(true), -1, 0}},
                              [](const Variant& v) { return CDate(v); });
}

TEST_F(ConversionTest, UnequalToEmptyTextTreatsNullAsNotGiven) {
    expectConversions<bool>({{Variant(), false, 0},
                             {Variant::null(), false, 0},
                             {Variant(""), false, 0},
                             {Variant(" "), true, 0},
                             {Variant("a"), true, 0},
                             {L(0), true, 0},
                             {D(0.0), true, 0},
                             {Dt(0.0), true, 0},
                             {Variant(false), true, 0},
                             {box(Variant("")), false, 0},
                             {box(Variant("x")), true, 0},
                             {box(Variant::null()), false, 0},
                             {nothing(), false, err::ObjectNotSet},
                             {Variant::array({}), false, err::TypeMismatch}},
                            [](const Variant& v) { return unequalToEmptyText(v); });
}

// ---------------------------------------------------------------------------------------------

TEST(TextTest, UCaseMapsEachCharacterToItsCapital) {
    const std::pair<std::string, std::string> rows[] = {
        {"é", "É"},
        {"ação", "AÇÃO"},
        {"straße", "STRAßE"},  // one character to one: ß stays
        {"ÿ", "Ÿ"},
        {"ąčęėįšųūžŀ", "ĄČĘĖĮŠŲŪŽĿ"},
        {"αβγ ς", "ΑΒΓ Σ"},
        {"привет", "ПРИВЕТ"},
        {"ǆ", "Ǆ"},
        {"ı", "I"},                                // capital is shorter than the letter
        {"abc123!? ÀÉÎĂŠΣЖ", "ABC123!? ÀÉÎĂŠΣЖ"},  // capitals stay
        {"\xff\xfe", "\xff\xfe"},                  // not UTF-8: untouched
        {"a\xc3", "A\xc3"},
        {"\xed\xa0\x80", "\xed\xa0\x80"},  // an encoded surrogate is not a character
        {"", ""}};
    for (const auto& [in, want] : rows) EXPECT_EQ(UCase(in), want) << in;

    RegionalScope regional(pt());
    EXPECT_TRUE(UCase(Variant::null()).isNull());
    EXPECT_TRUE(sameValue(UCase(Variant()), Variant("")));
    EXPECT_TRUE(sameValue(UCase(D(1.5)), Variant("1,5")));
    EXPECT_TRUE(sameValue(UCase(box(Variant("ção"))), Variant("ÇÃO")));
}

TEST(TextTest, ToAnsiWritesWindows1252AndQuestionMarksTheRest) {
    const std::pair<std::string, std::string> rows[] = {
        {"abc", "abc"}, {"é", "\xE9"},        {"ÿ", "\xFF"},      {"€", "\x80"},   {"š", "\x9A"},
        {"Ÿ", "\x9F"},  {"“x”", "\x93x\x94"}, {"\u0081", "\x81"}, {"\u0080", "?"}, {"ā", "?"},
        {"中", "?"},    {"😀", "?"},           {"\xff", "?"},      {"a\xc3", "a?"}};
    for (const auto& [in, want] : rows) EXPECT_EQ(toAnsi(in), want) << in;
}

TEST(TextTest, AscGivesTheAnsiCodeOfTheFirstCharacter) {
    RegionalScope regional(pt());
    expectConversions<int>({{Variant("A"), 65, 0},
                            {Variant("Abc"), 65, 0},
                            {Variant("é"), 233, 0},
                            {Variant("€"), 128, 0},
                            {Variant("中"), 63, 0},
                            {Variant(""), 0, err::InvalidCall},
                            {Variant(), 0, err::InvalidCall},
                            {Variant::null(), 0, err::InvalidUseOfNull},
                            {L(5), 53, 0},
                            {Variant(true), 84, 0},
                            {box(Variant("ç")), 231, 0}},
                           [](const Variant& v) { return Asc(v); });
}

}  // namespace
}  // namespace orvan::com
