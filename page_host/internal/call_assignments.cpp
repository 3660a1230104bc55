// Rewriting of assignments to calls. A small ECMAScript 5 scanner finds the tokens (skipping strings,
// comments and regular expression literals), pairs the parentheses, and rewrites each call whose
// closing parenthesis is followed by an assignment operator or a postfix ++/--.
#include "page_host/internal/call_assignments.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

namespace orvan::host::detail {
namespace {

enum class Tok { Identifier, Number, String, Regex, Punct };

struct Token {
    Tok kind;
    std::size_t begin, end;
    bool newlineBefore;  // a line break separates it from the previous token
};

bool isIdentStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == '$' || c >= 0x80 || c == '\\';
}
bool isIdentPart(unsigned char c) {
    return isIdentStart(c) || std::isdigit(c);
}

constexpr std::array<std::string_view, 29> kKeywords = {
    "break", "case",     "catch", "continue", "debugger",   "default", "delete", "do",     "else", "finally",
    "for",   "function", "if",    "in",       "instanceof", "new",     "return", "switch", "this", "throw",
    "try",   "typeof",   "var",   "void",     "while",      "with",    "null",   "true",   "false"};

bool isKeyword(std::string_view word) {
    return std::find(kKeywords.begin(), kKeywords.end(), word) != kKeywords.end();
}

// Punctuators, longest first so that the first match is the longest.
constexpr std::array<std::string_view, 46> kPunct = {
    ">>>=", "===", "!==", ">>>", "<<=", ">>=", "==", "!=", "<=", ">=", "&&", "||", "++", "--", "+=", "-=",
    "*=",   "/=",  "%=",  "&=",  "|=",  "^=",  "<<", ">>", "{",  "}",  "(",  ")",  "[",  "]",  ".",  ";",
    ",",    "<",   ">",   "+",   "-",   "*",   "%",  "&",  "|",  "^",  "!",  "~",  "?",  ":"};

constexpr std::array<std::string_view, 12> kAssignOps = {
    "=", "+=", "-=", "*=", "/=", "%=", "<<=", ">>=", ">>>=", "&=", "|=", "^="};

class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}

    std::vector<Token> scan() {
        std::vector<Token> out;
        bool newline = false;
        while (pos_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '\n' || c == '\r') {
                newline = true;
                ++pos_;
            } else if (std::isspace(c)) {
                ++pos_;
            } else if (c == '/' && peek(1) == '/') {
                while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
            } else if (c == '/' && peek(1) == '*') {
                const std::size_t close = s_.find("*/", pos_ + 2);
                const std::size_t stop = close == std::string_view::npos ? s_.size() : close + 2;
                if (s_.substr(pos_, stop - pos_).find('\n') != std::string_view::npos) newline = true;
                pos_ = stop;
            } else {
                const std::size_t begin = pos_;
                const Tok kind = token(out);
                out.push_back(Token{kind, begin, pos_, newline});
                newline = false;
            }
        }
        return out;
    }

private:
    char peek(std::size_t ahead) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }

    // A '/' starts a regular expression where an expression may begin: at the start, after most
    // punctuators and after keywords such as return; after a name, a number, a literal, ')' or ']'
    // it divides.
    bool regexAllowed(const std::vector<Token>& before) const {
        if (before.empty()) return true;
        const Token& t = before.back();
        const std::string_view text = s_.substr(t.begin, t.end - t.begin);
        switch (t.kind) {
            case Tok::Number:
            case Tok::String:
            case Tok::Regex:
                return false;
            case Tok::Identifier:
                return isKeyword(text) && text != "this" && text != "null" && text != "true" &&
                       text != "false";
            case Tok::Punct:
                return text != ")" && text != "]";
        }
        return true;
    }

    Tok token(const std::vector<Token>& before) {
        const unsigned char c = static_cast<unsigned char>(s_[pos_]);
        if (c == '"' || c == '\'') {
            ++pos_;
            while (pos_ < s_.size() && s_[pos_] != static_cast<char>(c) && s_[pos_] != '\n') {
                if (s_[pos_] == '\\') ++pos_;
                ++pos_;
            }
            if (pos_ < s_.size() && s_[pos_] == static_cast<char>(c)) ++pos_;
            return Tok::String;
        }
        if (std::isdigit(c) || (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
            while (pos_ < s_.size()) {
                const unsigned char d = static_cast<unsigned char>(s_[pos_]);
                if (std::isalnum(d) || d == '.') {
                    ++pos_;
                } else if ((d == '+' || d == '-') && (s_[pos_ - 1] == 'e' || s_[pos_ - 1] == 'E')) {
                    ++pos_;
                } else {
                    break;
                }
            }
            return Tok::Number;
        }
        if (isIdentStart(c)) {
            while (pos_ < s_.size() && isIdentPart(static_cast<unsigned char>(s_[pos_]))) ++pos_;
            return Tok::Identifier;
        }
        if (c == '/' && regexAllowed(before)) {
            bool inClass = false;
            ++pos_;
            while (pos_ < s_.size() && s_[pos_] != '\n') {
                const char d = s_[pos_];
                if (d == '\\') {
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                if (d == '[')
                    inClass = true;
                else if (d == ']')
                    inClass = false;
                else if (d == '/' && !inClass)
                    break;
            }
            while (pos_ < s_.size() && isIdentPart(static_cast<unsigned char>(s_[pos_]))) ++pos_;
            return Tok::Regex;
        }
        for (std::string_view p : kPunct) {
            if (s_.substr(pos_, p.size()) == p) {
                pos_ += p.size();
                return Tok::Punct;
            }
        }
        if (c == '/') {
            pos_ += peek(1) == '=' ? 2 : 1;
            return Tok::Punct;
        }
        ++pos_;  // a character no token starts with: passed over as a punctuator of its own
        return Tok::Punct;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

struct Edit {
    std::size_t begin, end;
    std::string text;
};

}  // namespace

std::string rewriteCallAssignments(const std::string& script) {
    // Cheap exit for the common page that has no candidate at all.
    if (script.find(')') == std::string::npos) return script;

    const std::vector<Token> tokens = Scanner(script).scan();
    auto text = [&](const Token& t) { return std::string_view(script).substr(t.begin, t.end - t.begin); };
    auto isPunct = [&](std::size_t i, std::string_view p) {
        return i < tokens.size() && tokens[i].kind == Tok::Punct && text(tokens[i]) == p;
    };

    std::vector<Edit> edits;
    std::vector<std::size_t> open;  // indexes of unclosed '(' tokens
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (isPunct(i, "(")) {
            open.push_back(i);
            continue;
        }
        if (!isPunct(i, ")") || open.empty()) continue;
        const std::size_t o = open.back();
        open.pop_back();

        const std::size_t next = i + 1;
        if (next >= tokens.size() || tokens[next].kind != Tok::Punct) continue;
        const std::string_view op = text(tokens[next]);
        const bool assigns = std::find(kAssignOps.begin(), kAssignOps.end(), op) != kAssignOps.end();
        const bool steps = (op == "++" || op == "--") && !tokens[next].newlineBefore;
        if (!assigns && !steps) continue;
        if (o == 0) continue;

        // What is called: a name (a global such as Session), a member (obj.Name) or the result of
        // another call or subscript. A keyword before '(' (if, while, ...) means it is no call.
        const Token& callee = tokens[o - 1];
        const std::string_view calleeText = text(callee);
        const bool name = callee.kind == Tok::Identifier && !isKeyword(calleeText);
        const bool member = name && o >= 2 && isPunct(o - 2, ".");
        const bool callResult = callee.kind == Tok::Punct && (calleeText == ")" || calleeText == "]");
        if (!name && !callResult) continue;

        if (member) {
            const std::size_t begin = tokens[o - 2].begin;
            const std::size_t end = tokens[o].end;
            std::string replacement =
                "[" + std::string(kKeyFunction) + "(\"" + std::string(calleeText) + "\",[";
            // Keep the line breaks of the replaced span (obj.\n Name(...) is rare but legal).
            const auto span = std::string_view(script).substr(begin, end - begin);
            replacement.append(static_cast<std::size_t>(std::count(span.begin(), span.end(), '\n')), '\n');
            edits.push_back(Edit{begin, end, std::move(replacement)});
        } else {
            edits.push_back(
                Edit{tokens[o].begin, tokens[o].end, "[" + std::string(kKeyFunction) + "(\"\",["});
        }
        edits.push_back(Edit{tokens[i].begin, tokens[i].end, "])]"});
    }
    if (edits.empty()) return script;

    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::string out;
    out.reserve(script.size() + edits.size() * 24);
    std::size_t at = 0;
    for (const Edit& e : edits) {
        out.append(script, at, e.begin - at);
        out += e.text;
        at = e.end;
    }
    out.append(script, at, std::string::npos);
    return out;
}

}  // namespace orvan::host::detail
