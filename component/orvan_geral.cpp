// Orvan_Geral.so: the component library. It publishes the three classes with their fixed identifiers
// and the entry points a host uses: register / unregister in the registry file, hand out class
// factories, say whether objects are alive, and give its type library.
#include <dlfcn.h>

#include "agenda/pauta.h"
#include "com_server/class_registry.h"
#include "com_server/version.h"
#include "data_access/comum.h"
#include "session_services/geral.h"

namespace {

const orvan::com::LibraryDescriptor& library() {
    static const orvan::com::LibraryDescriptor lib{
        "Orvan_Geral",
        "{3F6B2C10-8E4D-4A71-B5C2-9D0E7A41C200}",
        ORVAN_TYPELIB_VERSION,
        ORVAN_FILE_VERSION,
        {orvan::data::Comum::descriptor(), orvan::session::Geral::descriptor(),
         orvan::agenda::Pauta::descriptor()}};
    return lib;
}

// The path this library was loaded from, as the registry records it.
std::string ownPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&library), &info) && info.dli_fname) return info.dli_fname;
    return {};
}

}  // namespace

// No exception crosses these entry points: each reports by its result.
extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
    try {
        return orvan::com::registerLibrary(library(), ownPath(), orvan::com::defaultRegistryFile());
    } catch (...) {
        return orvan::com::hr::SelfRegClass;
    }
}

extern "C" __attribute__((visibility("default"))) std::int32_t DllUnregisterServer() {
    try {
        return orvan::com::unregisterLibrary(library(), orvan::com::defaultRegistryFile());
    } catch (...) {
        return orvan::com::hr::SelfRegClass;
    }
}

extern "C" __attribute__((visibility("default"))) std::int32_t DllGetClassObject(const char* clsid,
                                                                                orvan::com::ClassFactory** out) {
    try {
        return orvan::com::getClassObject(library(), clsid, out);
    } catch (...) {
        return orvan::com::hr::Fail;
    }
}

extern "C" __attribute__((visibility("default"))) std::int32_t DllCanUnloadNow() {
    return orvan::com::ComponentObject::alive() == 0 ? orvan::com::hr::Ok : orvan::com::hr::False;
}

// The type library: the library's identity and its classes with their member tables.
extern "C" __attribute__((visibility("default"))) const orvan::com::LibraryDescriptor* DllGetTypeLib() {
    return &library();
}
