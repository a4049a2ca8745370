#include "cli/json_events.h"

#include "cli/exit_codes.h"

namespace flintcast::cli {
namespace {

using nlohmann::json;

json Event(std::string_view type) { return json{{"v", kJsonEventsVersion}, {"event", type}}; }

std::string_view StateName(controller::RunState state) {
    switch (state) {
        case controller::RunState::InProgress: return "in-progress";
        case controller::RunState::Failed: return "failed";
        case controller::RunState::Succeeded: return "succeeded";
        case controller::RunState::Idle: break;
    }
    return "idle";
}

std::string_view ButtonsName(controller::MessageButtons buttons) {
    switch (buttons) {
        case controller::MessageButtons::OkCancel: return "ok-cancel";
        case controller::MessageButtons::YesNo: return "yes-no";
        case controller::MessageButtons::Ok: break;
    }
    return "ok";
}

}  // namespace

std::string_view AnswerName(controller::MessageAnswer answer) {
    switch (answer) {
        case controller::MessageAnswer::Cancel: return "cancel";
        case controller::MessageAnswer::Yes: return "yes";
        case controller::MessageAnswer::No: return "no";
        case controller::MessageAnswer::Ok: break;
    }
    return "ok";
}

json LineJson(int slot, int kind, const std::string& text) {
    json e = Event("line");
    e["slot"] = slot;
    e["kind"] = kind;
    e["text"] = text;
    return e;
}

json ProgressJson(int slot, int percent, std::optional<controller::RunPhase> phase, uint64_t bytesDone,
                  uint64_t bytesTotal) {
    json e = Event("progress");
    e["slot"] = slot;
    e["percent"] = percent;
    e["phase"] = phase ? std::string(controller::PhaseName(*phase)) : std::string("none");
    e["bytes_done"] = bytesDone;
    e["bytes_total"] = bytesTotal;
    return e;
}

json PhaseEventJson(const controller::PhaseEvent& event) {
    json e = Event("phase");
    e["phase"] = controller::PhaseName(event.phase);
    e["title"] = event.title;
    if (event.type == controller::PhaseEvent::Type::Started) {
        e["state"] = "started";
    } else {
        e["state"] = "ended";
        e["outcome"] = controller::OutcomeName(event.outcome);
        e["elapsed_ms"] = event.elapsedMs;
        e["reason"] = event.reason;
    }
    return e;
}

json StatusJson(const std::string& text, controller::RunState state) {
    json e = Event("status");
    e["text"] = text;
    e["state"] = StateName(state);
    return e;
}

json MessageJson(const controller::Message& message, controller::MessageAnswer answer) {
    json e = Event("message");
    e["caption"] = message.caption;
    e["text"] = message.text;
    e["buttons"] = ButtonsName(message.buttons);
    e["answer"] = AnswerName(answer);
    return e;
}

json WaitingJson(uint32_t secondsLeft) {
    json e = Event("waiting");
    e["seconds_left"] = secondsLeft;
    return e;
}

json ResumeOfferJson(bool visible) {
    json e = Event("resume-offer");
    e["visible"] = visible;
    return e;
}

json EndJson(int slot) {
    json e = Event("end");
    e["slot"] = slot;
    return e;
}

json NoteJson(const std::string& text) {
    json e = Event("note");
    e["text"] = text;
    return e;
}

json ErrorJson(const std::string& text) {
    json e = Event("error");
    e["text"] = text;
    return e;
}

json ResultJson(int exitCode, const std::string& runLog) {
    json e = Event("result");
    e["exit_code"] = exitCode;
    std::string meaning = "unknown";
    for (const auto& row : kExitCodeTable) {
        if (row.code == exitCode) meaning = std::string(row.meaning);
    }
    e["meaning"] = meaning;
    e["run_log"] = runLog;
    return e;
}

json DeviceJson(const json& fields) {
    json e = Event("device");
    for (const auto& [key, value] : fields.items()) e[key] = value;
    return e;
}

}  // namespace flintcast::cli
