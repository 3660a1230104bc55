// Geral: object frame, published members and the server clock.
#include "session_services/geral.h"

#include "com_server/conversions.h"
#include "com_server/event_log.h"
#include "data_access/domain_codes.h"
#include "session_services/password.h"

namespace orvan::session {

using com::ComPtr;
using com::Variant;
namespace ado = data::ado;
namespace codes = data::codes;

namespace {

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return std::string(s.substr(b, e - b));
}

}  // namespace

Geral::Geral() : Comum(com::make<data::Comum>()) {}

Geral::~Geral() {
    if (Comum) Comum = nullptr;
}

Variant Geral::fObterValorParametro(Variant& pNomeInterno, std::int32_t& pOidItem, std::string& ptipo) {
    pNomeInterno = com::UCase(pNomeInterno);
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    auto recordset = com::make<ado::Recordset>();
    auto command = com::make<ado::Command>();
    const std::string nome = data::doubleApostrophes(com::CStr(pNomeInterno));
    command->put_CommandText(
        "SELECT * FROM aditivo WHERE rdefinicao = "
        "(SELECT oid FROM dadoadicional WHERE rtipo = "
        "(SELECT oid FROM categoria WHERE nomeinterno = '" +
        nome + "')) AND ritem = " + std::to_string(pOidItem));
    command->putref_ActiveConnection(comum->conex);
    recordset->Open(Variant(command), Variant::missing(), ado::adOpenForwardOnly, ado::adLockReadOnly,
                    ado::adOptionUnspecified);
    if (recordset->get_EOF()) {
        recordset->Close();
        command->put_CommandText(
            "SELECT * FROM aditivo WHERE rdefinicao = (SELECT oid FROM dadoadicional WHERE "
            "rtipo = (SELECT oid FROM categoria WHERE nomeinterno = '" +
            nome + "')) and ritem = 1");
        recordset->Open(Variant(command), Variant::missing(), ado::adOpenForwardOnly, ado::adLockReadOnly,
                        ado::adOptionUnspecified);
    }
    Variant result = Variant("");
    if (!recordset->get_EOF()) {
        Variant value = data::fieldValue(*recordset, ptipo == "D" ? "DTvalor" : "svalor");
        result = value.isNull() ? Variant::null() : Variant(trim(com::CStr(value)));
    }
    recordset->Close();
    return result;
}

ComPtr<ado::Recordset> Geral::fObterRotuloCpo(std::int32_t& rAplicativo) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    bool failed = false;
    ComPtr<ado::Recordset> result = data::trapFailures(
        *comum, "Orvan_Geral.Geral.fObterRotuloCpo", "",
        [&] {
            comum->cmd = com::make<ado::Command>();
            auto recordset = com::make<ado::Recordset>();
            comum->cmd->putref_ActiveConnection(comum->conex);
            comum->cmd->put_CommandType(ado::adCmdText);
            comum->cmd->put_CommandText("SELECT controle, valor FROM rotulo WHERE raplicativo = " +
                                        std::to_string(rAplicativo));
            recordset->put_CursorLocation(ado::adUseClient);
            recordset->Open(Variant(comum->cmd), Variant::missing(), ado::adOpenForwardOnly,
                            ado::adLockReadOnly, ado::adOptionUnspecified);
            comum->cmd = nullptr;
            return recordset;
        },
        [&](const data::Failure&) {
            failed = true;
            return ComPtr<ado::Recordset>();
        });
    if (failed) {
        // The page cannot go on without its labels: after the report, the response ends here.
        Usar_Response();
        host_.oResponse->End();
    }
    return result;
}

Variant Geral::Login(std::string& sLogin, std::string& Senha, std::string& Estacao) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string statement;
    return data::trapFailures(
        *comum, "Orvan_Geral.Geral.Login", "",
        [&]() -> Variant {
            comum->cmd = com::make<ado::Command>();
            comum->rs = com::make<ado::Recordset>();
            comum->rs2 = com::make<ado::Recordset>();
            sLogin = com::UCase(std::string_view(sLogin));
            Senha = Codificar_Texto(sLogin + Senha, 17);
            statement =
                "select a.ritem rFuncionario, a.nitem Funcionario, a.rpapel rCargo, a.npapel Cargo, "
                "a.rpapel rDepartamento, a.ngrupo Departamento, u.oid  CodigoUsuario, u.nome LoginUsuário, "
                "u.Senha SenhaUsuário From agrupamento_v a, comunicacao c, funcionario_r fu, usuario_v u "
                "Where "
                "fu.oid = c.ritem and c.rendereco = u.oid and a.ritem = fu.oid and c.rtipo = 1121 and u.nome "
                "= '" +
                data::doubleApostrophes(sLogin) + "' and u.senha = '" + Senha + "'";
            comum->cmd->put_CommandText(statement);
            comum->cmd->put_CommandType(ado::adCmdText);
            comum->cmd->putref_ActiveConnection(comum->conex);
            comum->rs->Open(Variant(comum->cmd), Variant::missing(), ado::adOpenStatic, ado::adLockReadOnly,
                            ado::adOptionUnspecified);
            Variant result;
            if (comum->rs->get_EOF()) {
                result = Variant("Usuário ou senha inválidos!");
            } else {
                std::vector<Variant> record(11);
                ado::Recordset& row = *comum->rs;
                record[0] = data::fieldValue(row, "rFuncionario");
                record[1] = data::fieldValue(row, "Funcionario");
                record[2] = Variant("");
                record[3] = data::fieldValue(row, "CodigoUsuario");
                record[4] = data::fieldValue(row, "rDepartamento");
                record[5] = data::fieldValue(row, "Departamento");
                record[9] = Variant("");
                record[10] = agora();
                std::int32_t rUsuario = com::CLng(record[3]);
                const std::int32_t session = Iniciar_Sessao_Uso(rUsuario, Estacao);
                if (session == 0) throw com::ComError(1002, LastError, "Orvan_Geral.Geral");
                record[8] = Variant(session);
                result = Variant::array(std::move(record));
            }
            comum->rs->Close();
            comum->rs = nullptr;
            comum->cmd = nullptr;
            return result;
        },
        [&](const data::Failure& f) {
            com::logEvent(data::kFailureLineType, f.text() + "Sql: " + statement);
            return Variant(f.text());
        });
}

std::int32_t Geral::Iniciar_Sessao_Uso(std::int32_t& rUsuario, std::string& Estacao) {
    LastError = "";
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    return data::trapFailures(
        *comum, "Orvan_Geral.Geral.Iniciar_Sessao_Uso", "",
        [&] {
            comum->cmd = com::make<ado::Command>();
            auto lookup = com::make<ado::Recordset>();
            auto writer = com::make<ado::Recordset>();
            const std::string estacao = data::doubleApostrophes(Estacao);
            comum->cmd->putref_ActiveConnection(comum->conex);
            comum->cmd->put_CommandType(ado::adCmdText);
            comum->cmd->put_CommandText(
                "SELECT SU.OID OIDSESSAODEUSO FROM SESSAODEUSO SU, SESSAOAPLICATIVO SA WHERE SU.OID = "
                "SA.RSESSAODEUSO AND SU.OID > " + codes::codeText(codes::kNoneOid) +
                " AND SU.SITUACAO = 1 AND SU.TERMINO IS NULL AND SA.ESTACAO = '" + estacao +
                "' AND SA.RAPLICATIVO != " + codes::codeText(codes::kApplication) +
                " AND SU.OID NOT IN (SELECT RSESSAODEUSO FROM SESSAOAPLICATIVO A WHERE A.ESTACAO = '" + estacao +
                "' AND A.RAPLICATIVO = " + codes::codeText(codes::kApplication) + " AND A.TERMINO IS NULL)");
            lookup->Open(Variant(comum->cmd), Variant::missing(), ado::adOpenForwardOnly,
                         ado::adLockOptimistic, ado::adOptionUnspecified);
            Variant usage;
            if (lookup->get_EOF()) {
                const std::int32_t oid = data::newOid(*comum);
                comum->cmd->put_CommandType(ado::adCmdTable);
                comum->cmd->put_CommandText("sessaodeuso");
                writer->Open(Variant(comum->cmd), Variant::missing(), ado::adOpenDynamic,
                             ado::adLockOptimistic, ado::adOptionUnspecified);
                writer->AddNew();
                data::setField(*writer, "TERMINO", Variant::null());
                data::setField(*writer, "INICIO", agora());
                data::setField(*writer, "SITUACAO", Variant(std::int16_t{1}));
                data::setField(*writer, "OID", Variant(oid));
                writer->Update();
                writer->Close();
                usage = Variant(oid);
            } else {
                usage = data::fieldValue(*lookup, "OIDSESSAODEUSO");
            }
            const std::int32_t oidApp = data::newOid(*comum);
            comum->cmd->put_CommandType(ado::adCmdTable);
            comum->cmd->put_CommandText("sessaoaplicativo");
            writer->Open(Variant(comum->cmd), Variant::missing(), ado::adOpenDynamic, ado::adLockOptimistic,
                         ado::adOptionUnspecified);
            writer->AddNew();
            data::setField(*writer, "RSESSAODEUSO", usage);
            data::setField(*writer, "rAplicativo", Variant(codes::kApplication));
            data::setField(*writer, "RUSUARIO", Variant(rUsuario));
            data::setField(*writer, "ESTACAO", Variant(Estacao));
            data::setField(*writer, "EXECUTAVEL", Variant("OrvanWeb"));
            data::setField(*writer, "INICIO", agora());
            data::setField(*writer, "TERMINO", Variant::null());
            data::setField(*writer, "OID", Variant(oidApp));
            writer->Update();
            writer->Close();
            lookup->Close();
            comum->cmd = nullptr;
            return oidApp;
        },
        [&](const data::Failure& f) {
            LastError = f.text();
            return std::int32_t{0};
        });
}

bool Geral::Finalizar_Sessao_Uso(std::int32_t& OIDSessaoApp, std::int16_t& Motivo) {
    LastError = "";
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    return data::trapFailures(
        *comum, "Orvan_Geral.Geral.Finalizar_Sessao_Uso", "",
        [&] {
            comum->cmd = com::make<ado::Command>();
            auto application = com::make<ado::Recordset>();
            auto usage = com::make<ado::Recordset>();
            comum->cmd->putref_ActiveConnection(comum->conex);
            comum->cmd->put_CommandType(ado::adCmdText);
            comum->cmd->put_CommandText("SELECT * FROM sessaoaplicativo WHERE TERMINO IS NULL AND OID = " +
                                        std::to_string(OIDSessaoApp));
            application->Open(Variant(comum->cmd), Variant::missing(), ado::adOpenDynamic,
                              ado::adLockOptimistic, ado::adOptionUnspecified);
            if (!application->get_EOF()) data::setField(*application, "TERMINO", agora());
            application->Update();
            const Variant rSessaoDeUso = data::fieldValue(*application, "RSESSAODEUSO");
            if (com::CDbl(rSessaoDeUso) > codes::kNoneOid) {
                comum->cmd->put_CommandText("SELECT * FROM sessaodeuso WHERE oid = " +
                                            com::CStr(rSessaoDeUso) + " AND TERMINO IS NULL");
                usage->Open(Variant(comum->cmd), Variant::missing(), ado::adOpenDynamic,
                            ado::adLockOptimistic, ado::adOptionUnspecified);
                if (!usage->get_EOF()) {
                    data::setField(*usage, "TERMINO", agora());
                    data::setField(*usage, "SITUACAO", Variant(Motivo));
                }
                // With the usage session already closed there is nothing pending, and the save writes
                // nothing.
                usage->Update();
                usage->Close();
            }
            application->Close();
            comum->cmd = nullptr;
            return true;
        },
        [&](const data::Failure& f) {
            LastError = f.text();
            return false;
        });
}

Variant Geral::agora() {
    return Variant::date(com::CDate(Variant(DataHoraAgora())));
}

std::string Geral::DataHoraAgora() {
    const double now = com::now();
    const com::DateParts d = com::splitDate(now);
    return com::formatYearFirstDate(d) + " " + com::formatLongTime(now, com::currentRegional());
}

const com::TypeInfo& Geral::members() {
    using com::method;
    using com::Param;
    static const com::TypeInfo info = [] {
        com::TypeInfo t{"Geral", kInterfaceName, {}};
        for (auto& m : com::storedProperty<&Geral::Comum>("Comum", 0x40030005))
            t.members.push_back(std::move(m));
        for (auto& m : com::storedProperty<&Geral::LastError>("LastError", 0x40030006))
            t.members.push_back(std::move(m));
        for (auto& m : usarMembers(0x60030002)) t.members.push_back(std::move(m));
        for (auto& m : std::vector<com::MemberInfo>{
                 method<&Geral::fObterValorParametro>(
                     "fObterValorParametro", 0x60030007,
                     {"pNomeInterno", Param("pOidItem", Variant(std::int32_t{1})),
                      Param("ptipo", Variant("S"))}),
                 method<&Geral::fObterRotuloCpo>("fObterRotuloCpo", 0x60030008, {"rAplicativo"}),
                 method<&Geral::Login>("Login", 0x60030009, {"sLogin", "Senha", "Estacao"}),
                 method<&Geral::Iniciar_Sessao_Uso>("Iniciar_Sessao_Uso", 0x6003000A,
                                                    {"rUsuario", "Estacao"}),
                 method<&Geral::Finalizar_Sessao_Uso>(
                     "Finalizar_Sessao_Uso", 0x6003000B,
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
