// VBScript's operators on the runtime's Variant: arithmetic with the Integer -> Long -> Double
// promotion on overflow, Currency and Date arithmetic, concatenation, comparison of strings, numbers,
// Empty and Null, the bitwise and three-valued logical operators, and Null propagation. Objects take
// part through their default member. Errors are ComErrors with the runtime's numbers.
#pragma once

#include "com_server/variant.h"

namespace orvan::vbs::detail {

enum class BinOp : unsigned char {
    Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat,
    Eq, Ne, Lt, Le, Gt, Ge,
    And, Or, Xor, Eqv, Imp,
};

// a OP b. For comparisons, numericLiteral says that one side is a number written in the source: a
// text on the other side is then read as a number (as VBScript compares `s = 5`).
com::Variant binary(BinOp op, const com::Variant& a, const com::Variant& b, bool numericLiteral = false);
com::Variant negate(const com::Variant& a);
com::Variant logicalNot(const com::Variant& a);

// The value of a condition (If, While, Until): Null counts as False; other values as CBool.
bool truthy(const com::Variant& v);

// Whether two values are equal under `=` (Null never is); for Select Case.
bool caseMatches(const com::Variant& selector, const com::Variant& candidate, bool numericLiteral);

}  // namespace orvan::vbs::detail
