#include "cli/terminal_presentation.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>

namespace flintcast::cli {

namespace {

constexpr std::string_view kRed = "\x1b[31m";
constexpr std::string_view kGreen = "\x1b[32m";
constexpr std::string_view kDim = "\x1b[2m";
constexpr std::string_view kReset = "\x1b[0m";
constexpr int kBarWidth = 40;

std::string_view StateName(controller::RunState state) {
    switch (state) {
        case controller::RunState::InProgress: return "in-progress";
        case controller::RunState::Failed: return "failed";
        case controller::RunState::Succeeded: return "succeeded";
        case controller::RunState::Idle: break;
    }
    return "idle";
}

}  // namespace

OutputStyle ChooseOutputStyle(std::FILE* stream, bool json) {
    if (json) return OutputStyle::Json;
    return ::isatty(::fileno(stream)) ? OutputStyle::Terminal : OutputStyle::Plain;
}

TerminalPresentation::TerminalPresentation(std::FILE* out, OutputStyle style, bool interactive)
    : out_(out), style_(style), interactive_(interactive) {}

void TerminalPresentation::Emit(const std::string& jsonObject) {
    std::fputs(jsonObject.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TerminalPresentation::ClearBar() {
    if (!barShown_) return;
    std::fputs("\r\x1b[2K", out_);
    barShown_ = false;
}

void TerminalPresentation::DrawBar(int percent) {
    const int filled = percent * kBarWidth / 100;
    fmt::print(out_, "\r\x1b[2K[{}{}] {:3}%", std::string(static_cast<size_t>(filled), '#'),
               std::string(static_cast<size_t>(kBarWidth - filled), '.'), percent);
    std::fflush(out_);
    barShown_ = true;
}

void TerminalPresentation::ShowLine(int slot, int kind, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == OutputStyle::Json) {
        Emit(nlohmann::json{{"event", "line"}, {"slot", slot}, {"kind", kind}, {"text", text}}.dump());
        return;
    }
    if (style_ == OutputStyle::Plain) {
        fmt::print(out_, "{}\n", text);
        std::fflush(out_);
        return;
    }
    ClearBar();
    std::string_view colour = kind == 2 ? kRed : kind == 3 ? kGreen : kind == 4 ? kDim : std::string_view{};
    fmt::print(out_, "{}{}{}\n", colour, text, colour.empty() ? "" : kReset);
    if (lastPercent_ >= 0 && lastPercent_ < 100) DrawBar(lastPercent_);
    std::fflush(out_);
}

void TerminalPresentation::SetProgress(int slot, int position, int maximum) {
    std::lock_guard lock(mutex_);
    const int percent = maximum > 0 ? std::clamp(position * 100 / maximum, 0, 100) : 0;
    if (style_ == OutputStyle::Json) {
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        Emit(nlohmann::json{{"event", "progress"}, {"slot", slot}, {"position", position}, {"maximum", maximum}}
                 .dump());
        return;
    }
    if (style_ == OutputStyle::Plain) {
        // A pipe gets a line per tenth, not a redrawn bar.
        const int decile = percent / 10;
        if (decile != lastPlainDecile_) {
            lastPlainDecile_ = decile;
            fmt::print(out_, "progress {}%\n", percent);
            std::fflush(out_);
        }
        lastPercent_ = percent;
        return;
    }
    if (percent == lastPercent_ && barShown_) return;
    lastPercent_ = percent;
    DrawBar(percent);
}

void TerminalPresentation::SetStatus(const std::string& text, controller::RunState state) {
    std::lock_guard lock(mutex_);
    if (style_ == OutputStyle::Json) {
        Emit(nlohmann::json{{"event", "status"}, {"text", text}, {"state", StateName(state)}}.dump());
        return;
    }
    if (style_ == OutputStyle::Terminal) ClearBar();
    std::string_view colour = style_ != OutputStyle::Terminal              ? std::string_view{}
                              : state == controller::RunState::Failed    ? kRed
                              : state == controller::RunState::Succeeded ? kGreen
                                                                          : std::string_view{};
    fmt::print(out_, "{}status:{}{}\n", colour, text, colour.empty() ? "" : kReset);
    std::fflush(out_);
}

controller::MessageAnswer TerminalPresentation::ShowMessage(const controller::Message& message) {
    std::lock_guard lock(mutex_);
    using controller::MessageAnswer;
    using controller::MessageButtons;
    if (style_ == OutputStyle::Json) {
        Emit(nlohmann::json{{"event", "message"}, {"caption", message.caption}, {"text", message.text}}.dump());
    } else {
        ClearBar();
        fmt::print(out_, "[{}] {}\n", message.caption, message.text);
        std::fflush(out_);
    }
    if (message.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (interactive_ && style_ != OutputStyle::Json) {
        fmt::print(out_, "{} ", message.buttons == MessageButtons::YesNo ? "[y/N]" : "[o(k)/C(ancel)]");
        std::fflush(out_);
        std::string answer;
        std::getline(std::cin, answer);
        const bool yes = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y' || answer[0] == 'o' || answer[0] == 'O');
        if (message.buttons == MessageButtons::YesNo) return yes ? MessageAnswer::Yes : MessageAnswer::No;
        return yes ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    // Unattended: never start anything the user did not ask for.
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
}

void TerminalPresentation::SetResumeOffer(bool visible) {
    std::lock_guard lock(mutex_);
    if (style_ == OutputStyle::Json) {
        Emit(nlohmann::json{{"event", "resume-offer"}, {"visible", visible}}.dump());
    } else if (visible) {
        ClearBar();
        fmt::print(out_, "A backup of this device exists: `flintcast resume` continues the update.\n");
        std::fflush(out_);
    }
}

void TerminalPresentation::RunEnded(int slot) {
    std::lock_guard lock(mutex_);
    if (style_ == OutputStyle::Json) {
        Emit(nlohmann::json{{"event", "end"}, {"slot", slot}}.dump());
        return;
    }
    ClearBar();
    lastPercent_ = -1;
}

void TerminalPresentation::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == OutputStyle::Json) {
        Emit(nlohmann::json{{"event", "note"}, {"text", text}}.dump());
        return;
    }
    ClearBar();
    fmt::print(out_, "{}\n", text);
    std::fflush(out_);
}

}  // namespace flintcast::cli
