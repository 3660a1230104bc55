// The VBScript lexer.
#include "vbscript/internal/lexer.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "com_server/conversions.h"
#include "vbscript/engine.h"
#include "vbscript/internal/errors.h"

namespace orvan::vbs::detail {

std::string upperName(std::string_view name) {
    std::string u(name);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

namespace {

const std::unordered_map<std::string, Kw>& keywords() {
    static const std::unordered_map<std::string, Kw> map = {
        {"AND", Kw::And},         {"BYREF", Kw::ByRef},     {"BYVAL", Kw::ByVal},       {"CALL", Kw::Call},
        {"CASE", Kw::Case},       {"CLASS", Kw::Class},     {"CONST", Kw::Const},       {"DEFAULT", Kw::Default},
        {"DIM", Kw::Dim},         {"DO", Kw::Do},           {"EACH", Kw::Each},         {"ELSE", Kw::Else},
        {"ELSEIF", Kw::ElseIf},   {"EMPTY", Kw::Empty},     {"END", Kw::End},           {"EQV", Kw::Eqv},
        {"ERASE", Kw::Erase},     {"ERROR", Kw::Error},     {"EXIT", Kw::Exit},         {"EXPLICIT", Kw::Explicit},
        {"FALSE", Kw::False},     {"FOR", Kw::For},         {"FUNCTION", Kw::Function}, {"GET", Kw::Get},
        {"GOTO", Kw::GoTo},       {"IF", Kw::If},           {"IMP", Kw::Imp},           {"IN", Kw::In},
        {"IS", Kw::Is},           {"LET", Kw::Let},         {"LOOP", Kw::Loop},         {"ME", Kw::Me},
        {"MOD", Kw::Mod},         {"NEW", Kw::New},         {"NEXT", Kw::Next},         {"NOT", Kw::Not},
        {"NOTHING", Kw::Nothing}, {"NULL", Kw::Null},       {"ON", Kw::On},             {"OPTION", Kw::Option},
        {"OR", Kw::Or},           {"PRESERVE", Kw::Preserve}, {"PRIVATE", Kw::Private}, {"PROPERTY", Kw::Property},
        {"PUBLIC", Kw::Public},   {"REDIM", Kw::ReDim},     {"RESUME", Kw::Resume},     {"SELECT", Kw::Select},
        {"SET", Kw::Set},         {"STEP", Kw::Step},       {"SUB", Kw::Sub},           {"THEN", Kw::Then},
        {"TO", Kw::To},           {"TRUE", Kw::True},       {"UNTIL", Kw::Until},       {"WEND", Kw::Wend},
        {"WHILE", Kw::While},     {"WITH", Kw::With},       {"XOR", Kw::Xor},
    };
    return map;
}

bool isIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A whole number literal takes the narrowest of Integer, Long, Double that holds it.
com::Variant integerLiteral(double v) {
    if (v >= -32768 && v <= 32767) return com::Variant(static_cast<std::int16_t>(v));
    if (v >= -2147483648.0 && v <= 2147483647.0) return com::Variant(static_cast<std::int32_t>(v));
    return com::Variant(v);
}

class Lexer {
public:
    explicit Lexer(std::string_view s) : s_(s) {}

    std::vector<Token> run() {
        std::vector<Token> out;
        bool space = false;
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
                advance();
                space = true;
                continue;
            }
            if (c == '_' && continuationAhead()) {
                space = true;
                continue;
            }
            Token t;
            t.line = line_;
            t.column = column();
            t.spaceBefore = space;
            space = false;
            if (c == '\r' || c == '\n') {
                if (c == '\r' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '\n') advance();
                newline();
                t.type = Tok::Newline;
            } else if (c == ':') {
                advance();
                t.type = Tok::Newline;
                t.text = ":";
            } else if (c == '\'') {
                skipComment();
                continue;
            } else if (c == '"') {
                readString(t);
            } else if (c == '#') {
                readDate(t);
            } else if (isIdentStart(c)) {
                readName(t);
                if (t.kw == Kw::None && t.text.size() == 3 && upperName(t.text) == "REM" &&
                    (out.empty() || out.back().type != Tok::Dot)) {
                    skipComment();
                    continue;
                }
            } else if (c == '[') {
                const std::size_t close = s_.find(']', pos_);
                if (close == std::string_view::npos || s_.find('\n', pos_) < close) fail(1007, t);
                t.type = Tok::Ident;
                t.text = std::string(s_.substr(pos_ + 1, close - pos_ - 1));
                while (pos_ <= close) advance();
            } else if (isDigit(c) || (c == '.' && pos_ + 1 < s_.size() && isDigit(s_[pos_ + 1]) &&
                                      (out.empty() || !afterOperand(out.back()) || t.spaceBefore))) {
                readNumber(t);
            } else if (c == '&' && pos_ + 1 < s_.size() &&
                       (std::toupper(static_cast<unsigned char>(s_[pos_ + 1])) == 'H' ||
                        std::toupper(static_cast<unsigned char>(s_[pos_ + 1])) == 'O' || isDigit(s_[pos_ + 1])) &&
                       radixAhead()) {
                readRadix(t);
            } else {
                readPunct(t);
            }
            out.push_back(std::move(t));
        }
        Token end;
        end.line = line_;
        end.column = column();
        out.push_back(std::move(end));
        return out;
    }

private:
    [[noreturn]] void fail(std::int32_t number, const Token& at) { throw compileError(number, at.line, at.column); }

    void advance() { ++pos_; }
    void newline() {
        ++pos_;
        ++line_;
        lineStart_ = pos_;
    }
    int column() const { return static_cast<int>(pos_ - lineStart_) + 1; }

    // `.5` after a name or `)` is a member access, not a number.
    static bool afterOperand(const Token& t) {
        return t.type == Tok::Ident || t.type == Tok::RParen || t.type == Tok::Number || t.type == Tok::String;
    }

    // A `_` followed by blanks and a line end joins the next line to this one.
    bool continuationAhead() {
        std::size_t p = pos_ + 1;
        while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t')) ++p;
        if (p < s_.size() && s_[p] != '\r' && s_[p] != '\n') return false;
        pos_ = p;
        if (pos_ < s_.size()) {
            if (s_[pos_] == '\r' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '\n') ++pos_;
            newline();
        }
        return true;
    }

    void skipComment() {
        while (pos_ < s_.size() && s_[pos_] != '\r' && s_[pos_] != '\n') advance();
    }

    void readString(Token& t) {
        t.type = Tok::String;
        advance();
        for (;;) {
            if (pos_ >= s_.size() || s_[pos_] == '\r' || s_[pos_] == '\n') fail(1033, t);
            if (s_[pos_] == '"') {
                if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '"') {
                    t.text += '"';
                    pos_ += 2;
                    continue;
                }
                advance();
                return;
            }
            t.text += s_[pos_];
            advance();
        }
    }

    // #date# literals read in the language's own fixed form: month before day, as in the US.
    void readDate(Token& t) {
        const std::size_t close = s_.find('#', pos_ + 1);
        const std::size_t eol = s_.find_first_of("\r\n", pos_ + 1);
        if (close == std::string_view::npos || close > eol) fail(1032, t);
        const std::string text(s_.substr(pos_ + 1, close - pos_ - 1));
        auto serial = com::parseDate(text, com::Regional::enUS());
        if (!serial) fail(1002, t);
        t.type = Tok::Date;
        t.value = com::Variant::date(*serial);
        while (pos_ <= close) advance();
    }

    void readName(Token& t) {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && isIdentChar(s_[pos_])) advance();
        t.type = Tok::Ident;
        t.text = std::string(s_.substr(start, pos_ - start));
        if (t.text.size() > 255) fail(1030, t);
        auto it = keywords().find(upperName(t.text));
        if (it != keywords().end()) t.kw = it->second;
    }

    void readNumber(Token& t) {
        const std::size_t start = pos_;
        bool real = false;
        while (pos_ < s_.size() && isDigit(s_[pos_])) advance();
        if (pos_ < s_.size() && s_[pos_] == '.') {
            real = true;
            advance();
            while (pos_ < s_.size() && isDigit(s_[pos_])) advance();
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            std::size_t p = pos_ + 1;
            if (p < s_.size() && (s_[p] == '+' || s_[p] == '-')) ++p;
            if (p < s_.size() && isDigit(s_[p])) {
                real = true;
                pos_ = p;
                while (pos_ < s_.size() && isDigit(s_[pos_])) advance();
            }
        }
        const std::string text(s_.substr(start, pos_ - start));
        const double v = std::strtod(text.c_str(), nullptr);
        if (!std::isfinite(v)) fail(1031, t);
        t.type = Tok::Number;
        t.value = real ? com::Variant(v) : integerLiteral(v);
    }

    bool radixAhead() const {
        std::size_t p = pos_ + 1;
        const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[p])));
        if (k == 'H') return p + 1 < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[p + 1]));
        if (k == 'O') ++p;
        return p < s_.size() && s_[p] >= '0' && s_[p] <= '7';
    }

    // &Hxx and &Oxx: up to 16 bits is an Integer (so &HFFFF is -1), up to 32 bits a Long.
    void readRadix(Token& t) {
        advance();
        int base = 8;
        const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[pos_])));
        if (k == 'H' || k == 'O') {
            base = k == 'H' ? 16 : 8;
            advance();
        }
        std::uint64_t v = 0;
        bool any = false;
        while (pos_ < s_.size()) {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[pos_])));
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0 || d >= base) break;
            v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
            if (v > 0xFFFFFFFFull) fail(1031, t);
            any = true;
            advance();
        }
        if (!any) fail(1031, t);
        if (pos_ < s_.size() && s_[pos_] == '&') advance();  // the optional Long suffix
        t.type = Tok::Number;
        if (v <= 0xFFFF)
            t.value = com::Variant(static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
        else
            t.value = com::Variant(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    }

    void readPunct(Token& t) {
        const char c = s_[pos_];
        const char n = pos_ + 1 < s_.size() ? s_[pos_ + 1] : '\0';
        advance();
        switch (c) {
            case '(': t.type = Tok::LParen; return;
            case ')': t.type = Tok::RParen; return;
            case ',': t.type = Tok::Comma; return;
            case '.': t.type = Tok::Dot; return;
            case '=': t.type = Tok::Eq; return;
            case '+': t.type = Tok::Plus; return;
            case '-': t.type = Tok::Minus; return;
            case '*': t.type = Tok::Star; return;
            case '/': t.type = Tok::Slash; return;
            case '\\': t.type = Tok::Backslash; return;
            case '^': t.type = Tok::Caret; return;
            case '&': t.type = Tok::Amp; return;
            case '<':
                if (n == '>') { advance(); t.type = Tok::Ne; }
                else if (n == '=') { advance(); t.type = Tok::Le; }
                else t.type = Tok::Lt;
                return;
            case '>':
                if (n == '=') { advance(); t.type = Tok::Ge; }
                else t.type = Tok::Gt;
                return;
            default: fail(1032, t);
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::size_t lineStart_ = 0;
    int line_ = 1;
};

}  // namespace

std::vector<Token> tokenize(std::string_view source) { return Lexer(source).run(); }

}  // namespace orvan::vbs::detail
