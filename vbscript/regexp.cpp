// VBScript.RegExp on PCRE2 (8-bit library, UTF mode), with its Matches, Match and SubMatches
// collections. The pattern is compiled once per change of Pattern, IgnoreCase or Multiline. Every
// match runs under PCRE2's match, depth and heap limits, so a pattern that backtracks without end
// fails with an error instead of holding the page. Positions handed to scripts count UTF-16 units.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>

#include "com_server/enumeration.h"
#include "vbscript/internal/scripting_objects.h"
#include "vbscript/internal/text.h"

namespace orvan::vbs {
namespace {

using com::ComPtr;
using com::Variant;

// Bounds on one match attempt: steps of the matcher, nesting of backtracking, and heap (KiB).
constexpr std::uint32_t kMatchLimit = 2'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;

struct CodeDeleter {
    void operator()(pcre2_code* c) const noexcept { pcre2_code_free(c); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* d) const noexcept { pcre2_match_data_free(d); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* c) const noexcept { pcre2_match_context_free(c); }
};

std::string pcreMessage(int code) {
    PCRE2_UCHAR buf[256];
    const int n = pcre2_get_error_message(code, buf, sizeof buf);
    return n < 0 ? "error " + std::to_string(code) : std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
}

// The runtime's number for a pattern PCRE2 refused.
std::int32_t compileErrorNumber(int code) {
    switch (code) {
        case PCRE2_ERROR_QUANTIFIER_INVALID:
        case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER:
            return com::err::RegExpUnexpectedQuantifier;
        case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
            return com::err::RegExpExpectedBracket;
        case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
            return com::err::RegExpExpectedParen;
        case PCRE2_ERROR_CLASS_RANGE_ORDER:
            return com::err::RegExpInvalidRange;
        default:
            return com::err::RegExpSyntax;
    }
}

// One match as the scripting objects describe it.
struct MatchInfo {
    std::string value;
    std::int32_t firstIndex = 0;  // UTF-16 units from the start of the text
    std::int32_t length = 0;      // UTF-16 units
    std::vector<Variant> groups;  // Empty for a group that did not take part
};

class SubMatches final : public com::Object {
public:
    explicit SubMatches(std::vector<Variant> groups) : groups_(std::move(groups)) {}
    std::int32_t Count() { return static_cast<std::int32_t>(groups_.size()); }
    Variant Item(std::int32_t index) {
        if (index < 0 || index >= Count()) throw com::ComError::basic(com::err::InvalidCall);
        return groups_[static_cast<std::size_t>(index)];
    }
    Variant NewEnum() { return Variant(com::make<com::ListEnumerator>(groups_)); }
    static const com::TypeInfo& members() {
        static const com::TypeInfo t = [] {
            com::TypeInfo info{"ISubMatches", "ISubMatches", {}};
            info.members.push_back(com::propertyGet<&SubMatches::Item>("Item", com::kDispidValue, {"index"}));
            info.members.push_back(com::propertyGet<&SubMatches::Count>("Count", 1));
            info.members.push_back(com::propertyGet<&SubMatches::NewEnum>("_NewEnum", com::kDispidNewEnum));
            return info;
        }();
        return t;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    std::vector<Variant> groups_;
};

class Match final : public com::Object {
public:
    explicit Match(MatchInfo m) : m_(std::move(m)) {}
    std::string Value() { return m_.value; }
    std::int32_t FirstIndex() { return m_.firstIndex; }
    std::int32_t Length() { return m_.length; }
    Variant GetSubMatches() { return Variant(com::make<SubMatches>(m_.groups)); }
    static const com::TypeInfo& members() {
        static const com::TypeInfo t = [] {
            com::TypeInfo info{"IMatch2", "IMatch2", {}};
            info.members.push_back(com::propertyGet<&Match::Value>("Value", com::kDispidValue));
            info.members.push_back(com::propertyGet<&Match::FirstIndex>("FirstIndex", 10001));
            info.members.push_back(com::propertyGet<&Match::Length>("Length", 10002));
            info.members.push_back(com::propertyGet<&Match::GetSubMatches>("SubMatches", 10003));
            return info;
        }();
        return t;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    MatchInfo m_;
};

class Matches final : public com::Object {
public:
    explicit Matches(std::vector<Variant> items) : items_(std::move(items)) {}
    std::int32_t Count() { return static_cast<std::int32_t>(items_.size()); }
    Variant Item(std::int32_t index) {
        if (index < 0 || index >= Count()) throw com::ComError::basic(com::err::InvalidCall);
        return items_[static_cast<std::size_t>(index)];
    }
    Variant NewEnum() { return Variant(com::make<com::ListEnumerator>(items_)); }
    static const com::TypeInfo& members() {
        static const com::TypeInfo t = [] {
            com::TypeInfo info{"IMatchCollection2", "IMatchCollection2", {}};
            info.members.push_back(com::propertyGet<&Matches::Item>("Item", com::kDispidValue, {"index"}));
            info.members.push_back(com::propertyGet<&Matches::Count>("Count", 1));
            info.members.push_back(com::propertyGet<&Matches::NewEnum>("_NewEnum", com::kDispidNewEnum));
            return info;
        }();
        return t;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    std::vector<Variant> items_;
};

class RegExp final : public com::Object {
public:
    static constexpr const char* kInterfaceName = "IRegExp2";

    std::string getPattern() { return pattern_; }
    void putPattern(std::string p) {
        pattern_ = std::move(p);
        code_.reset();
    }
    bool getIgnoreCase() { return ignoreCase_; }
    void putIgnoreCase(bool v) {
        if (v != ignoreCase_) code_.reset();
        ignoreCase_ = v;
    }
    bool getGlobal() { return global_; }
    void putGlobal(bool v) { global_ = v; }
    bool getMultiline() { return multiline_; }
    void putMultiline(bool v) {
        if (v != multiline_) code_.reset();
        multiline_ = v;
    }

    bool Test(std::string subject) {
        bool found = false;
        forEachMatch(subject, false, [&](const PCRE2_SIZE*, int) { found = true; });
        return found;
    }

    Variant Execute(std::string subject) {
        std::vector<Variant> items;
        // UTF-16 positions are counted incrementally from the previous match.
        std::size_t byteCursor = 0;
        std::int32_t unitCursor = 0;
        forEachMatch(subject, global_, [&](const PCRE2_SIZE* ov, int pairs) {
            MatchInfo m;
            unitCursor += static_cast<std::int32_t>(text::utf16Length(std::string_view(subject).substr(byteCursor, ov[0] - byteCursor)));
            byteCursor = ov[0];
            m.value = subject.substr(ov[0], ov[1] - ov[0]);
            m.firstIndex = unitCursor;
            m.length = static_cast<std::int32_t>(text::utf16Length(m.value));
            for (int g = 1; g < pairs; ++g) {
                const PCRE2_SIZE b = ov[2 * g], e = ov[2 * g + 1];
                m.groups.push_back(b == PCRE2_UNSET ? Variant() : Variant(subject.substr(b, e - b)));
            }
            items.push_back(Variant(com::make<Match>(std::move(m))));
        });
        return Variant(com::make<Matches>(std::move(items)));
    }

    std::string Replace(std::string subject, Variant replacement) {
        const std::string with = com::CStr(replacement);
        std::string out;
        std::size_t copied = 0;
        forEachMatch(subject, global_, [&](const PCRE2_SIZE* ov, int pairs) {
            out.append(subject, copied, ov[0] - copied);
            substitute(out, with, subject, ov, pairs);
            copied = ov[1];
        });
        out.append(subject, copied);
        return out;
    }

    static const com::TypeInfo& members() {
        static const com::TypeInfo t = [] {
            com::TypeInfo info{"IRegExp2", kInterfaceName, {}};
            auto& m = info.members;
            m.push_back(com::propertyGet<&RegExp::getPattern>("Pattern", 10001));
            m.push_back(com::propertyPut<&RegExp::putPattern>("Pattern", 10001));
            m.push_back(com::propertyGet<&RegExp::getIgnoreCase>("IgnoreCase", 10002));
            m.push_back(com::propertyPut<&RegExp::putIgnoreCase>("IgnoreCase", 10002));
            m.push_back(com::propertyGet<&RegExp::getGlobal>("Global", 10003));
            m.push_back(com::propertyPut<&RegExp::putGlobal>("Global", 10003));
            m.push_back(com::propertyGet<&RegExp::getMultiline>("Multiline", 10004));
            m.push_back(com::propertyPut<&RegExp::putMultiline>("Multiline", 10004));
            m.push_back(com::method<&RegExp::Execute>("Execute", 10005, {"sourceString"}));
            m.push_back(com::method<&RegExp::Test>("Test", 10006, {"sourceString"}));
            m.push_back(com::method<&RegExp::Replace>("Replace", 10007, {"sourceString", "replaceVar"}));
            return info;
        }();
        return t;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    void compile() {
        if (code_) return;
        std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY;
        if (ignoreCase_) options |= PCRE2_CASELESS;
        if (multiline_) options |= PCRE2_MULTILINE;
        int error = 0;
        PCRE2_SIZE offset = 0;
        pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(), options,
                                         &error, &offset, nullptr);
        if (!code) {
            const std::int32_t number = compileErrorNumber(error);
            throw com::ComError(number, std::string(com::runtimeErrorText(number)) + " (" + pcreMessage(error) +
                                            " at offset " + std::to_string(offset) + ")");
        }
        code_.reset(code);
        matchData_.reset(pcre2_match_data_create_from_pattern(code, nullptr));
        if (!context_) {
            context_.reset(pcre2_match_context_create(nullptr));
            pcre2_set_match_limit(context_.get(), kMatchLimit);
            pcre2_set_depth_limit(context_.get(), kDepthLimit);
            pcre2_set_heap_limit(context_.get(), kHeapLimitKiB);
        }
        if (!matchData_ || !context_) throw com::ComError::basic(com::err::OutOfMemory);
    }

    // Calls f(ovector, pairs) for the first match, or for every match when all is set. After an
    // empty match the search moves on by one character, so it cannot repeat.
    template <typename F>
    void forEachMatch(const std::string& subject, bool all, F f) {
        compile();
        const auto* s = reinterpret_cast<PCRE2_SPTR>(subject.data());
        PCRE2_SIZE start = 0;
        while (start <= subject.size()) {
            const int rc = pcre2_match(code_.get(), s, subject.size(), start, 0, matchData_.get(), context_.get());
            if (rc == PCRE2_ERROR_NOMATCH) return;
            if (rc < 0) {
                const bool limit = rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT;
                throw com::ComError(com::err::InvalidCall,
                                    limit ? "The regular expression needs too many steps on this text (" + pcreMessage(rc) + ")"
                                          : "Regular expression match failed (" + pcreMessage(rc) + ")");
            }
            const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(matchData_.get());
            const int pairs = static_cast<int>(pcre2_get_ovector_count(matchData_.get()));
            f(ov, pairs);
            if (!all) return;
            if (ov[1] > ov[0]) {
                start = ov[1];
            } else {
                if (ov[1] >= subject.size()) return;
                start = ov[1] + 1;
                while (start < subject.size() && (static_cast<unsigned char>(subject[start]) & 0xC0) == 0x80) ++start;
            }
        }
    }

    // Appends the replacement text with $1..$99, $&, $`, $' and $$ expanded.
    static void substitute(std::string& out, const std::string& with, const std::string& subject, const PCRE2_SIZE* ov,
                           int pairs) {
        const int groups = pairs - 1;
        auto group = [&](int g) {
            if (ov[2 * g] != PCRE2_UNSET) out.append(subject, ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
        };
        for (std::size_t i = 0; i < with.size(); ++i) {
            const char c = with[i];
            if (c != '$' || i + 1 >= with.size()) {
                out += c;
                continue;
            }
            const char n = with[i + 1];
            if (n == '$') {
                out += '$';
                ++i;
            } else if (n == '&') {
                group(0);
                ++i;
            } else if (n == '`') {
                out.append(subject, 0, ov[0]);
                ++i;
            } else if (n == '\'') {
                out.append(subject, ov[1]);
                ++i;
            } else if (n >= '0' && n <= '9') {
                const int one = n - '0';
                const bool hasTwo = i + 2 < with.size() && with[i + 2] >= '0' && with[i + 2] <= '9';
                const int two = hasTwo ? one * 10 + (with[i + 2] - '0') : -1;
                if (hasTwo && two >= 1 && two <= groups) {
                    group(two);
                    i += 2;
                } else if (one >= 1 && one <= groups) {
                    group(one);
                    ++i;
                } else {
                    out += c;  // not a group of this pattern: the text stays as written
                }
            } else {
                out += c;
            }
        }
    }

    std::string pattern_;
    bool ignoreCase_ = false;
    bool global_ = false;
    bool multiline_ = false;
    std::unique_ptr<pcre2_code, CodeDeleter> code_;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData_;
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> context_;
};

}  // namespace

com::ComPtr<com::Object> makeRegExp() { return com::make<RegExp>(); }
const com::TypeInfo& regExpTypeInfo() { return RegExp::members(); }

}  // namespace orvan::vbs
