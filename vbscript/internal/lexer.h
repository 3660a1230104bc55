// The VBScript lexer: source text to tokens with their 1-based line and column. Keywords are
// recognised case-insensitively; `_` line continuations and comments (' and Rem) are consumed here;
// a line end and `:` both end a statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "com_server/variant.h"

namespace orvan::vbs::detail {

enum class Tok : std::uint8_t {
    End,         // end of the source
    Newline,     // a line end, or `:` (text ":")
    Ident,       // a name (keywords too: `kw` says which)
    Number,      // value holds Integer, Long or Double
    String,
    Date,
    LParen, RParen, Comma, Dot, Eq, Ne, Lt, Le, Gt, Ge,
    Plus, Minus, Star, Slash, Backslash, Caret, Amp,
};

// The keywords the parser tests for; Kw::None for ordinary names.
enum class Kw : std::uint8_t {
    None, And, ByRef, ByVal, Call, Case, Class, Const, Default, Dim, Do, Each, Else, ElseIf, Empty, End,
    Eqv, Erase, Error, Exit, Explicit, False, For, Function, Get, GoTo, If, Imp, In, Is, Let, Loop, Me, Mod,
    New, Next, Not, Nothing, Null, On, Option, Or, Preserve, Private, Property, Public, ReDim, Resume, Select,
    Set, Step, Sub, Then, To, True, Until, Wend, While, With, Xor,
};

struct Token {
    Tok type = Tok::End;
    Kw kw = Kw::None;
    bool spaceBefore = false;  // blank between this token and the previous one on the line
    int line = 1;
    int column = 1;
    std::string text;          // the name as written (Ident), the text of a String literal
    com::Variant value;        // Number and Date literals
};

// Splits source into tokens, ending with one Tok::End. Throws CompileError for an unterminated string,
// an invalid character or number.
std::vector<Token> tokenize(std::string_view source);

// An upper-cased copy of an ASCII name (names are ASCII in VBScript).
std::string upperName(std::string_view name);

}  // namespace orvan::vbs::detail
