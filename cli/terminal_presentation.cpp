#include "cli/terminal_presentation.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/json_events.h"
#include "cli/progress_text.h"
#include "controller/run_parts.h"
#include "platform/console.h"

namespace flintcast::cli {

namespace {

constexpr std::string_view kRed = "\x1b[31m";
constexpr std::string_view kGreen = "\x1b[32m";
constexpr std::string_view kYellow = "\x1b[33m";
constexpr std::string_view kDim = "\x1b[2m";
constexpr std::string_view kBold = "\x1b[1m";
constexpr std::string_view kReset = "\x1b[0m";
constexpr std::string_view kClearLine = "\r\x1b[2K";
// The live line is redrawn at most this often unless its percent changed.
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
constexpr int kFailureKind = 2;
constexpr int kPassKind = 3;
constexpr int kPlainKind = 4;

std::string Coloured(std::string_view colour, std::string_view text, bool on) {
    if (!on || colour.empty()) return std::string(text);
    return fmt::format("{}{}{}", colour, text, kReset);
}

}  // namespace

OutputStyle ChooseOutputStyle(std::FILE* stream, bool json) {
    if (json) return OutputStyle::Json;
    return platform::IsTerminal(stream) ? OutputStyle::Terminal : OutputStyle::Plain;
}

bool ColourWanted(std::FILE* stream) {
    if (!platform::IsTerminal(stream)) return false;
    const char* noColour = std::getenv("NO_COLOR");
    if (noColour != nullptr && *noColour != '\0') return false;
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

AnswerMode ChooseAnswerMode(bool yes) {
    if (yes) return AnswerMode::Yes;
    return platform::InputIsTerminal() ? AnswerMode::Ask : AnswerMode::Cancel;
}

TerminalPresentation::TerminalPresentation(const PresentationSetup& setup) : setup_(setup) {}

uint32_t TerminalPresentation::NowMs() const {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - started_).count());
}

void TerminalPresentation::Write(std::FILE* stream, const std::string& text) {
    if (stream == setup_.out && outputClosed_) return;
    if (std::fputs(text.c_str(), stream) < 0 || std::fflush(stream) != 0) {
        if (stream == setup_.out) outputClosed_ = true;
    }
}

void TerminalPresentation::Emit(const std::string& jsonObject) { Write(setup_.out, jsonObject + "\n"); }

void TerminalPresentation::ClearBar() {
    if (!barShown_) return;
    Write(setup_.out, std::string(kClearLine));
    barShown_ = false;
}

void TerminalPresentation::DrawLive(bool force) {
    const auto& open = phases_.current();
    if (!open) return;
    const auto now = SteadyClock::now();
    if (!force && barShown_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    std::string text;
    if (open->phase == controller::RunPhase::Image && lastPercent_ >= 0) {
        BarState bar;
        bar.title = open->title;
        bar.percent = lastPercent_;
        bar.bytesDone = bytesDone_;
        bar.bytesTotal = imageBytes_;
        bar.bytesPerSecond = bytesPerSecond_;
        text = BarLine(bar);
    } else {
        text = fmt::format("\u2026 {:<40} {}", open->title, DurationText(NowMs() - open->startMs));
    }
    Write(setup_.out, fmt::format("{}{}", kClearLine, Coloured(kBold, text, setup_.colour)));
    barShown_ = true;
}

void TerminalPresentation::WriteError(const std::string& text, std::string_view colour) {
    ClearBar();
    Write(setup_.err, Coloured(colour, text, setup_.errColour) + "\n");
}

void TerminalPresentation::ShowPhaseEvents(const std::vector<controller::PhaseEvent>& events) {
    for (const auto& event : events) {
        if (setup_.style == OutputStyle::Json) {
            Emit(PhaseEventJson(event).dump());
            continue;
        }
        if (setup_.style != OutputStyle::Terminal) continue;
        if (event.type == controller::PhaseEvent::Type::Started) {
            DrawLive(true);
            continue;
        }
        ClearBar();
        const std::string_view colour = event.outcome == controller::PhaseOutcome::Ok ? kGreen
                                        : event.outcome == controller::PhaseOutcome::Failed ? kRed
                                                                                             : kYellow;
        Write(setup_.out, Coloured(colour, PhaseLine(event.title, event.outcome, event.elapsedMs), setup_.colour) + "\n");
        if (event.outcome == controller::PhaseOutcome::Failed && !event.reason.empty()) {
            WriteError(fmt::format("  {}", event.reason), kRed);
        }
    }
}

void TerminalPresentation::ShowLine(int slot, int kind, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (!setup_.logShown) {
        if (kind == kFailureKind) WriteError(text, kRed);
        return;
    }
    const auto events = phases_.OnLine(kind, text, NowMs());
    if (setup_.style == OutputStyle::Json) {
        Emit(LineJson(slot, kind, text).dump());
        ShowPhaseEvents(events);
        return;
    }
    if (setup_.style == OutputStyle::Plain) {
        if (kind == kFailureKind) {
            Write(setup_.err, text + "\n");
        } else {
            Write(setup_.out, text + "\n");
        }
        return;
    }
    ShowPhaseEvents(events);
    if (kind == kFailureKind) {
        // A failure shows at once; the phase it ends is shown when the run ends.
        WriteError(text, kRed);
    } else if (controller::IsWarningLine(text) && !setup_.verbose) {
        ClearBar();
        Write(setup_.out, Coloured(kYellow, text, setup_.colour) + "\n");
    } else if (setup_.verbose) {
        ClearBar();
        const std::string_view colour = kind == kPassKind ? kGreen : kind == kPlainKind ? kDim : std::string_view{};
        Write(setup_.out, Coloured(colour, text, setup_.colour) + "\n");
    }
    DrawLive(setup_.verbose);
}

void TerminalPresentation::SetImageBytes(uint64_t total) {
    std::lock_guard lock(mutex_);
    imageBytes_ = total;
}

void TerminalPresentation::SetProgress(int slot, int position, int maximum) {
    std::lock_guard lock(mutex_);
    const int percent = maximum > 0 ? std::clamp(position * 100 / maximum, 0, 100) : 0;
    const uint64_t done = controller::ImageBytesDone(position, maximum, imageBytes_);
    const auto now = SteadyClock::now();
    if (done == 0 || !speedStart_) {
        speedStart_ = std::make_pair(now, done);
        bytesPerSecond_ = 0;
    } else if (done > speedStart_->second) {
        const double seconds = std::chrono::duration<double>(now - speedStart_->first).count();
        if (seconds > 0) bytesPerSecond_ = static_cast<double>(done - speedStart_->second) / seconds;
    }
    bytesDone_ = done;
    const bool changed = percent != lastPercent_;
    lastPercent_ = percent;
    if (setup_.style == OutputStyle::Json) {
        if (!changed) return;
        const auto& open = phases_.current();
        Emit(ProgressJson(slot, percent, open ? std::optional(open->phase) : std::nullopt, done, imageBytes_).dump());
        return;
    }
    if (setup_.style == OutputStyle::Plain) {
        // A pipe gets a line per tenth, not a redrawn bar.
        const int decile = percent / 10;
        if (decile != lastPlainDecile_) {
            lastPlainDecile_ = decile;
            Write(setup_.out, fmt::format("progress {}%\n", percent));
        }
        return;
    }
    DrawLive(changed);
}

void TerminalPresentation::SetStatus(const std::string& text, controller::RunState state) {
    std::lock_guard lock(mutex_);
    if (!setup_.logShown) return;
    if (setup_.style == OutputStyle::Json) {
        Emit(StatusJson(text, state).dump());
        return;
    }
    if (state == controller::RunState::Failed) {
        WriteError(fmt::format("status:{}", text), kRed);
        return;
    }
    ClearBar();
    const std::string_view colour = state == controller::RunState::Succeeded ? kGreen : std::string_view{};
    Write(setup_.out, Coloured(colour, fmt::format("status:{}", text), setup_.colour && setup_.style == OutputStyle::Terminal) + "\n");
    if (setup_.style == OutputStyle::Terminal) DrawLive(true);
}

controller::MessageAnswer TerminalPresentation::ShowMessage(const controller::Message& message) {
    std::lock_guard lock(mutex_);
    using controller::MessageAnswer;
    using controller::MessageButtons;
    const bool question = message.buttons != MessageButtons::Ok;
    const bool yesNo = message.buttons == MessageButtons::YesNo;
    MessageAnswer answer = MessageAnswer::Ok;
    if (question) {
        if (setup_.answers == AnswerMode::Yes) {
            answer = yesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
        } else if (setup_.answers == AnswerMode::Cancel) {
            // Unattended: never start anything the user did not ask for.
            answer = yesNo ? MessageAnswer::No : MessageAnswer::Cancel;
        }
    }
    if (setup_.style == OutputStyle::Json && !(question && setup_.answers == AnswerMode::Ask)) {
        Emit(MessageJson(message, answer).dump());
        return answer;
    }
    const std::string caption = message.caption.empty() ? std::string("Message") : message.caption;
    WriteError(fmt::format("[{}] {}", caption, message.text), kYellow);
    if (!question) return answer;
    if (setup_.answers != AnswerMode::Ask) {
        Write(setup_.err, fmt::format("  answered {}{}\n", AnswerName(answer),
                                      setup_.answers == AnswerMode::Yes ? " (--yes)" : " (no terminal to ask; --yes answers OK)"));
        if (setup_.style == OutputStyle::Json) Emit(MessageJson(message, answer).dump());
        return answer;
    }
    Write(setup_.err, yesNo ? "Yes or No? [y/N] " : "OK or Cancel? [o/C] ");
    char buffer[256] = {};
    const bool read = std::fgets(buffer, sizeof buffer, setup_.in) != nullptr;
    const char first = read ? buffer[0] : '\0';
    const bool accepted = first == 'y' || first == 'Y' || first == 'o' || first == 'O';
    answer = yesNo ? (accepted ? MessageAnswer::Yes : MessageAnswer::No)
                   : (accepted ? MessageAnswer::Ok : MessageAnswer::Cancel);
    if (setup_.style == OutputStyle::Json) Emit(MessageJson(message, answer).dump());
    return answer;
}

void TerminalPresentation::SetResumeOffer(bool visible) {
    std::lock_guard lock(mutex_);
    if (setup_.style == OutputStyle::Json) {
        Emit(ResumeOfferJson(visible).dump());
    } else if (visible) {
        WriteError("A backup of this device exists: `flintcast resume` continues the update.", kYellow);
    }
}

void TerminalPresentation::RunEnded(int slot) {
    std::lock_guard lock(mutex_);
    if (setup_.style == OutputStyle::Json) {
        Emit(EndJson(slot).dump());
        return;
    }
    ClearBar();
    lastPercent_ = -1;
    speedStart_.reset();
}

void TerminalPresentation::Waiting(uint32_t msLeft) {
    std::lock_guard lock(mutex_);
    constexpr uint32_t kReportEveryMs = 10000;
    if (msLeft == 0) {
        if (lastWaitReport_ && setup_.style == OutputStyle::Terminal) ClearBar();
        lastWaitReport_.reset();
        return;
    }
    const bool due = !lastWaitReport_ || *lastWaitReport_ >= msLeft + kReportEveryMs;
    if (setup_.style == OutputStyle::Terminal) {
        if (phases_.current()) return;
        lastWaitReport_ = msLeft;
        Write(setup_.out, fmt::format("{}… Waiting for a ready unit: {} left (--device-wait)", kClearLine,
                                      DurationText(msLeft + 999)));
        barShown_ = true;
        return;
    }
    if (!due) return;
    lastWaitReport_ = msLeft;
    if (setup_.style == OutputStyle::Json) {
        nlohmann::json e = WaitingJson((msLeft + 999) / 1000);
        Emit(e.dump());
    } else {
        Write(setup_.out, fmt::format("Waiting for a ready unit: {} s left\n", (msLeft + 999) / 1000));
    }
}

void TerminalPresentation::FinishPhases(controller::PhaseOutcome outcome) {
    std::lock_guard lock(mutex_);
    ShowPhaseEvents(phases_.OnRunEnded(outcome, NowMs()));
}

void TerminalPresentation::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (!setup_.logShown) return;
    if (setup_.style == OutputStyle::Json) {
        Emit(NoteJson(text).dump());
        return;
    }
    ClearBar();
    Write(setup_.out, text + "\n");
    if (setup_.style == OutputStyle::Terminal) DrawLive(true);
}

void TerminalPresentation::Raw(const std::string& line) {
    std::lock_guard lock(mutex_);
    ClearBar();
    Write(setup_.out, line + "\n");
}

void TerminalPresentation::Error(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (setup_.style == OutputStyle::Json) {
        Emit(ErrorJson(text).dump());
        return;
    }
    WriteError(text, kRed);
}

void TerminalPresentation::Result(int exitCode, const std::string& runLog) {
    std::lock_guard lock(mutex_);
    if (setup_.style == OutputStyle::Json) {
        Emit(ResultJson(exitCode, runLog).dump());
        return;
    }
    ClearBar();
    if (!runLog.empty()) Write(setup_.out, fmt::format("Run log: {}\n", runLog));
}

}  // namespace flintcast::cli
