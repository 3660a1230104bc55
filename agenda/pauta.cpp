// Pauta: object frame, published members and the universal date text.
#include "agenda/pauta.h"

#include "com_server/conversions.h"

namespace orvan::agenda {

using com::ComPtr;
using com::Variant;

namespace {

std::string twoDigits(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

// Members whose behaviour arrives with the agenda services; until then they say so plainly.
[[noreturn]] void notAvailable(const char* member) {
    throw com::ComError(static_cast<std::int32_t>(0x80004001u),
                        std::string("Orvan_Geral.Pauta.") + member + " is not available in this build",
                        "Orvan_Geral.Pauta");
}

}  // namespace

Pauta::Pauta() : Comum(com::make<data::Comum>()) {}

Pauta::~Pauta() {
    if (Comum) Comum = nullptr;
}

Variant Pauta::Tarefa_Atualiza(std::int32_t&, std::int32_t&, Variant&, Variant&, Variant&) {
    notAvailable("Tarefa_Atualiza");
}
Variant Pauta::Dicas_Incluir(std::int16_t&, std::string&) { notAvailable("Dicas_Incluir"); }
Variant Pauta::Tarefa_Redirecionar(std::int32_t&, std::string&) { notAvailable("Tarefa_Redirecionar"); }
Variant Pauta::Criar_Nova_Tarefa(std::int32_t, std::int32_t) { notAvailable("Criar_Nova_Tarefa"); }
Variant Pauta::Atualiza_Dados_Tarefa(std::int32_t, std::string, std::int32_t, Variant, Variant) {
    notAvailable("Atualiza_Dados_Tarefa");
}
Variant Pauta::Cadastrar_Horas(std::int32_t&, Variant&, std::int32_t&, std::int32_t&, std::int32_t&, Variant&,
                               Variant&, Variant&, Variant&, std::string&, std::int32_t&, Variant&) {
    notAvailable("Cadastrar_Horas");
}
Variant Pauta::Excluir_Horas(std::int32_t&) { notAvailable("Excluir_Horas"); }

std::string Pauta::DataHoraUniversal(std::string& sData) {
    const com::Regional& r = com::currentRegional();
    std::string rewritten = com::formatGeneralDate(com::CDate(Variant(sData)), r);
    // Date and time are read back from the rewritten text, so what the result shows is exactly what
    // the general date format kept (seconds as far as the long time shows them).
    const com::DateParts p = com::splitDate(com::CDate(Variant(rewritten)));
    sData = std::move(rewritten);
    return std::to_string(p.year) + "-" + twoDigits(p.month) + "-" + twoDigits(p.day) + " " + twoDigits(p.hour) +
           ":" + twoDigits(p.minute) + ":" + twoDigits(p.second);
}

const com::TypeInfo& Pauta::members() {
    using com::method;
    using com::Param;
    static const com::TypeInfo info = [] {
        com::TypeInfo t{"Pauta", kInterfaceName, {}};
        for (auto& m : com::storedProperty<&Pauta::Comum>("Comum", 0x40030005)) t.members.push_back(std::move(m));
        for (auto& m : std::vector<com::MemberInfo>{
                 method<&Pauta::Usar_Application>("Usar_Application", 0x60030002),
                 method<&Pauta::Usar_Response>("Usar_Response", 0x60030003),
                 method<&Pauta::Usar_Session>("Usar_Session", 0x60030004),
                 method<&Pauta::Usar_Server>("Usar_Server", 0x60030005),
                 method<&Pauta::Usar_Request>("Usar_Request", 0x60030006),
                 method<&Pauta::Tarefa_Atualiza>("Tarefa_Atualiza", 0x60030007,
                                                 {"OidTarefa", "Usuario", "Data_ini", "Data_ter", "Observacao"}),
                 method<&Pauta::Dicas_Incluir>("Dicas_Incluir", 0x60030008, {"Ordem", "Texto"}),
                 method<&Pauta::Tarefa_Redirecionar>("Tarefa_Redirecionar", 0x60030009, {"OidTarefa", "StrUsuarios"}),
                 method<&Pauta::Criar_Nova_Tarefa>("Criar_Nova_Tarefa", 0x6003000A, {"OidTarefaBase", "Usuario"}),
                 method<&Pauta::Atualiza_Dados_Tarefa>(
                     "Atualiza_Dados_Tarefa", 0x6003000B,
                     {"OidTarefa", "Especificacao", "Departamento", "DataIniPrevisto", "DataFimPrevisto"}),
                 method<&Pauta::Cadastrar_Horas>(
                     "Cadastrar_Horas", 0x6003000C,
                     {"pOID", "RITEM", "RPESSOA", "RDEPARTAMENTO", "RFUNCIONARIO", "Data", "HORASTRABALHADAS", "INICIO",
                      "TERMINO", "Observacao", "Extra", Param("RTAREFA", Variant(std::int16_t{7}))}),
                 method<&Pauta::Excluir_Horas>("Excluir_Horas", 0x6003000D, {"pOID"}),
                 method<&Pauta::DataHoraUniversal>("DataHoraUniversal", 0x6003000E, {"sData"})})
            t.members.push_back(std::move(m));
        return t;
    }();
    return info;
}

com::ClassDescriptor Pauta::descriptor() {
    return {"Pauta", kProgId, "{3F6B2C10-8E4D-4A71-B5C2-9D0E7A41C203}",
            [] { return ComPtr<com::Object>(com::make<Pauta>()); }, &Pauta::members};
}

}  // namespace orvan::agenda
