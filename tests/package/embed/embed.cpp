// An embedding program: the page's surroundings (an Application with the connection settings and a
// Response) as an object context, Orvan_Geral.Comum created by ProgID through a registry file, a query
// run with Executar and the rows read from its recordset, all by late-bound dispatch.
// Usage: embed REGISTRY-FILE SQLITE-FILE; prints "<version>" then one NOME a line; 1 on a failure.
#include <com_server/class_registry.h>
#include <com_server/conversions.h>
#include <com_server/dispatch.h>
#include <com_server/error.h>
#include <com_server/host.h>
#include <com_server/variant.h>
#include <com_server/version.h>

#include <cstdint>
#include <iostream>

int main(int argc, char** argv) {
    using namespace orvan::com;
    if (argc != 3) {
        std::cerr << "usage: embed REGISTRY-FILE SQLITE-FILE\n";
        return 2;
    }
    try {
        auto application = make<MemoryApplication>();
        application->SetValue("dataconn_ConnectionString",
                              Variant(std::string("Provider=SQLite;Data Source=") + argv[2]));
        application->SetValue("dataconn_ConnectionTimeout", Variant(std::int32_t{15}));
        application->SetValue("dataconn_CommandTimeout", Variant(std::int32_t{30}));
        auto response = make<MemoryResponse>();
        SimpleObjectContext context;
        context.set("Application", Variant(application));
        context.set("Response", Variant(response));
        ObjectContextScope scope(context);

        ClassRegistry::instance().setRegistryFile(argv[1]);
        ComPtr<Object> comum = ClassRegistry::instance().create("Orvan_Geral.Comum");
        const Variant result = call(*comum, "Executar", "SELECT NOME FROM usuario_v ORDER BY NOME");
        if (CStr(result) != "0") {
            std::cerr << "Executar: " << CStr(result) << "\n" << response->body() << "\n";
            return 1;
        }
        std::cout << ORVAN_VERSION << "\n";
        const Variant rs = getProperty(*comum, "rs");
        while (!CBool(invoke(rs, "EOF", kGet))) {
            Variant name[] = {Variant("NOME")};
            const Variant field = invoke(invoke(rs, "Fields", kGet), "Item", kGet | kMethod, name);
            std::cout << CStr(invoke(field, "Value", kGet)) << "\n";
            invoke(rs, "MoveNext", kMethod);
        }
    } catch (const ComError& e) {
        std::cerr << "embed: " << e.description() << " (" << e.number() << ")\n";
        return 1;
    }
    return 0;
}
