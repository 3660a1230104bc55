// Comum: connections, page statements, identifiers and the error report.
#include "data_access/comum.h"

#include "com_server/event_log.h"
#include "com_server/escaping.h"

namespace orvan::data {

using com::ComError;
using com::ComPtr;
using com::make;
using com::Variant;
using com::htmlEscape;

namespace {

constexpr const char* kDashes = "----------------------------------------------------------------------";
constexpr const char* kCrLf = "\r\n";

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
    std::size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
}

std::string reportText(std::string_view date, std::string_view funcao, std::string_view numero,
                       std::string_view sobre, std::string_view sql) {
    std::string t;
    t.reserve(256 + sql.size() + sobre.size());
    t.append(kCrLf).append(kDashes).append(kCrLf);
    t.append("Data: <b>").append(date).append("</b>").append(kCrLf);
    t.append("Rotina: <b>").append(funcao).append("</b>").append(kCrLf);
    t.append("Código do erro: <b>").append(numero).append("</b>").append(kCrLf);
    t.append("Descrição do erro: <b>").append(sobre).append("</b>").append(kCrLf);
    t.append("SQL executado: <b>").append(sql).append("</b>").append(kCrLf);
    t.append(kDashes).append(kCrLf).append(kCrLf);
    return t;
}

}  // namespace

std::string doubleApostrophes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

std::int32_t newOid(Comum& comum) {
    const std::int32_t oid = comum.Gerar_Oid();
    if (oid == -1)
        throw ComError(com::hr::Fail,
                       "Não foi possível gerar um identificador (Gerar_Oid retornou -1)", "Orvan_Geral.Comum");
    return oid;
}

ComPtr<Comum> requireComum(const ComPtr<Comum>& comum) {
    if (!comum) throw ComError::basic(com::err::ObjectNotSet);
    return comum;
}

Variant fieldValue(ado::Recordset& rs, std::string_view name) {
    return rs.get_Fields()->valueOf(Variant(name));
}

void setField(ado::Recordset& rs, std::string_view name, Variant value) {
    rs.get_Fields()->assign(Variant(name), std::move(value));
}

std::string Failure::text() const { return std::to_string(number) + " - " + description; }

Comum::Comum() {
    sqlSetLanguage = Variant("SET LANGUAGE PORTUGUESE");
    sqlAlterSession = "ALTER SESSION SET NLS_DATE_FORMAT = 'YYYY MM DD HH24:MI:SS' NLS_NUMERIC_CHARACTERS = ',.'";
    oData = make<DateHelper>();
    Usar_Application();
    cfgConnectionTimeout = host_.oApplication->Value("dataconn_ConnectionTimeout");
    cfgCommandTimeout = com::CStr(host_.oApplication->Value("dataconn_CommandTimeout"));
    cfgConnectionString = host_.oApplication->Value("dataconn_ConnectionString");
    Abrir_Conexao();
    Abrir_Conexao2();
}

Comum::~Comum() {
    if (conex) conex = nullptr;
    if (conex2) conex2 = nullptr;
    oData = nullptr;
}

Variant Comum::open(ComPtr<ado::Connection>& slot, const char* failureText, const char* routine) {
    return trapFailures(
        *this, routine, "",
        [&] {
            slot = make<ado::Connection>();
            slot->put_ConnectionTimeout(com::CLng(cfgConnectionTimeout));
            slot->put_CommandTimeout(com::CLng(Variant(cfgCommandTimeout)));
            slot->Open(com::CStr(cfgConnectionString), "", "", -1);
            // One of the two dialects' session statements is always rejected by the server; which
            // one does not matter, so neither rejection is reported.
            slot->ExecuteIgnoringFailure(com::CStr(sqlSetLanguage));
            slot->ExecuteIgnoringFailure(sqlAlterSession);
            return Variant(std::int16_t{0});
        },
        [&](const Failure& f) { return Variant(failureText + f.description); });
}

Variant Comum::Abrir_Conexao() { return open(conex, "Erro ao abrir conexão: ", "Orvan_Geral.Comum.Abrir_Conexao"); }

Variant Comum::Abrir_Conexao2() {
    return open(conex2, "Erro ao abrir conexão (2): ", "Orvan_Geral.Comum.Abrir_Conexao2");
}

void Comum::Tratar_Erro(std::string sql, std::string FUNCAO, std::int16_t NUMERO_ERRO, std::string SOBRE_ERRO) {
    reportFailure(sql, FUNCAO, NUMERO_ERRO, SOBRE_ERRO);
}

void Comum::reportFailure(std::string_view sql, std::string_view FUNCAO, std::int32_t NUMERO_ERRO,
                          std::string_view SOBRE_ERRO) {
    // The Response object is obtained first, so that a failure further on has somewhere to go.
    try {
        host_.Usar_Response();
    } catch (const ComError&) {
        // No page to write to (an object used outside a page): the report still reaches the log below.
    }
    try {
        const std::string_view shownSql = sql.empty() ? std::string_view("Não informado.") : sql;
        if (!oData) throw ComError::basic(com::err::ObjectNotSet);
        bool flag = true;
        std::string date;
        oData->TextoDataHora(flag, date);
        const std::string numero = std::to_string(NUMERO_ERRO);

        // The values are escaped for the page, so a statement or a server message is never read as
        // markup; the event log keeps them raw.
        std::string page = reportText(htmlEscape(date), htmlEscape(FUNCAO), numero, htmlEscape(SOBRE_ERRO),
                                      htmlEscape(shownSql));
        replaceAll(page, kCrLf, "<BR>\r\n");
        if (host_.oResponse) {
            host_.oResponse->Write(Variant("<font face='Trebuchet MS' style='font-size: 10pt;'>"));
            host_.oResponse->Write(Variant(std::move(page)));
            host_.oResponse->Write(Variant("</font>"));
        }
        std::string log = reportText(date, FUNCAO, numero, SOBRE_ERRO, shownSql);
        replaceAll(log, "<b>", "");
        replaceAll(log, "</b>", "");
        com::logEvent(com::EventType::Error, log, com::EventDetails{FUNCAO, NUMERO_ERRO});
    } catch (const ComError& e) {
        if (host_.oResponse)
            host_.oResponse->Write(Variant("Erro na função <b>Tratar_Erro</b>: " + htmlEscape(e.description())));
    }
}

Variant Comum::execute(ComPtr<ado::Command>& cmdSlot, ComPtr<ado::Recordset>& rsSlot, const char* routine,
                       Variant& sql, std::int32_t CursorType, std::int32_t LockType, std::int32_t CursorLocation,
                       std::int32_t MaxRecords) {
    std::string shown;
    try {
        shown = com::CStr(sql);
    } catch (const ComError&) {
        // A statement that is not text fails at step 3 below; the report then shows "Não informado.".
    }
    return trapFailures(
        *this, routine, shown,
        [&] {
            cmdSlot = make<ado::Command>();
            rsSlot = make<ado::Recordset>();
            cmdSlot->put_CommandText(com::CStr(sql));
            cmdSlot->put_CommandType(ado::adCmdText);
            cmdSlot->putref_ActiveConnection(conex);
            rsSlot->put_MaxRecords(MaxRecords);
            rsSlot->put_CursorLocation(CursorLocation);
            rsSlot->Open(Variant(cmdSlot), Variant::missing(), CursorType, LockType, ado::adOptionUnspecified);
            return Variant("0");
        },
        [](const Failure& f) { return Variant(f.text()); });
}

Variant Comum::Executar(Variant& sql, std::int32_t& CursorType, std::int32_t& LockType, std::int32_t& CursorLocation,
                        std::int32_t& MaxRecords) {
    return execute(cmd, rs, "Orvan_Geral.Comum.Executar", sql, CursorType, LockType, CursorLocation, MaxRecords);
}

Variant Comum::Executar2(Variant& sql, std::int32_t& CursorType, std::int32_t& LockType,
                         std::int32_t& CursorLocation, std::int32_t& MaxRecords) {
    return execute(cmd2, rs2, "Orvan_Geral.Comum.Executar2", sql, CursorType, LockType, CursorLocation, MaxRecords);
}

Variant Comum::Executar3(Variant& sql, std::int32_t& CursorType, std::int32_t& LockType,
                         std::int32_t& CursorLocation, std::int32_t& MaxRecords) {
    return execute(cmd3, rs3, "Orvan_Geral.Comum.Executar3", sql, CursorType, LockType, CursorLocation, MaxRecords);
}

std::int32_t Comum::Gerar_Oid() {
    return trapFailures(
        *this, "Orvan_Geral.Comum.Gerar_Oid", "",
        [&] {
            auto command = make<ado::Command>();
            command->putref_ActiveConnection(conex);
            command->put_CommandType(ado::adCmdStoredProc);
            command->put_CommandText("atualoid");
            command->get_Parameters()->Append(
                command->CreateParameter("novooid", 3, ado::adParamOutput, 0, Variant::missing()));
            Variant affected = Variant::missing();
            command->Execute(affected, Variant::missing(), ado::adOptionUnspecified);
            return com::CLng(command->get_Parameters()->get_Item(Variant("novooid"))->get_Value());
        },
        [](const Failure&) { return std::int32_t{-1}; });
}

const com::TypeInfo& Comum::members() {
    using com::method;
    using com::Param;
    static const com::TypeInfo info = [] {
        com::TypeInfo t{"Comum", kInterfaceName, {}};
        auto add = [&t](std::vector<com::MemberInfo> ms) {
            for (auto& m : ms) t.members.push_back(std::move(m));
        };
        add(com::storedProperty<&Comum::conex>("conex", 0x40030005));
        add(com::storedProperty<&Comum::conex2>("conex2", 0x40030006));
        add(com::storedProperty<&Comum::cmd>("cmd", 0x40030007));
        add(com::storedProperty<&Comum::cmd2>("cmd2", 0x40030008));
        add(com::storedProperty<&Comum::cmd3>("cmd3", 0x40030009));
        add(com::storedProperty<&Comum::rs>("rs", 0x4003000A));
        add(com::storedProperty<&Comum::rs2>("rs2", 0x4003000B));
        add(com::storedProperty<&Comum::rs3>("rs3", 0x4003000C));
        add(com::storedProperty<&Comum::oData>("oData", 0x40030012));
        const std::vector<Param> executar = {"sql", Param("CursorType", Variant(std::int32_t{3})),
                                             Param("LockType", Variant(std::int32_t{1})),
                                             Param("CursorLocation", Variant(std::int32_t{2})),
                                             Param("MaxRecords", Variant(std::int32_t{0}))};
        add(usarMembers(0x60030000));
        add({method<&Comum::Abrir_Conexao>("Abrir_Conexao", 0x60030005),
             method<&Comum::Abrir_Conexao2>("Abrir_Conexao2", 0x60030006),
             method<&Comum::Tratar_Erro>("Tratar_Erro", 0x60030007, {"sql", "FUNCAO", "NUMERO_ERRO", "SOBRE_ERRO"}),
             method<&Comum::Executar>("Executar", 0x60030008, executar),
             method<&Comum::Executar2>("Executar2", 0x60030009, executar),
             method<&Comum::Executar3>("Executar3", 0x6003000A, executar),
             method<&Comum::Gerar_Oid>("Gerar_Oid", 0x6003000B)});
        return t;
    }();
    return info;
}

com::ClassDescriptor Comum::descriptor() {
    return {"Comum", kProgId, "{3F6B2C10-8E4D-4A71-B5C2-9D0E7A41C201}",
            [] { return ComPtr<com::Object>(make<Comum>()); }, &Comum::members};
}

}  // namespace orvan::data
