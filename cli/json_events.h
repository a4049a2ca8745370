#pragma once
// The events of `--json` output, one object per line. Every object carries "v" (the format
// version) and "event" (its type); docs/json-events.md lists each type and its fields.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "controller/presentation.h"
#include "controller/run_phases.h"

namespace flintcast::cli {

// Raised when a field changes meaning or goes away; new fields and event types keep it.
inline constexpr int kJsonEventsVersion = 1;

std::string_view AnswerName(controller::MessageAnswer answer);

nlohmann::json LineJson(int slot, int kind, const std::string& text);
nlohmann::json ProgressJson(int slot, int percent, std::optional<controller::RunPhase> phase, uint64_t bytesDone,
                            uint64_t bytesTotal);
nlohmann::json PhaseEventJson(const controller::PhaseEvent& event);
nlohmann::json StatusJson(const std::string& text, controller::RunState state);
nlohmann::json MessageJson(const controller::Message& message, controller::MessageAnswer answer);
nlohmann::json WaitingJson(uint32_t secondsLeft);
nlohmann::json ResumeOfferJson(bool visible);
nlohmann::json EndJson(int slot);
nlohmann::json NoteJson(const std::string& text);
nlohmann::json ErrorJson(const std::string& text);
nlohmann::json ResultJson(int exitCode, const std::string& runLog);
// One attached unit of `flintcast devices`.
nlohmann::json DeviceJson(const nlohmann::json& fields);

}  // namespace flintcast::cli
