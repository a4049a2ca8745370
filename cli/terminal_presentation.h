#pragma once
// The run controller's presentation on a terminal: lines coloured by kind and a progress bar
// for the slot on a terminal; plain lines in a pipe; or one JSON object per event (--json).
// Safe to call from several threads.
#include <cstdio>
#include <mutex>
#include <string>

#include "controller/presentation.h"

namespace flintcast::cli {

enum class OutputStyle { Terminal, Plain, Json };

// Terminal when `stream` is a terminal, else plain; JSON when asked for.
OutputStyle ChooseOutputStyle(std::FILE* stream, bool json);

class TerminalPresentation : public controller::Presentation {
public:
    TerminalPresentation(std::FILE* out, OutputStyle style, bool interactive);

    void ShowLine(int slot, int kind, const std::string& text) override;
    void SetProgress(int slot, int position, int maximum) override;
    void SetStatus(const std::string& text, controller::RunState state) override;
    void SetRunState(controller::RunState) override {}
    controller::MessageAnswer ShowMessage(const controller::Message& message) override;
    void SetResumeOffer(bool visible) override;
    void RunEnded(int slot) override;

    // Lines that are not the controller's (the demo's own notes).
    void Note(const std::string& text);

private:
    std::mutex mutex_;  // the device check thread prints too
    std::FILE* out_;
    OutputStyle style_;
    bool interactive_;
    bool barShown_ = false;
    int lastPercent_ = -1;
    int lastPlainDecile_ = -1;

    void ClearBar();
    void DrawBar(int percent);
    void Emit(const std::string& jsonObject);
};

}  // namespace flintcast::cli
