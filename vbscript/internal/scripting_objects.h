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

// The engine's short way to a dictionary's default member (Item), the same call the member table
// makes without the table's look-up and argument copies. When obj is a Scripting.Dictionary:
// readDictionaryItem gives the item of key in out (adding the key, Empty, when it is not there) and
// writeDictionaryItem stores item under key (Let and Set alike, taking both); both then return true.
// For any other object they do nothing (key and item stay as they were) and return false. Errors
// as the members' (an array key: Type mismatch).
bool readDictionaryItem(com::Object& obj, const com::Variant& key, com::Variant& out);
bool writeDictionaryItem(com::Object& obj, com::Variant&& key, com::Variant&& item);

// A new VBScript.RegExp: empty pattern, IgnoreCase, Global and Multiline all False.
com::ComPtr<com::Object> makeRegExp();
const com::TypeInfo& regExpTypeInfo();

}  // namespace orvan::vbs
