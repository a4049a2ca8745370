// One images-only update of the default package on flintcast-devsim at time scale 1.0, measured:
// the run's wall time next to the waits the sequence asks for (every Clock::sleepMs while it
// runs) and the time spent inside serial reads and writes with the bytes they moved. What is
// left is the tool's own overhead (framing, file reading, line handling, thread hand-offs).
//
// The run is measured from the worker's first progress report (right after
// "Start succssfully") to the end of the worker.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "cli/run_session.h"
#include "cli/terminal_presentation.h"
#include "platform/child_process.h"
#include "platform/link_tally.h"
#include "platform/sleep_tally.h"
#include "devkit/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace flintcast;
using SteadyClock = std::chrono::steady_clock;

// USB full speed as seen by a CDC serial device: the rate a real card's data moves at.
constexpr double kUsbFullSpeedBytesPerSecond = 1.2e6;

struct Snapshot {
    SteadyClock::time_point at;
    platform::SleepTally sleeps;
    platform::LinkTally link;

    static Snapshot Take() { return {SteadyClock::now(), platform::ReadSleepTally(), platform::ReadLinkTally()}; }
};

// Prints the run as plain lines and takes a snapshot when the worker starts and when it ends.
class MeasuringView : public cli::TerminalPresentation {
public:
    MeasuringView() : TerminalPresentation(cli::PresentationSetup{}) {}

    void ShowLine(int slot, int kind, const std::string& text) override {
        if (text == "Start succssfully") startLineSeen_ = true;
        if (text == "PASS") passed = true;
        TerminalPresentation::ShowLine(slot, kind, text);
    }
    void SetProgress(int slot, int position, int maximum) override {
        if (startLineSeen_ && !started && position == 0) {
            start = Snapshot::Take();
            started = true;
        }
        TerminalPresentation::SetProgress(slot, position, maximum);
    }
    void RunEnded(int slot) override {
        if (started && !ended) {
            end = Snapshot::Take();
            ended = true;
        }
        TerminalPresentation::RunEnded(slot);
    }

    Snapshot start, end;
    bool started = false;
    bool ended = false;
    bool passed = false;

private:
    bool startLineSeen_ = false;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

double Seconds(int64_t ns) { return static_cast<double>(ns) / 1e9; }

}  // namespace

int main() {
    flintcast::testing::TempDir dir;
    const fs::path root = dir.path() / "root";
    fs::create_directories(root);
    fs::create_directories(dir.path() / "state");
    // Settings, logs, staging and backups stay in the bench's folder.
    ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir.path() / "statehome").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    ::unsetenv("FLINTCAST_TIME_SCALE");

    platform::ChildProcess simulator;
    if (!simulator.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim",
                         {"--root", root.string(), "--state", (dir.path() / "state").string(), "--time-scale", "1"},
                         dir.path() / "devsim.log")) {
        std::fprintf(stderr, "flintcast-devsim could not be started\n");
        return 1;
    }
    for (int i = 0; i < 1000 && !fs::exists(root / "dev/ttyUSB0"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!fs::exists(root / "dev/ttyUSB0")) {
        std::fprintf(stderr, "simulator did not come up:\n%s\n", ReadFile(dir.path() / "devsim.log").c_str());
        return 1;
    }

    cli::RunOptions options;
    options.deviceRoot = root.string();
    options.backupRestoreOff = true;  // images only
    options.deviceWaitSeconds = 60;
    MeasuringView view;
    const int code = cli::RunUpdate(options, view);
    simulator.Stop();

    if (code != 0 || !view.passed || !view.started || !view.ended) {
        std::fprintf(stderr, "the run did not pass (exit %d)\n", code);
        return 1;
    }
    const int64_t wallNs = std::chrono::duration_cast<std::chrono::nanoseconds>(view.end.at - view.start.at).count();
    const double waitS = static_cast<double>(view.end.sleeps.toolMs - view.start.sleeps.toolMs) / 1000.0;
    const uint64_t sleeps = view.end.sleeps.sleeps - view.start.sleeps.sleeps;
    const int64_t readNs = view.end.link.readNs - view.start.link.readNs;
    const int64_t writeNs = view.end.link.writeNs - view.start.link.writeNs;
    const uint64_t written = view.end.link.bytesWritten - view.start.link.bytesWritten;
    const uint64_t read = view.end.link.bytesRead - view.start.link.bytesRead;
    const double wallS = Seconds(wallNs);
    const double wireS = Seconds(readNs + writeNs);

    std::printf("\nImages-only update of the default package, simulated device, time scale 1.0\n");
    std::printf("  wall time of the run               %9.3f s\n", wallS);
    std::printf("  waits the sequence asks for        %9.3f s  (%llu sleeps)\n", waitS,
                static_cast<unsigned long long>(sleeps));
    std::printf("  wire time: inside port I/O         %9.3f s  (reads %.3f s, writes %.3f s)\n", wireS,
                Seconds(readNs), Seconds(writeNs));
    std::printf("    bytes written / read             %llu / %llu\n", static_cast<unsigned long long>(written),
                static_cast<unsigned long long>(read));
    std::printf("    the same bytes at USB full speed %9.3f s\n",
                static_cast<double>(written + read) / kUsbFullSpeedBytesPerSecond);
    std::printf("  tool's own overhead                %9.3f s  (wall - waits - wire)\n", wallS - waitS - wireS);
    return 0;
}
