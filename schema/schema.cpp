// Creating the reference schema and the demo data.
#include "schema/schema.h"

#include "com_server/ascii.h"
#include "com_server/error.h"
#include "schema_sql.h"
#include "session_services/password.h"

namespace orvan::schema {
namespace {

using com::Variant;

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
    for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
}

// The script for an engine: the common tables with the engine's spelling of the date-time and text
// types, then the engine's identifier procedure. The engine is the one behind the session, whichever
// provider reaches it (an ODBC session names the engine its driver reports).
std::string scriptFor(std::string_view engine) {
    std::string script = sql::kCommon;
    if (engine == "postgresql") {
        replaceAll(script, " DATETIME", " TIMESTAMP(0)");
        return script + sql::kPostgresql;
    }
    if (engine == "sqlserver") {
        // Unicode text columns, so that no character depends on the database's code page.
        replaceAll(script, " VARCHAR(", " NVARCHAR(");
        return script + sql::kSqlserver;
    }
    if (engine == "oracle") {
        // Oracle's DATE holds the time of day to the second.
        replaceAll(script, " DATETIME", " DATE");
        replaceAll(script, " VARCHAR(", " VARCHAR2(");
        return script + sql::kOracle;
    }
    if (engine == "sqlite") return script + sql::kSqlite;
    throw com::ComError(com::hr::Fail, "there is no schema script for the database engine \"" + std::string(engine) +
                                           "\" (known: sqlite, postgresql, sqlserver, oracle)");
}

// Whether a statement begun so far is a stored procedure, whose own ';' belong to it (it ends at a
// line holding only "/").
bool procedureBlock(const std::string& current) {
    const auto b = current.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return false;
    const std::string head = com::ascii::lower(current.substr(b, 40));
    return head.starts_with("create procedure") || head.starts_with("create or replace procedure");
}

// Whether script[i] is a "/" alone on its line (blanks around it allowed).
bool slashLine(std::string_view script, std::size_t i) {
    if (script[i] != '/') return false;
    for (std::size_t k = i; k > 0 && script[k - 1] != '\n'; --k)
        if (script[k - 1] != ' ' && script[k - 1] != '\t') return false;
    for (std::size_t k = i + 1; k < script.size() && script[k] != '\n'; ++k)
        if (script[k] != ' ' && script[k] != '\t' && script[k] != '\r') return false;
    return true;
}

void run(data::Session& s, const std::string& statement, std::span<const Variant> params = {}) {
    s.execute(statement, params, 0);
}

// A short description of a statement for the printout: "table categoria", "view usuario_v", ...
std::string describe(const std::string& statement) {
    static const char* const kinds[] = {"CREATE TABLE IF NOT EXISTS ", "CREATE UNIQUE INDEX ", "CREATE TABLE ",
                                        "CREATE VIEW ", "CREATE INDEX ", "CREATE SEQUENCE ", "CREATE FUNCTION "};
    for (const char* k : kinds) {
        auto pos = statement.find(k);
        if (pos == std::string::npos) continue;
        std::string rest = statement.substr(pos + std::string_view(k).size());
        std::string name = rest.substr(0, rest.find_first_of(" ("));
        std::string kind = std::string(k).substr(7);
        while (!kind.empty() && kind.back() == ' ') kind.pop_back();
        if (kind == "TABLE IF NOT EXISTS") kind = "TABLE";
        kind = com::ascii::lower(kind);
        return kind + " " + name;
    }
    return {};
}

struct DemoRow {
    const char* table;
    const char* columns;
    std::vector<Variant> values;
};

Variant I(std::int32_t v) { return Variant(v); }
Variant T(const char* v) { return Variant(v); }
Variant D(const char* v) { return Variant(v); }  // a date-time literal the engines read

}  // namespace

std::vector<std::string> splitStatements(std::string_view script) {
    std::vector<std::string> out;
    std::string current;
    bool inQuote = false, inDollar = false;
    for (std::size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (!inQuote && !inDollar && c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
            while (i < script.size() && script[i] != '\n') ++i;  // a comment to the end of its line
            current += '\n';
            continue;
        }
        if (!inDollar && c == '\'') inQuote = !inQuote;
        if (!inQuote && c == '$' && i + 1 < script.size() && script[i + 1] == '$') {
            inDollar = !inDollar;
            current += "$$";
            ++i;
            continue;
        }
        if (!inQuote && !inDollar && slashLine(script, i) && procedureBlock(current)) {
            auto b = current.find_first_not_of(" \t\r\n");
            auto e = current.find_last_not_of(" \t\r\n");
            out.push_back(current.substr(b, e - b + 1));
            current.clear();
            continue;
        }
        if (c == ';' && !inQuote && !inDollar && !procedureBlock(current)) {
            auto b = current.find_first_not_of(" \t\r\n");
            if (b != std::string::npos) out.push_back(current.substr(b));
            current.clear();
            continue;
        }
        current += c;
    }
    auto b = current.find_first_not_of(" \t\r\n");
    if (b != std::string::npos) out.push_back(current.substr(b));
    return out;
}

bool hasSchema(data::Session& session) {
    try {
        session.execute("SELECT COUNT(*) FROM categoria", {}, 0);
        return true;
    } catch (const com::ComError& e) {
        // Only a missing table means "no schema yet"; a refused read or a lost connection is reported.
        if (e.category() != com::ErrorCategory::UndefinedObject) throw;
        session.reset();
        return false;
    }
}

std::vector<std::string> createSchema(data::Session& session) {
    if (hasSchema(session))
        throw com::ComError(com::hr::TableExists,
                            "the database already has the agenda schema (table categoria exists); nothing was changed");
    std::vector<std::string> created;
    for (const std::string& statement : splitStatements(scriptFor(session.engine()))) {
        run(session, statement);
        if (std::string d = describe(statement); !d.empty()) created.push_back(d);
    }
    return created;
}

std::vector<std::string> addDemoData(data::Session& session) {
    using session::storedPassword;
    const std::vector<DemoRow> rows = {
        // Employees, their users (password = login in lower case followed by "123"), the links and groupings.
        {"funcionario", "OID, NOME", {I(1001), T("Ana Souza")}},
        {"funcionario", "OID, NOME", {I(1002), T("Bruno Lima")}},
        {"funcionario", "OID, NOME", {I(1003), T("Carla Dias")}},
        {"usuario", "OID, NOME, SENHA", {I(2001), T("ANA"), Variant(storedPassword("ana", "ana123"))}},
        {"usuario", "OID, NOME, SENHA", {I(2002), T("BRUNO"), Variant(storedPassword("bruno", "bruno123"))}},
        {"usuario", "OID, NOME, SENHA", {I(2003), T("CARLA"), Variant(storedPassword("carla", "carla123"))}},
        {"comunicacao", "oid, ritem, rendereco, rtipo", {I(2101), I(1001), I(2001), I(1121)}},
        {"comunicacao", "oid, ritem, rendereco, rtipo", {I(2102), I(1002), I(2002), I(1121)}},
        {"comunicacao", "oid, ritem, rendereco, rtipo", {I(2103), I(1003), I(2003), I(1121)}},
        {"agrupamento", "OID, RITEM, NITEM, RPAPEL, NPAPEL, RGRUPO, NGRUPO",
         {I(2201), I(1001), T("Ana Souza"), I(3001), T("Editora"), I(3001), T("Redação")}},
        {"agrupamento", "OID, RITEM, NITEM, RPAPEL, NPAPEL, RGRUPO, NGRUPO",
         {I(2202), I(1002), T("Bruno Lima"), I(3002), T("Designer"), I(3002), T("Arte")}},
        {"agrupamento", "OID, RITEM, NITEM, RPAPEL, NPAPEL, RGRUPO, NGRUPO",
         {I(2203), I(1003), T("Carla Dias"), I(3003), T("Gerente"), I(3003), T("Comercial")}},
        // Two template tasks of job 4001 with their classification, subtask link, planned period,
        // department, directed users and authorised pieces.
        {"Item", "OID, RESCOPO, CID, EXCLUIDO, CRIADOPOR, ATUALIZADOPOR, CRIADOEM, ATUALIZADOEM, NOME",
         {I(5001), I(7), I(62), I(0), I(2001), I(2001), D("2026-01-05 09:00:00"), D("2026-01-05 09:00:00"),
          T("Modelo: reportagem de capa")}},
        {"tarefa", "OID, RJOB, RPRIORIDADE, RSTATUS, RTIPODEMATERIAL, RPECA, ESPECIFICACAO, DESCRICAO",
         {I(5001), I(4001), I(1), I(1258), I(6001), I(6101), T("Texto de 8.000 caracteres com duas fotos"),
          T("Reportagem principal da edição")}},
        {"CLASSIFICACAO", "OID, RITEM, RCATEGORIA", {I(5101), I(5001), I(7001)}},
        {"SUBTAREFA", "OID, RITEM, RGRUPO, ORDEM", {I(5201), I(5001), I(4001), I(1)}},
        {"PRAZO", "OID, RTIPO, RTAREFA, RUSUARIO, CRIADOEM, OBSERVACAO, DURACAO, INICIO, TERMINO",
         {I(5301), I(1007), I(5001), I(2001), D("2026-01-05 09:00:00"), T("Prazo padrão da capa"), I(5),
          D("2026-03-02 09:00:00"), D("2026-03-06 18:00:00")}},
        {"RESPONSABILIDADE", "OID, RPAPEL, RITEM, RRESPONSAVEL", {I(5401), I(1105), I(5001), I(3001)}},
        {"RESPONSABILIDADE", "OID, RPAPEL, RITEM, RRESPONSAVEL", {I(5402), I(1078), I(5001), I(2001)}},
        {"RESPONSABILIDADE", "OID, RPAPEL, RITEM, RRESPONSAVEL", {I(5403), I(1078), I(5001), I(2002)}},
        {"PECAAUTORIZADA",
         "OID, RAUTORIZACAO, RTIPODEINSERCAO, RMEIO, RPECA, RTIPODEMATERIAL, IDENTIFICADOR, DIMENSAO1, DIMENSAO2",
         {I(5501), I(5001), I(1), I(2), I(6101), I(6001), T("CAPA-FOTO-1"), Variant(21.0), Variant(28.0)}},
        {"PECAAUTORIZADA",
         "OID, RAUTORIZACAO, RTIPODEINSERCAO, RMEIO, RPECA, RTIPODEMATERIAL, IDENTIFICADOR, DIMENSAO1, DIMENSAO2",
         {I(5502), I(5001), I(1), I(2), I(6102), I(6001), T("CAPA-FOTO-2"), Variant(10.5), Variant(14.8)}},
        {"Item", "OID, RESCOPO, CID, EXCLUIDO, CRIADOPOR, ATUALIZADOPOR, CRIADOEM, ATUALIZADOEM, NOME",
         {I(5002), I(7), I(62), I(0), I(2003), I(2003), D("2026-01-06 10:30:00"), D("2026-01-06 10:30:00"),
          T("Modelo: anúncio de página inteira")}},
        {"tarefa", "OID, RJOB, RPRIORIDADE, RSTATUS, RTIPODEMATERIAL, RPECA, ESPECIFICACAO, DESCRICAO",
         {I(5002), I(4001), I(2), I(1258), I(6002), I(6103), T("Arte final em PDF/X-1a, 210 x 280 mm"),
          T("Anúncio do patrocinador")}},
        {"CLASSIFICACAO", "OID, RITEM, RCATEGORIA", {I(5111), I(5002), I(7002)}},
        {"SUBTAREFA", "OID, RITEM, RGRUPO, ORDEM", {I(5211), I(5002), I(4001), I(2)}},
        {"PRAZO", "OID, RTIPO, RTAREFA, RUSUARIO, CRIADOEM, OBSERVACAO, DURACAO, INICIO, TERMINO",
         {I(5311), I(1007), I(5002), I(2003), D("2026-01-06 10:30:00"), T("Entrega do anunciante"), I(3),
          D("2026-02-23 09:00:00"), D("2026-02-25 18:00:00")}},
        {"RESPONSABILIDADE", "OID, RPAPEL, RITEM, RRESPONSAVEL", {I(5411), I(1105), I(5002), I(3003)}},
        {"RESPONSABILIDADE", "OID, RPAPEL, RITEM, RRESPONSAVEL", {I(5412), I(1078), I(5002), I(2003)}},
        // Parameters: a general value (item 1), an item's own value, and a date parameter.
        {"categoria", "oid, nomeinterno, nome", {I(8001), T("EMAIL_SUPORTE"), T("E-mail do suporte")}},
        {"categoria", "oid, nomeinterno, nome", {I(8002), T("DATA_FECHAMENTO"), T("Fechamento da edição")}},
        {"dadoadicional", "oid, rtipo, nome", {I(8101), I(8001), T("E-mail")}},
        {"dadoadicional", "oid, rtipo, nome", {I(8102), I(8002), T("Data")}},
        {"aditivo", "oid, rdefinicao, ritem, svalor", {I(8201), I(8101), I(1), T("suporte@agenda.example")}},
        {"aditivo", "oid, rdefinicao, ritem, svalor", {I(8202), I(8101), I(5001), T("  capa@agenda.example  ")}},
        {"aditivo", "oid, rdefinicao, ritem, DTvalor", {I(8203), I(8102), I(1), D("2026-03-06 18:00:00")}},
        // Field labels of this application (15339) and tips of the day.
        {"rotulo", "oid, raplicativo, controle, valor", {I(8301), I(15339), T("sLogin"), T("Usuário")}},
        {"rotulo", "oid, raplicativo, controle, valor", {I(8302), I(15339), T("Senha"), T("Senha")}},
        {"rotulo", "oid, raplicativo, controle, valor", {I(8303), I(15339), T("Estacao"), T("Estação")}},
        {"rotulo", "oid, raplicativo, controle, valor", {I(8304), I(15339), T("Entrar"), T("Entrar")}},
        {"DICADODIA", "oid, Texto, ordem",
         {I(9001), T("Use \"Redirecionar\" para passar uma tarefa a outros colegas."), Variant(std::int16_t{1})}},
        {"DICADODIA", "oid, Texto, ordem",
         {I(9002), T("Registre o início e o fim do trabalho em cada tarefa: a pauta mostra o andamento."),
          Variant(std::int16_t{2})}},
    };
    std::vector<std::string> added;
    std::string lastTable;
    int count = 0;
    auto flush = [&] {
        if (count) added.push_back(std::to_string(count) + " row" + (count > 1 ? "s" : "") + " in " + lastTable);
    };
    for (const auto& row : rows) {
        std::string marks;
        for (std::size_t i = 0; i < row.values.size(); ++i) marks += i ? ", ?" : "?";
        run(session, std::string("INSERT INTO ") + row.table + " (" + row.columns + ") VALUES (" + marks + ")",
            row.values);
        if (row.table != lastTable) {
            flush();
            lastTable = row.table;
            count = 0;
        }
        ++count;
    }
    flush();
    added.push_back("users ANA, BRUNO and CARLA (passwords ana123, bruno123, carla123)");
    return added;
}

}  // namespace orvan::schema
