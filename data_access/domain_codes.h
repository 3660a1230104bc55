// The application's codes that the component writes and looks rows up by. Types, statuses and roles
// are rows of the application's own tables, so each code is the OID of such a row, written as a 16-bit
// integer. Statements carry them as decimal text (codeText), exactly as the numbers would be written.
#pragma once

#include <cstdint>
#include <string>

namespace orvan::data::codes {

// The OID that stands for no object: a task no longer directed to anyone, a new timesheet entry, an
// entry without a task; usage sessions at or below it are never joined or closed.
inline constexpr std::int16_t kNoneOid = 7;

// tarefa.RSTATUS
inline constexpr std::int16_t kTaskNew = 1258;
inline constexpr std::int16_t kTaskStarted = 1261;
inline constexpr std::int16_t kTaskFinished = 1264;

// PRAZO.RTIPO
inline constexpr std::int16_t kPlannedPeriod = 1007;
inline constexpr std::int16_t kCurrentProgress = 1009;
inline constexpr std::int16_t kSupersededProgress = 2463;

// RESPONSABILIDADE.RPAPEL
inline constexpr std::int16_t kResponsibleDepartment = 1105;
inline constexpr std::int16_t kDirectedUser = 1078;

// Item rows of a new task: its scope and its class.
inline constexpr std::int16_t kItemScope = 7;
inline constexpr std::int16_t kTaskClass = 62;

// The application under which this component records its sessions and keeps its field labels.
inline constexpr std::int16_t kApplication = 15339;

// A code as a statement writes it.
inline std::string codeText(std::int16_t code) {
    return std::to_string(code);
}

}  // namespace orvan::data::codes
