// The ADO classes as built-in classes of the process, created by ProgID like any other.
#include "com_server/class_registry.h"
#include "data_access/ado/ado.h"

namespace orvan::data::ado {

namespace {

template <typename T>
com::ClassDescriptor describe(const char* name, const char* progId, const char* clsid) {
    return {name, progId, clsid, [] { return ComPtr<com::Object>(com::make<T>()); }, &T::members};
}

}  // namespace

void registerAdoClasses() {
    auto& registry = com::ClassRegistry::instance();
    // The class identifiers are ADO's own, so that printouts read as they did.
    registry.addBuiltin(
        describe<Connection>("Connection", "ADODB.Connection", "{00000514-0000-0010-8000-00AA006D2EA4}"));
    registry.addBuiltin(
        describe<Command>("Command", "ADODB.Command", "{00000507-0000-0010-8000-00AA006D2EA4}"));
    registry.addBuiltin(
        describe<Recordset>("Recordset", "ADODB.Recordset", "{00000535-0000-0010-8000-00AA006D2EA4}"));
    registry.addBuiltin(
        describe<Parameter>("Parameter", "ADODB.Parameter", "{0000050B-0000-0010-8000-00AA006D2EA4}"));
    registry.addBuiltin(describe<Stream>("Stream", "ADODB.Stream", "{00000566-0000-0010-8000-00AA006D2EA4}"));
}

}  // namespace orvan::data::ado
