// JScript accepts an assignment to a call on an automation object, `Session("k") = v` or
// `Response.Cookies("c") = v` (a put of the default or named member with arguments); ECMAScript does
// not. The compiler rewrites such assignments into assignments to a property whose key the bridge
// makes from the member name and the arguments, so the object's set trap performs the put:
//     Session("k") = v                 ->  Session[__orvan_key("", ["k"])] = v
//     Response.Cookies("c") = v        ->  Response[__orvan_key("Cookies", ["c"])] = v
// Compound assignments (+= ...) and postfix ++/-- are rewritten the same way.
#pragma once

#include <string>

namespace orvan::host::detail {

// The global function the rewritten code calls; defined by the bridge.
inline constexpr const char* kKeyFunction = "__orvan_key";

// The script with every assignment to a call rewritten. Everything else, line breaks included, is
// left as written, so line numbers do not move.
std::string rewriteCallAssignments(const std::string& script);

}  // namespace orvan::host::detail
