#pragma once
// Starting helper programs: posix_spawn with an argument vector (never a
// shell), without waiting. The child is reaped in the background so it never
// lingers as a zombie.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

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

}  // namespace flintcast::platform
