// The scripting classes the library makes creatable by ProgID: Scripting.Dictionary and
// VBScript.RegExp. Each is reached only through its member table (late binding), so only the
// factories and the tables are published.
#pragma once

#include "com_server/dispatch.h"
#include "com_server/object.h"

namespace orvan::vbs {

// A new, empty Scripting.Dictionary (binary comparison).
com::ComPtr<com::Object> makeDictionary();
const com::TypeInfo& dictionaryTypeInfo();

// A new VBScript.RegExp: empty pattern, IgnoreCase, Global and Multiline all False.
com::ComPtr<com::Object> makeRegExp();
const com::TypeInfo& regExpTypeInfo();

}  // namespace orvan::vbs
