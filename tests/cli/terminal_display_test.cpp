// The terminal display of a simulated run, rendered from what a pseudo-terminal receives: one line
// per phase with outcome and time, a live bar while images are written, errors on the error
// stream, the raw log only with --verbose; and the answers to the run's questions.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/terminal_presentation.h"
#include "platform/pty.h"
#include "devkit/temp_dir.h"

namespace flintcast::cli {
namespace {

// What a terminal shows for `bytes`: carriage returns go back to the line start, "erase line"
// empties it, colour sequences change nothing on the text.
std::vector<std::string> Render(const std::string& bytes) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            size_t end = i + 2;
            while (end < bytes.size() && !std::isalpha(static_cast<unsigned char>(bytes[end]))) ++end;
            if (end < bytes.size() && bytes[end] == 'K') lines.back().clear();
            i = end;
        } else if (c == '\r') {
            lines.back().clear();  // the display only ever rewrites a whole line
        } else if (c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

// A pseudo-terminal whose output a thread collects until it is closed.
class Terminal {
public:
    Terminal() {
        out_ = std::fopen(pty_.slavePath().c_str(), "w");
        pty_.holdSlave(false);  // closing our end hangs the terminal up
        reader_ = std::thread([this] {
            char buf[4096];
            for (;;) {
                pollfd p{pty_.masterFd(), POLLIN, 0};
                if (::poll(&p, 1, 2000) <= 0) break;
                const ssize_t n = ::read(pty_.masterFd(), buf, sizeof buf);
                if (n <= 0) break;
                bytes_.append(buf, static_cast<size_t>(n));
            }
        });
    }
    ~Terminal() {
        if (out_ != nullptr) std::fclose(out_);
        if (reader_.joinable()) reader_.join();
    }
    std::FILE* out() { return out_; }
    // Closes the terminal's writing end and returns everything it received.
    std::string Close() {
        std::fclose(out_);
        out_ = nullptr;
        reader_.join();
        return bytes_;
    }

private:
    platform::PtyPair pty_;
    std::FILE* out_ = nullptr;
    std::string bytes_;
    std::thread reader_;
};

std::string ReadAll(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) text.append(buf, n);
    return text;
}

// The lines of a simulated run of the default package (repeated reads and retries mostly left
// out), with its progress as the worker reports it.
void PlayRun(TerminalPresentation& view) {
    const std::vector<std::pair<int, std::string>> before = {
        {4, "Check......"},       {4, "Check......completely"}, {4, "Start succssfully"},
        {4, "Read SN"},           {4, "Backup NV......OK"},     {4, "Backup succssfully"},
        {4, "Sending nop_cmd...0"}, {4, "Run DLOAD program successfully"}, {4, "Downloading dbl file"},
        {4, "Downloading D003..."}, {4, "Re_transmit data"}};
    for (const auto& [kind, text] : before) view.ShowLine(0, kind, text);
    view.SetStatus(" Upgrading...", controller::RunState::InProgress);
    for (int position = 0; position <= 60; position += 3) {
        view.SetProgress(0, position, 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    view.ShowLine(0, 4, "Downloading Application EFS...");
    for (int position = 63; position <= 99; position += 3) view.SetProgress(0, position, 100);
    for (const auto& text : {"Reset or power off......", "Receive device Arrival after reset", "Restore NV Start.",
                             "Restore SN"}) {
        view.ShowLine(0, 4, text);
    }
    view.SetProgress(0, 100, 100);
    view.ShowLine(0, 3, "PASS");
    view.SetStatus(" Complete", controller::RunState::Succeeded);
    view.RunEnded(0);
    view.FinishPhases(controller::PhaseOutcome::Ok);
}

TEST(TerminalDisplay, ASimulatedRunShowsOneLinePerPhaseAndALiveBar) {
    Terminal terminal;
    ASSERT_NE(terminal.out(), nullptr);
    EXPECT_EQ(ChooseOutputStyle(terminal.out(), false), OutputStyle::Terminal);
    EXPECT_EQ(ChooseOutputStyle(terminal.out(), true), OutputStyle::Json);
    testing::TempDir dir;
    std::FILE* err = std::fopen((dir.path() / "err").c_str(), "w+");
    PresentationSetup setup;
    setup.out = terminal.out();
    setup.err = err;
    setup.style = OutputStyle::Terminal;
    setup.colour = true;
    TerminalPresentation view(setup);
    view.SetImageBytes(30u << 20);
    PlayRun(view);
    view.Result(0, "");
    const std::string bytes = terminal.Close();
    const auto lines = Render(bytes);

    std::vector<std::string> phases;
    for (const auto& line : lines) {
        if (line.rfind("\u2714 ", 0) == 0) phases.push_back(line.substr(4, line.find("  ") - 4));
        EXPECT_EQ(line.find("Re_transmit"), std::string::npos) << "raw log line without --verbose: " << line;
    }
    EXPECT_EQ(phases, (std::vector<std::string>{"Checks", "Backup", "Boot loader", "Image AMSS modem",
                                                "Image application EFS", "Reset", "Restore"}));
    for (const auto& line : lines) {
        if (line.rfind("\u2714 ", 0) == 0) {
            EXPECT_NE(line.find(" ok "), std::string::npos) << line;
            EXPECT_EQ(line.substr(line.size() - 2), " s") << line;
        }
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "status: Complete"), lines.end());
    // The bar was drawn in place: percent, bytes of the total, speed and time left on one line.
    const auto bar = bytes.find("Image AMSS modem");
    ASSERT_NE(bar, std::string::npos);
    EXPECT_NE(bytes.find("30.0 MiB  "), std::string::npos);
    EXPECT_NE(bytes.find("/s  "), std::string::npos);
    EXPECT_NE(bytes.find(" left"), std::string::npos);
    EXPECT_NE(bytes.find("\r\x1b[2K\x1b[1mImage AMSS modem"), std::string::npos);
    // Phase lines in green; nothing on the error stream for a passed run.
    EXPECT_NE(bytes.find("\x1b[32m\u2714 Checks"), std::string::npos);
    EXPECT_EQ(ReadAll(err), "");
    std::fclose(err);
}

TEST(TerminalDisplay, FailuresGoToTheErrorStreamAndVerboseShowsTheRawLog) {
    Terminal terminal;
    testing::TempDir dir;
    std::FILE* err = std::fopen((dir.path() / "err").c_str(), "w+");
    PresentationSetup setup;
    setup.out = terminal.out();
    setup.err = err;
    setup.style = OutputStyle::Terminal;
    setup.verbose = true;
    TerminalPresentation view(setup);
    view.ShowLine(0, 4, "Start succssfully");
    view.ShowLine(0, 4, "Read SN");
    view.ShowLine(0, 2, "ERROR, Fail to read IMEI, Error code: 3");
    view.SetStatus(" Upgrade failed", controller::RunState::Failed);
    view.FinishPhases(controller::PhaseOutcome::Failed);
    const auto lines = Render(terminal.Close());
    const std::string errors = ReadAll(err);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Read SN"), lines.end()) << "--verbose shows the raw log";
    bool failedPhase = false;
    for (const auto& line : lines) {
        failedPhase = failedPhase || line.rfind("\u2718 Backup", 0) == 0;
        EXPECT_EQ(line.find("Fail to read IMEI"), std::string::npos) << "an error on the output stream: " << line;
    }
    EXPECT_TRUE(failedPhase);
    EXPECT_NE(errors.find("ERROR, Fail to read IMEI, Error code: 3\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("status: Upgrade failed"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\x1b'), std::string::npos) << "no colour on a stream that is not a terminal";
    std::fclose(err);
}

TEST(TerminalDisplay, QuestionsAreAnsweredByYesByTheTerminalOrCancelled) {
    testing::TempDir dir;
    const controller::Message question{"Warning", "Update the unit?", controller::MessageButtons::OkCancel};
    const controller::Message yesNo{"Warning", "Update again?", controller::MessageButtons::YesNo};
    auto answer = [&](AnswerMode mode, const char* typed, const controller::Message& message) {
        std::FILE* in = std::fopen((dir.path() / "in").c_str(), "w+");
        std::fputs(typed, in);
        std::rewind(in);
        std::FILE* err = std::fopen((dir.path() / "err").c_str(), "w+");
        std::FILE* out = std::fopen((dir.path() / "out").c_str(), "w+");
        PresentationSetup setup;
        setup.out = out;
        setup.err = err;
        setup.in = in;
        setup.answers = mode;
        TerminalPresentation view(setup);
        const auto result = view.ShowMessage(message);
        EXPECT_NE(ReadAll(err).find("Update"), std::string::npos) << "the question is shown on the error stream";
        EXPECT_EQ(ReadAll(out), "");
        for (auto* f : {in, err, out}) std::fclose(f);
        return result;
    };
    using controller::MessageAnswer;
    EXPECT_EQ(answer(AnswerMode::Yes, "", question), MessageAnswer::Ok);
    EXPECT_EQ(answer(AnswerMode::Yes, "", yesNo), MessageAnswer::Yes);
    EXPECT_EQ(answer(AnswerMode::Cancel, "o\n", question), MessageAnswer::Cancel);
    EXPECT_EQ(answer(AnswerMode::Cancel, "y\n", yesNo), MessageAnswer::No);
    EXPECT_EQ(answer(AnswerMode::Ask, "o\n", question), MessageAnswer::Ok);
    EXPECT_EQ(answer(AnswerMode::Ask, "\n", question), MessageAnswer::Cancel);
    EXPECT_EQ(answer(AnswerMode::Ask, "", yesNo), MessageAnswer::No);  // end of input
    EXPECT_EQ(answer(AnswerMode::Ask, "y\n", yesNo), MessageAnswer::Yes);
}

TEST(TerminalDisplay, ColourOnlyOnATerminalAndNeverWithNoColor) {
    Terminal terminal;
    const char* saved = std::getenv("NO_COLOR");
    const std::string keep = saved ? saved : "";
    ::setenv("TERM", "xterm", 1);
    ::unsetenv("NO_COLOR");
    EXPECT_TRUE(ColourWanted(terminal.out()));
    ::setenv("NO_COLOR", "1", 1);
    EXPECT_FALSE(ColourWanted(terminal.out()));
    ::setenv("NO_COLOR", "", 1);  // an empty value does not count
    EXPECT_TRUE(ColourWanted(terminal.out()));
    testing::TempDir dir;
    std::FILE* file = std::fopen((dir.path() / "f").c_str(), "w");
    ::unsetenv("NO_COLOR");
    EXPECT_FALSE(ColourWanted(file));
    std::fclose(file);
    if (saved) ::setenv("NO_COLOR", keep.c_str(), 1);
}

}  // namespace
}  // namespace flintcast::cli
