// Pauta: object frame, published members and the universal date text.
#include "agenda/pauta.h"

#include "com_server/conversions.h"
#include "com_server/event_log.h"
#include "data_access/domain_codes.h"

namespace orvan::agenda {

using com::ComPtr;
using com::Variant;
namespace ado = data::ado;
namespace codes = data::codes;

namespace {

// Opens rs on the command with the cursor and locking every agenda statement uses: dynamic, optimistic.
void openOn(ado::Recordset& rs, const ComPtr<ado::Command>& command) {
    rs.Open(Variant(command), Variant::missing(), ado::adOpenDynamic, ado::adLockOptimistic,
            ado::adOptionUnspecified);
}

// A list of user identifiers: decimal integers separated by ",", blanks allowed around each.
// Returns the elements as written; raises a clear error for an empty list or an element that is not
// an integer, before anything uses the list.
std::vector<std::string> userList(const std::string& list) {
    std::vector<std::string> elements;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        elements.push_back(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    for (const auto& e : elements) {
        std::size_t b = e.find_first_not_of(' '), last = e.find_last_not_of(' ');
        bool ok = b != std::string::npos;
        std::size_t digits = 0;
        for (std::size_t i = b; ok && i <= last; ++i) {
            const bool sign = i == b && (e[i] == '-' || e[i] == '+');
            if (!sign && (e[i] < '0' || e[i] > '9')) ok = false;
            if (!sign) ++digits;
        }
        if (ok && (digits == 0 || digits > 10 || std::stoll(e.substr(b, last - b + 1)) > 2147483647LL ||
                   std::stoll(e.substr(b, last - b + 1)) < -2147483648LL))
            ok = false;
        if (!ok)
            throw com::ComError(com::err::InvalidCall,
                                "Lista de usuários inválida: \"" + e +
                                    "\" não é um número de usuário (esperado, por exemplo, 12,15,40)",
                                "Orvan_Geral.Pauta");
    }
    return elements;
}

}  // namespace

Pauta::Pauta() : Comum(com::make<data::Comum>()) {}

Pauta::~Pauta() {
    if (Comum) Comum = nullptr;
}

template <typename Body>
Variant Pauta::trapped(data::Comum& comum, const char* routine, const std::string& statement, Body&& body) {
    return data::trapFailures(comum, routine, "", std::forward<Body>(body), [&](const data::Failure& f) {
        com::logEvent(data::kFailureLineType, f.text() + "sql: " + statement);
        return Variant(f.text());
    });
}

Variant Pauta::agora(ComPtr<data::DateHelper>& helper) {
    if (!helper) helper = com::make<data::DateHelper>();
    bool flag = true;
    std::string text;
    helper->TextoDataHora(flag, text);
    return Variant::date(com::CDate(Variant(DataHoraUniversal(text))));
}

Variant Pauta::Tarefa_Atualiza(std::int32_t& OidTarefa, std::int32_t& Usuario, Variant& Data_ini,
                               Variant& Data_ter, Variant& Observacao) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string sql;
    return trapped(*comum, "Orvan_Geral.Pauta.Tarefa_Atualiza", sql, [&] {
        // A given date is normalised through the universal text and handed back as a date value.
        auto normalise = [this](Variant& date) {
            if (!com::unequalToEmptyText(date)) return false;
            std::string text = com::CStr(date);
            date = Variant::date(com::CDate(Variant(DataHoraUniversal(text))));
            return true;
        };
        const bool startGiven = normalise(Data_ini);
        const bool endGiven = normalise(Data_ter);

        comum->cmd = com::make<ado::Command>();
        auto rs = com::make<ado::Recordset>();
        comum->cmd->putref_ActiveConnection(comum->conex);
        const std::string oid = std::to_string(OidTarefa);
        if (startGiven || endGiven) {
            sql = "SELECT * FROM tarefa WHERE oid = " + oid;
            comum->cmd->put_CommandText(sql);
            openOn(*rs, comum->cmd);
            if (!rs->get_EOF() && startGiven)
                data::setField(*rs, "RSTATUS",
                               Variant(endGiven ? codes::kTaskFinished : codes::kTaskStarted));
            rs->Update();
            rs->Close();
        }
        sql = "SELECT * FROM prazo WHERE rtipo = " + codes::codeText(codes::kCurrentProgress) + " AND rtarefa = " + oid;
        comum->cmd->put_CommandText(sql);
        openOn(*rs, comum->cmd);
        if (!rs->get_EOF()) {
            data::setField(*rs, "RTIPO", Variant(codes::kSupersededProgress));
            rs->Update();
        }
        rs->Close();

        sql = "Prazo";
        comum->cmd->put_CommandType(ado::adCmdTable);
        comum->cmd->put_CommandText(sql);
        openOn(*rs, comum->cmd);
        rs->AddNew();
        data::setField(*rs, "RUSUARIO", Variant(Usuario));
        data::setField(*rs, "RTIPO", Variant(codes::kCurrentProgress));
        data::setField(*rs, "RTAREFA", Variant(OidTarefa));
        ComPtr<data::DateHelper> helper;
        data::setField(*rs, "CRIADOEM", agora(helper));
        data::setField(*rs, "OBSERVACAO", Observacao);
        data::setField(*rs, "DURACAO", Variant(std::int16_t{0}));
        data::setField(*rs, "Inicio", startGiven ? Data_ini : Variant::null());
        data::setField(*rs, "Termino", endGiven ? Data_ter : Variant::null());
        data::setField(*rs, "OID", Variant(data::newOid(*comum)));
        rs->Update();
        rs->Close();
        comum->cmd = nullptr;
        return Variant("0");
    });
}

Variant Pauta::Dicas_Incluir(std::int16_t& Ordem, std::string& Texto) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string sql;
    return trapped(*comum, "Orvan_Geral.Pauta.Dicas_Incluir", sql, [&] {
        comum->cmd = com::make<ado::Command>();
        auto rs = com::make<ado::Recordset>();
        comum->cmd->putref_ActiveConnection(comum->conex);
        comum->cmd->put_CommandType(ado::adCmdTable);
        sql = "DICADODIA";
        comum->cmd->put_CommandText(sql);
        openOn(*rs, comum->cmd);
        rs->AddNew();
        data::setField(*rs, "Texto", Variant(Texto));
        data::setField(*rs, "ordem", Variant(Ordem));
        data::setField(*rs, "oid", Variant(data::newOid(*comum)));
        rs->Update();
        rs->Close();
        comum->cmd = nullptr;
        return Variant("0");
    });
}

Variant Pauta::Tarefa_Redirecionar(std::int32_t& OidTarefa, std::string& StrUsuarios) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string sql;
    return trapped(*comum, "Orvan_Geral.Pauta.Tarefa_Redirecionar", sql, [&] {
        // The list goes into the statements as written, so it is checked before anything runs.
        const std::vector<std::string> users = userList(StrUsuarios);
        comum->cmd = com::make<ado::Command>();
        auto rs = com::make<ado::Recordset>();
        comum->cmd->putref_ActiveConnection(comum->conex);
        const std::string oid = std::to_string(OidTarefa);

        sql = "select * from RESPONSABILIDADE WHERE RPAPEL = " + codes::codeText(codes::kDirectedUser) + " AND RITEM =" + oid +
              " AND RRESPONSAVEL not in (" + StrUsuarios + ")";
        comum->cmd->put_CommandText(sql);
        openOn(*rs, comum->cmd);
        while (!rs->get_EOF()) {
            data::setField(*rs, "RRESPONSAVEL", Variant(codes::kNoneOid));
            rs->Update();
            rs->MoveNext();
        }
        rs->Close();

        for (const std::string& user : users) {
            sql = "select * from RESPONSABILIDADE WHERE RPAPEL = " + codes::codeText(codes::kDirectedUser) + " AND RITEM =" + oid +
                  " AND RRESPONSAVEL =" + user;
            comum->cmd->put_CommandText(sql);
            openOn(*rs, comum->cmd);
            if (rs->get_EOF()) {
                rs->AddNew();
                data::setField(*rs, "RITEM", Variant(OidTarefa));
                data::setField(*rs, "RPAPEL", Variant(codes::kDirectedUser));
                data::setField(*rs, "RRESPONSAVEL", Variant(user));
                data::setField(*rs, "OID", Variant(data::newOid(*comum)));
                rs->Update();
            }
            rs->Close();
        }
        comum->cmd = nullptr;
        return Variant("0");
    });
}

Variant Pauta::Criar_Nova_Tarefa(std::int32_t OidTarefaBase, std::int32_t Usuario) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string sql;
    return trapped(*comum, "Orvan_Geral.Pauta.Criar_Nova_Tarefa", sql, [&] {
        comum->cmd = com::make<ado::Command>();
        const ComPtr<ado::Command>& cmd = comum->cmd;
        auto source = com::make<ado::Recordset>();
        auto target = com::make<ado::Recordset>();
        ComPtr<data::DateHelper> helper;
        cmd->putref_ActiveConnection(comum->conex);
        const std::string base = std::to_string(OidTarefaBase);

        auto query = [&](std::string statement) {
            sql = std::move(statement);
            cmd->put_CommandType(ado::adCmdText);
            cmd->put_CommandText(sql);
            openOn(*source, cmd);
        };
        auto openTarget = [&](const char* table) {
            cmd->put_CommandType(ado::adCmdTable);
            cmd->put_CommandText(table);
            openOn(*target, cmd);
        };
        auto copy = [&](const char* column) {
            data::setField(*target, column, data::fieldValue(*source, column));
        };
        auto write = [&] {
            data::setField(*target, "OID", Variant(data::newOid(*comum)));
            target->Update();
        };

        query("SELECT * FROM TAREFA_V WHERE     OID = " + base);
        const std::int32_t job = com::CLng(data::fieldValue(*source, "RJOB"));
        const std::int32_t task = data::newOid(*comum);

        openTarget("Item");
        target->AddNew();
        data::setField(*target, "RESCOPO", Variant(codes::kItemScope));
        data::setField(*target, "CID", Variant(codes::kTaskClass));
        data::setField(*target, "EXCLUIDO", Variant(std::int16_t{0}));
        data::setField(*target, "CRIADOPOR", Variant(Usuario));
        data::setField(*target, "ATUALIZADOPOR", Variant(Usuario));
        data::setField(*target, "CRIADOEM", agora(helper));
        data::setField(*target, "ATUALIZADOEM", agora(helper));
        copy("NOME");
        data::setField(*target, "OID", Variant(task));
        target->Update();
        target->Close();

        openTarget("tarefa");
        target->AddNew();
        copy("RJOB");
        copy("RPRIORIDADE");
        data::setField(*target, "RSTATUS", Variant(codes::kTaskNew));
        copy("RTIPODEMATERIAL");
        copy("RPECA");
        copy("ESPECIFICACAO");
        copy("DESCRICAO");
        data::setField(*target, "OID", Variant(task));
        target->Update();
        target->Close();
        source->Close();

        query("SELECT * FROM CLASSIFICACAO WHERE     RITEM = " + base);
        openTarget("CLASSIFICACAO");
        target->AddNew();
        data::setField(*target, "RITEM", Variant(task));
        copy("RCATEGORIA");
        write();
        target->Close();
        source->Close();

        query("SELECT * FROM SUBTAREFA WHERE     RITEM = " + base +
              "  AND     RGRUPO = " + std::to_string(job));
        openTarget("SUBTAREFA");
        target->AddNew();
        data::setField(*target, "RGRUPO", Variant(job));
        data::setField(*target, "RITEM", Variant(task));
        copy("ORDEM");
        write();
        target->Close();
        source->Close();

        query("SELECT * FROM PRAZO WHERE     RTIPO = " + codes::codeText(codes::kPlannedPeriod) + " AND     RTAREFA = " + base);
        openTarget("PRAZO");
        target->AddNew();
        data::setField(*target, "RUSUARIO", Variant(Usuario));
        copy("RTIPO");
        data::setField(*target, "RTAREFA", Variant(task));
        data::setField(*target, "CRIADOEM", agora(helper));
        copy("OBSERVACAO");
        copy("DURACAO");
        copy("TERMINO");
        copy("INICIO");
        write();
        target->Close();
        source->Close();

        query("SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = " + codes::codeText(codes::kResponsibleDepartment) + " AND     RITEM = " + base);
        openTarget("Responsabilidade");
        target->AddNew();
        data::setField(*target, "RITEM", Variant(task));
        data::setField(*target, "RPAPEL", Variant(codes::kResponsibleDepartment));
        copy("RRESPONSAVEL");
        write();
        target->Close();
        source->Close();

        query("SELECT * FROM PECAAUTORIZADA WHERE     RAUTORIZACAO = " + base);
        openTarget("PECAAUTORIZADA");
        while (!source->get_EOF()) {
            target->AddNew();
            copy("RTIPODEINSERCAO");
            copy("RMEIO");
            data::setField(*target, "RAUTORIZACAO", Variant(task));
            copy("RPECA");
            copy("RTIPODEMATERIAL");
            copy("IDENTIFICADOR");
            copy("DIMENSAO1");
            copy("DIMENSAO2");
            write();
            source->MoveNext();
        }
        target->Close();
        source->Close();

        query("SELECT * FROM RESPONSABILIDADE WHERE     RPAPEL = " + codes::codeText(codes::kDirectedUser) + " AND     RITEM = " + base);
        openTarget("RESPONSABILIDADE");
        while (!source->get_EOF()) {
            target->AddNew();
            data::setField(*target, "RITEM", Variant(task));
            copy("RPAPEL");
            copy("RRESPONSAVEL");
            write();
            source->MoveNext();
        }
        target->Close();
        source->Close();
        return Variant(task);
    });
}

Variant Pauta::Atualiza_Dados_Tarefa(std::int32_t OidTarefa, std::string Especificacao,
                                     std::int32_t Departamento, Variant DataIniPrevisto,
                                     Variant DataFimPrevisto) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string sql;
    return trapped(*comum, "Orvan_Geral.Pauta.Atualiza_Dados_Tarefa", sql, [&] {
        comum->cmd = com::make<ado::Command>();
        auto rs = com::make<ado::Recordset>();
        comum->cmd->putref_ActiveConnection(comum->conex);
        const std::string oid = std::to_string(OidTarefa);
        Variant affected = Variant::missing();
        comum->conex->Execute("UPDATE TAREFA SET ESPECIFICACAO = '" + data::doubleApostrophes(Especificacao) +
                                  "'WHERE OID = " + oid,
                              affected, ado::adOptionUnspecified);
        // The department's number is written directly against WHERE, as the original servers accepted;
        // the provider separates them for engines that need it.
        comum->conex->Execute("UPDATE RESPONSABILIDADE SET RRESPONSAVEL = " + std::to_string(Departamento) +
                                  "WHERE      RPAPEL = " + codes::codeText(codes::kResponsibleDepartment) + " AND      RITEM = " + oid,
                              affected, ado::adOptionUnspecified);
        sql = "SELECT * FROM PRAZO WHERE     RTIPO = " + codes::codeText(codes::kPlannedPeriod) + " AND     RTAREFA = " + oid;
        comum->cmd->put_CommandType(ado::adCmdText);
        comum->cmd->put_CommandText(sql);
        openOn(*rs, comum->cmd);
        if (com::unequalToEmptyText(DataIniPrevisto))
            data::setField(*rs, "INICIO", Variant::date(com::CDate(DataIniPrevisto)));
        if (com::unequalToEmptyText(DataFimPrevisto))
            data::setField(*rs, "TERMINO", Variant::date(com::CDate(DataFimPrevisto)));
        rs->Update();
        rs->Close();
        return Variant();
    });
}

Variant Pauta::Cadastrar_Horas(std::int32_t& pOID, Variant& RITEM, std::int32_t& RPESSOA,
                               std::int32_t& RDEPARTAMENTO, std::int32_t& RFUNCIONARIO, Variant& Data,
                               Variant& HORASTRABALHADAS, Variant& INICIO, Variant& TERMINO,
                               std::string& Observacao, std::int32_t& Extra, Variant& RTAREFA) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string sql;
    return trapped(*comum, "Orvan_Geral.Pauta.Cadastrar_Horas", sql, [&] {
        comum->cmd = com::make<ado::Command>();
        auto rs = com::make<ado::Recordset>();
        comum->cmd->putref_ActiveConnection(comum->conex);
        const bool isNew = pOID == codes::kNoneOid;
        if (isNew) {
            comum->cmd->put_CommandType(ado::adCmdTable);
            sql = "FOLHADEHORARIO";
        } else {
            comum->cmd->put_CommandType(ado::adCmdText);
            sql = "select * from FOLHADEHORARIO where oid=" + std::to_string(pOID);
        }
        comum->cmd->put_CommandText(sql);
        openOn(*rs, comum->cmd);
        if (isNew) {
            rs->AddNew();
            data::setField(*rs, "oid", Variant(data::newOid(*comum)));
        }
        // The dates are stored as their universal text; the caller's values stay as they were.
        auto universal = [this](const Variant& date) {
            std::string text = com::CStr(date);
            return Variant(DataHoraUniversal(text));
        };
        data::setField(*rs, "RITEM", RITEM);
        data::setField(*rs, "RPESSOA", Variant(RPESSOA));
        data::setField(*rs, "RDEPARTAMENTO", Variant(RDEPARTAMENTO));
        data::setField(*rs, "RFUNCIONARIO", Variant(RFUNCIONARIO));
        data::setField(*rs, "Data", universal(Data));
        data::setField(*rs, "HORASTRABALHADAS", HORASTRABALHADAS);
        data::setField(*rs, "FECHADO", Variant(std::int16_t{0}));
        data::setField(*rs, "Observacao", Variant(Observacao));
        data::setField(*rs, "INICIO", universal(INICIO));
        data::setField(*rs, "TERMINO", universal(TERMINO));
        data::setField(*rs, "EXTRA", Variant(Extra));
        data::setField(*rs, "RTAREFA", RTAREFA);
        rs->Update();
        rs->Close();
        comum->cmd = nullptr;
        return Variant("0");
    });
}

Variant Pauta::Excluir_Horas(std::int32_t& pOID) {
    ComPtr<data::Comum> comum = data::requireComum(Comum);
    std::string sql;
    return trapped(*comum, "Orvan_Geral.Pauta.Excluir_Horas", sql, [&] {
        comum->cmd = com::make<ado::Command>();
        comum->cmd->putref_ActiveConnection(comum->conex);
        sql = "Delete from FOLHADEHORARIO where oid=" + std::to_string(pOID);
        Variant affected = Variant::missing();
        comum->conex->Execute(sql, affected, ado::adOptionUnspecified);
        comum->cmd = nullptr;
        return Variant("0");
    });
}

std::string Pauta::DataHoraUniversal(std::string& sData) {
    const com::Regional& r = com::currentRegional();
    std::string rewritten = com::formatGeneralDate(com::CDate(Variant(sData)), r);
    // Date and time are read back from the rewritten text, so what the result shows is exactly what
    // the general date format kept (seconds as far as the long time shows them).
    const com::DateParts p = com::splitDate(com::CDate(Variant(rewritten)));
    sData = std::move(rewritten);
    return com::formatYearFirstDateTime(p);
}

const com::TypeInfo& Pauta::members() {
    using com::method;
    using com::Param;
    static const com::TypeInfo info = [] {
        com::TypeInfo t{"Pauta", kInterfaceName, {}};
        for (auto& m : com::storedProperty<&Pauta::Comum>("Comum", 0x40030005))
            t.members.push_back(std::move(m));
        for (auto& m : usarMembers(0x60030002)) t.members.push_back(std::move(m));
        for (auto& m : std::vector<com::MemberInfo>{
                 method<&Pauta::Tarefa_Atualiza>(
                     "Tarefa_Atualiza", 0x60030007,
                     {"OidTarefa", "Usuario", "Data_ini", "Data_ter", "Observacao"}),
                 method<&Pauta::Dicas_Incluir>("Dicas_Incluir", 0x60030008, {"Ordem", "Texto"}),
                 method<&Pauta::Tarefa_Redirecionar>("Tarefa_Redirecionar", 0x60030009,
                                                     {"OidTarefa", "StrUsuarios"}),
                 method<&Pauta::Criar_Nova_Tarefa>("Criar_Nova_Tarefa", 0x6003000A,
                                                   {"OidTarefaBase", "Usuario"}),
                 method<&Pauta::Atualiza_Dados_Tarefa>(
                     "Atualiza_Dados_Tarefa", 0x6003000B,
                     {"OidTarefa", "Especificacao", "Departamento", "DataIniPrevisto", "DataFimPrevisto"}),
                 method<&Pauta::Cadastrar_Horas>(
                     "Cadastrar_Horas", 0x6003000C,
                     {"pOID", "RITEM", "RPESSOA", "RDEPARTAMENTO", "RFUNCIONARIO", "Data", "HORASTRABALHADAS",
                      "INICIO", "TERMINO", "Observacao", "Extra",
                      Param("RTAREFA", Variant(codes::kNoneOid))}),
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
