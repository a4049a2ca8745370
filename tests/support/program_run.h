#pragma once
// Runs an outside program (fastboot, adb) for a test: argument vector, extra environment,
// output and error collected together, killed when it outlives its real-time limit.
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace flintcast::simtest {

struct ProgramResult {
    int exitCode = -1;  // -1: killed, timed out or not started
    std::string output; // standard output and error
};

// `args[0]` is looked up on PATH.
ProgramResult RunProgram(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(30));

// True when `name` is an executable on PATH.
bool OnPath(const std::string& name);

}  // namespace flintcast::simtest
