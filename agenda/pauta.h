// Pauta: the agenda and timesheet services (tasks from templates, progress, redirection, task data,
// timesheet entries, tips of the day) and the universal date text. It owns one Comum.
#pragma once

#include <cstdint>
#include <string>

#include "com_server/class_registry.h"
#include "com_server/host.h"
#include "data_access/comum.h"

namespace orvan::agenda {

class Pauta : public com::HostedObject {
public:
    static constexpr const char* kInterfaceName = "_Pauta";
    static constexpr const char* kProgId = "Orvan_Geral.Pauta";

    // Creates the object's own Comum; fails when that creation fails.
    Pauta();
    ~Pauta() override;

    com::ComPtr<data::Comum> Comum;  // published: get, put by reference


    com::Variant Tarefa_Atualiza(std::int32_t& OidTarefa, std::int32_t& Usuario, com::Variant& Data_ini,
                                 com::Variant& Data_ter, com::Variant& Observacao);
    com::Variant Dicas_Incluir(std::int16_t& Ordem, std::string& Texto);
    com::Variant Tarefa_Redirecionar(std::int32_t& OidTarefa, std::string& StrUsuarios);
    com::Variant Criar_Nova_Tarefa(std::int32_t OidTarefaBase, std::int32_t Usuario);
    com::Variant Atualiza_Dados_Tarefa(std::int32_t OidTarefa, std::string Especificacao, std::int32_t Departamento,
                                       com::Variant DataIniPrevisto, com::Variant DataFimPrevisto);
    com::Variant Cadastrar_Horas(std::int32_t& pOID, com::Variant& RITEM, std::int32_t& RPESSOA,
                                 std::int32_t& RDEPARTAMENTO, std::int32_t& RFUNCIONARIO, com::Variant& Data,
                                 com::Variant& HORASTRABALHADAS, com::Variant& INICIO, com::Variant& TERMINO,
                                 std::string& Observacao, std::int32_t& Extra, com::Variant& RTAREFA);
    com::Variant Excluir_Horas(std::int32_t& pOID);
    // The universal date text (yyyy-MM-dd HH:mm:ss) of a regional date text; sData is rewritten in the
    // general date format. Raises Type mismatch (13) for a text that is not a date, leaving sData as it was.
    std::string DataHoraUniversal(std::string& sData);

    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }
    static com::ClassDescriptor descriptor();

private:
    // Runs body with the failure path of the agenda methods: the method's own event-log line ("<n> -
    // <description>sql: <statement last built>"), the failure text as result, and the error report.
    template <typename Body>
    com::Variant trapped(data::Comum& comum, const char* routine, const std::string& statement, Body&& body);
    // "Now" as the agenda methods store it: the date helper's text through DataHoraUniversal, read as a
    // date. The helper is created on first use and lives for the calling method only.
    com::Variant agora(com::ComPtr<data::DateHelper>& helper);

};

}  // namespace orvan::agenda
