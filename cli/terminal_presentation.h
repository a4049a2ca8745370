#pragma once
// The run controller's presentation on the command line, in one of three styles:
//  - Terminal (standard output is a terminal): one line per phase with its outcome and time, a
//    live bar redrawn in place while images are written, errors and warnings in colour; the raw
//    log lines only with --verbose;
//  - Plain (a pipe or file): every log line as it comes, "progress N%" per tenth;
//  - Json (--json): one event per line, as docs/json-events.md describes.
// Errors, refusals and warnings go to the error stream in the text styles; results, progress and
// JSON to the output stream. Safe to call from several threads.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "controller/presentation.h"
#include "controller/run_phases.h"

namespace flintcast::cli {

enum class OutputStyle { Terminal, Plain, Json };

// Terminal when `stream` is a terminal, else plain; JSON when asked for.
OutputStyle ChooseOutputStyle(std::FILE* stream, bool json);
// Colour on `stream`: a terminal, NO_COLOR unset or empty, TERM not "dumb".
bool ColourWanted(std::FILE* stream);

// How a question with OK and Cancel is answered.
enum class AnswerMode {
    Cancel,  // nobody to ask: Cancel (No)
    Ask,     // ask on the terminal
    Yes,     // --yes: OK (Yes)
};
// --yes answers OK; otherwise a terminal on standard input is asked; otherwise Cancel.
AnswerMode ChooseAnswerMode(bool yes);

struct PresentationSetup {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    std::FILE* in = stdin;
    OutputStyle style = OutputStyle::Plain;
    AnswerMode answers = AnswerMode::Cancel;
    bool verbose = false;     // Terminal style: the raw log lines too
    bool colour = false;      // Terminal style: colours on the output stream
    bool errColour = false;   // colours on the error stream
    bool logShown = true;     // false: only failures of the log and no notes (a listing command)
};

class TerminalPresentation : public controller::Presentation {
public:
    explicit TerminalPresentation(const PresentationSetup& setup);

    void ShowLine(int slot, int kind, const std::string& text) override;
    void SetProgress(int slot, int position, int maximum) override;
    void SetStatus(const std::string& text, controller::RunState state) override;
    void SetRunState(controller::RunState) override {}
    controller::MessageAnswer ShowMessage(const controller::Message& message) override;
    void SetResumeOffer(bool visible) override;
    void RunEnded(int slot) override;

    // The image bytes of the verified set, for the bytes and speed of the progress display.
    void SetImageBytes(uint64_t total);
    // Waiting for a ready unit with `msLeft` (tool time) to go; 0 when the wait is over.
    void Waiting(uint32_t msLeft);
    // The run is over with this outcome: the open phase ends with it.
    void FinishPhases(controller::PhaseOutcome outcome);
    // Lines that are not the controller's: information on the output stream...
    void Note(const std::string& text);
    // A result line as it stands on the output stream (a listing, a JSON object).
    void Raw(const std::string& line);
    // ... and errors or refusals on the error stream.
    void Error(const std::string& text);
    // The closing event: the exit code and its meaning (JSON), the run log's place (text).
    void Result(int exitCode, const std::string& runLog);
    // True once the output stream could not be written (a closed pipe).
    bool outputClosed() const { return outputClosed_; }

private:
    using SteadyClock = std::chrono::steady_clock;

    std::mutex mutex_;  // the device check thread prints too
    PresentationSetup setup_;
    controller::PhaseTracker phases_;
    SteadyClock::time_point started_ = SteadyClock::now();
    uint64_t imageBytes_ = 0;
    bool barShown_ = false;
    int lastPercent_ = -1;
    int lastPlainDecile_ = -1;
    // Speed from the first progress of the images to the latest.
    std::optional<std::pair<SteadyClock::time_point, uint64_t>> speedStart_;
    double bytesPerSecond_ = 0;
    uint64_t bytesDone_ = 0;
    SteadyClock::time_point lastDraw_{};
    bool outputClosed_ = false;
    std::optional<uint32_t> lastWaitReport_;  // ms left at the last plain or JSON report

    uint32_t NowMs() const;
    void Write(std::FILE* stream, const std::string& text);
    void Emit(const std::string& jsonObject);
    void ClearBar();
    void DrawLive(bool force);
    void ShowPhaseEvents(const std::vector<controller::PhaseEvent>& events);
    void WriteError(const std::string& text, std::string_view colour);
};

}  // namespace flintcast::cli
