// Comum: the component's data-access object. It opens the two database connections from the
// Application settings, runs page statements (Executar, Executar2, Executar3), hands out database-wide
// identifiers (Gerar_Oid) and writes the error report (Tratar_Erro). Geral and Pauta each own one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "com_server/class_registry.h"
#include "com_server/event_log.h"
#include "com_server/host.h"
#include "data_access/ado/ado.h"
#include "data_access/date_helper.h"

namespace orvan::data {

class Comum : public com::HostedObject {
public:
    static constexpr const char* kInterfaceName = "_Comum";
    static constexpr const char* kProgId = "Orvan_Geral.Comum";

    // Runs the object's initialisation: the session statements, the date helper, the Application
    // settings, then opens conex and conex2 (a failed opening is reported in the page; the object is
    // created all the same). Throws when there is no Application object or a setting cannot be read.
    Comum();
    ~Comum() override;

    // The nine published references (plain stored properties).
    com::ComPtr<ado::Connection> conex, conex2;
    com::ComPtr<ado::Command> cmd, cmd2, cmd3;
    com::ComPtr<ado::Recordset> rs, rs2, rs3;
    com::ComPtr<DateHelper> oData;


    // Opens a new conex (conex2). Result: Integer 0, or the failure text (after the error report).
    com::Variant Abrir_Conexao();
    com::Variant Abrir_Conexao2();

    // Writes the error report into the page and the event log. Never raises.
    void Tratar_Erro(std::string sql, std::string FUNCAO, std::int16_t NUMERO_ERRO, std::string SOBRE_ERRO);
    // The same report with the failure's full 32-bit number, for the component's own failure paths.
    void reportFailure(std::string_view sql, std::string_view FUNCAO, std::int32_t NUMERO_ERRO,
                       std::string_view SOBRE_ERRO);

    // Runs sql on conex, leaving the recordset in rs (rs2, rs3). Result: String "0", or
    // "<number> - <description>" after the error report.
    com::Variant Executar(com::Variant& sql, std::int32_t& CursorType, std::int32_t& LockType,
                          std::int32_t& CursorLocation, std::int32_t& MaxRecords);
    com::Variant Executar2(com::Variant& sql, std::int32_t& CursorType, std::int32_t& LockType,
                           std::int32_t& CursorLocation, std::int32_t& MaxRecords);
    com::Variant Executar3(com::Variant& sql, std::int32_t& CursorType, std::int32_t& LockType,
                           std::int32_t& CursorLocation, std::int32_t& MaxRecords);

    // A new database-wide identifier from the procedure "atualoid"; -1 after a reported failure.
    std::int32_t Gerar_Oid();

    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }
    static com::ClassDescriptor descriptor();

private:
    com::Variant open(com::ComPtr<ado::Connection>& slot, const char* failureText, const char* routine);
    com::Variant execute(com::ComPtr<ado::Command>& cmdSlot, com::ComPtr<ado::Recordset>& rsSlot,
                         const char* routine, com::Variant& sql, std::int32_t CursorType, std::int32_t LockType,
                         std::int32_t CursorLocation, std::int32_t MaxRecords);

    com::Variant cfgConnectionString;
    com::Variant cfgConnectionTimeout;
    std::string cfgCommandTimeout;
    com::Variant sqlSetLanguage;
    std::string sqlAlterSession;
};

// A caller's text for the inside of a quoted SQL literal: each apostrophe doubled, so that the value
// can never end the literal and change the statement. Texts without an apostrophe are unchanged.
std::string doubleApostrophes(std::string_view text);

// A new identifier from comum.Gerar_Oid for a row about to be written. Gerar_Oid has already reported
// its own failure when it returns -1; the caller must not take -1 for an identifier, so this raises an
// error that sends the caller to its own failure path.
std::int32_t newOid(Comum& comum);

// The Comum a Geral or Pauta works through for one call (a counted reference, so that a script
// replacing the property during the call cannot pull it away). Error 91 while the property is empty:
// the method then fails to its caller, since even its report would need the Comum.
com::ComPtr<Comum> requireComum(const com::ComPtr<Comum>& comum);

// Reads / assigns the value of a field of the current row by name (errors as Field.Value's).
com::Variant fieldValue(ado::Recordset& rs, std::string_view name);
void setField(ado::Recordset& rs, std::string_view name, com::Variant value);

// The type under which methods that write a failure line of their own (before the error report, which
// is an error entry) record it in the event log.
inline constexpr com::EventType kFailureLineType = com::EventType::Warning;

// A trapped failure: its number and description, and the result text "<number> - <description>".
struct Failure {
    std::int32_t number;
    std::string description;
    std::string text() const;
};

// The failure path of every trapping method, written once. Runs body; when it fails with an error
// (anything but the end of the response), runs onFailure (which sets the failure result and may write
// the method's own event-log line), then reports through comum.reportFailure with sql and routine, and
// returns onFailure's result. Nothing done before the failure is undone.
template <typename Body, typename OnFailure>
auto trapFailures(Comum& comum, std::string_view routine, std::string_view sql, Body&& body,
                  OnFailure&& onFailure) -> decltype(body()) {
    Failure f;
    try {
        return body();
    } catch (const std::exception&) {
        const com::ComError e = com::failureOfCurrentException();
        f = Failure{e.number(), e.description()};
    }
    auto result = onFailure(f);
    comum.reportFailure(sql, routine, f.number, f.description);
    return result;
}

}  // namespace orvan::data
