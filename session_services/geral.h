// Geral: the session and configuration services of the component (parameters, field labels, login,
// usage sessions, the server clock). It owns one Comum and reaches the database only through it.
#pragma once

#include <cstdint>
#include <string>

#include "com_server/class_registry.h"
#include "com_server/host.h"
#include "data_access/comum.h"

namespace orvan::session {

class Geral : public com::HostedObject {
public:
    static constexpr const char* kInterfaceName = "_Geral";
    static constexpr const char* kProgId = "Orvan_Geral.Geral";

    // Creates the object's own Comum (which opens its connections); fails when that creation fails.
    Geral();
    ~Geral() override;

    com::ComPtr<data::Comum> Comum;  // published: get, set by reference
    std::string LastError;           // published: get, let


    com::Variant fObterValorParametro(com::Variant& pNomeInterno, std::int32_t& pOidItem, std::string& ptipo);
    com::ComPtr<data::ado::Recordset> fObterRotuloCpo(std::int32_t& rAplicativo);
    com::Variant Login(std::string& sLogin, std::string& Senha, std::string& Estacao);
    std::int32_t Iniciar_Sessao_Uso(std::int32_t& rUsuario, std::string& Estacao);
    bool Finalizar_Sessao_Uso(std::int32_t& OIDSessaoApp, std::int16_t& Motivo);
    // The local date and time: year-MM-DD, a blank, the time in the regional long time format.
    std::string DataHoraAgora();

    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }
    static com::ClassDescriptor descriptor();

private:
    // The current date and time as stored in the session tables: DataHoraAgora read back as a date.
    com::Variant agora();

};

}  // namespace orvan::session
