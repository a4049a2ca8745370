#pragma once
// Starting helper programs with an argument vector (never a shell), without waiting: posix_spawn
// on Linux, where the child is reaped in the background so it never lingers as a zombie, and
// CreateProcess with a command line quoted argument by argument on Windows.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace flintcast::platform {

struct LaunchOptions {
    std::vector<std::string> arguments;  // without the program itself
    // Variables set for the child on top of this process's environment.
    std::vector<std::pair<std::string, std::string>> environment;
    // Working folder of the child; empty keeps this process's.
    std::filesystem::path workingDirectory;
    // Standard output and error go to /dev/null (a hidden start).
    bool hidden = true;
};

// Starts `program`; returns the child's process id, or -1 (errno set) when it
// could not be started.
int LaunchDetached(const std::filesystem::path& program, const LaunchOptions& options = {});

// Starts `program` and waits for it; returns its exit status (0..255), or -1
// when it could not be started or did not exit normally.
int RunAndWait(const std::filesystem::path& program, const LaunchOptions& options = {});

// The outcome of a program run to its end with its output kept.
struct CapturedRun {
    bool started = false;
    bool timedOut = false;  // it was still running at the limit and was killed
    int exitStatus = -1;    // 0..255 when it exited normally, else -1
    std::string output;     // standard output and error together, at most the kept length
    int startError = 0;     // errno when it could not be started
};

// Starts `program` (without a shell), keeps its standard output and error (in a file, so a
// background process it leaves behind can go on writing without harm), and waits for it up to
// `limitMs` tool milliseconds on `clock`; a program still running then is killed.
CapturedRun RunCaptured(const std::filesystem::path& program, const LaunchOptions& options, const Clock& clock,
                        uint32_t limitMs, size_t keptOutputBytes = 64 * 1024);

// The first executable `name` in the folders of PATH.
std::optional<std::filesystem::path> FindOnPath(std::string_view name);
// An environment variable of this process, when it is set.
std::optional<std::string> EnvironmentValue(const char* name);
// This process's id.
int CurrentProcessId();

}  // namespace flintcast::platform
