// Geral: object frame, published members and the server clock.
#include "session_services/geral.h"

#include "com_server/conversions.h"

namespace orvan::session {

using com::ComPtr;
using com::Variant;

namespace {

std::string twoDigits(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

// Members whose behaviour arrives with the session services; until then they say so plainly.
[[noreturn]] void notAvailable(const char* member) {
    throw com::ComError(static_cast<std::int32_t>(0x80004001u),
                        std::string("Orvan_Geral.Geral.") + member + " is not available in this build",
                        "Orvan_Geral.Geral");
}

}  // namespace

Geral::Geral() : Comum(com::make<data::Comum>()) {}

Geral::~Geral() {
    if (Comum) Comum = nullptr;
}

Variant Geral::fObterValorParametro(Variant&, std::int32_t&, std::string&) { notAvailable("fObterValorParametro"); }
ComPtr<data::ado::Recordset> Geral::fObterRotuloCpo(std::int32_t&) { notAvailable("fObterRotuloCpo"); }
Variant Geral::Login(std::string&, std::string&, std::string&) { notAvailable("Login"); }
std::int32_t Geral::Iniciar_Sessao_Uso(std::int32_t&, std::string&) { notAvailable("Iniciar_Sessao_Uso"); }
bool Geral::Finalizar_Sessao_Uso(std::int32_t&, std::int16_t&) { notAvailable("Finalizar_Sessao_Uso"); }

std::string Geral::DataHoraAgora() {
    const double now = com::now();
    const com::DateParts d = com::splitDate(now);
    return std::to_string(d.year) + "-" + twoDigits(d.month) + "-" + twoDigits(d.day) + " " +
           com::formatLongTime(now, com::currentRegional());
}

const com::TypeInfo& Geral::members() {
    using com::method;
    using com::Param;
    static const com::TypeInfo info = [] {
        com::TypeInfo t{"Geral", kInterfaceName, {}};
        for (auto& m : com::storedProperty<&Geral::Comum>("Comum", 0x40030005)) t.members.push_back(std::move(m));
        for (auto& m : com::storedProperty<&Geral::LastError>("LastError", 0x40030006))
            t.members.push_back(std::move(m));
        for (auto& m : std::vector<com::MemberInfo>{
                 method<&Geral::Usar_Application>("Usar_Application", 0x60030002),
                 method<&Geral::Usar_Response>("Usar_Response", 0x60030003),
                 method<&Geral::Usar_Session>("Usar_Session", 0x60030004),
                 method<&Geral::Usar_Server>("Usar_Server", 0x60030005),
                 method<&Geral::Usar_Request>("Usar_Request", 0x60030006),
                 method<&Geral::fObterValorParametro>(
                     "fObterValorParametro", 0x60030007,
                     {"pNomeInterno", Param("pOidItem", Variant(std::int32_t{1})), Param("ptipo", Variant("S"))}),
                 method<&Geral::fObterRotuloCpo>("fObterRotuloCpo", 0x60030008, {"rAplicativo"}),
                 method<&Geral::Login>("Login", 0x60030009, {"sLogin", "Senha", "Estacao"}),
                 method<&Geral::Iniciar_Sessao_Uso>("Iniciar_Sessao_Uso", 0x6003000A, {"rUsuario", "Estacao"}),
                 method<&Geral::Finalizar_Sessao_Uso>("Finalizar_Sessao_Uso", 0x6003000B,
                                                      {"OIDSessaoApp", Param("Motivo", Variant(std::int16_t{2}))}),
                 method<&Geral::DataHoraAgora>("DataHoraAgora", 0x6003000C)})
            t.members.push_back(std::move(m));
        return t;
    }();
    return info;
}

com::ClassDescriptor Geral::descriptor() {
    return {"Geral", kProgId, "{3F6B2C10-8E4D-4A71-B5C2-9D0E7A41C202}",
            [] { return ComPtr<com::Object>(com::make<Geral>()); }, &Geral::members};
}

}  // namespace orvan::session
