#pragma once
// Process start shared by the Windows process helpers (process.cpp, child_process.cpp).
#include <windows.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace flintcast::platform::win32 {

struct StartedProcess {
    HANDLE process = nullptr;  // null when the start failed (errno set)
    int pid = -1;
};

// Starts `program` with the quoted command line of `arguments`, our environment plus
// `environment`, in `workingDirectory` (empty: ours). `output` (inheritable, or null) receives
// standard output and error; a hidden start without it sends them to NUL.
StartedProcess StartProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                            const std::vector<std::pair<std::string, std::string>>& environment,
                            const std::filesystem::path& workingDirectory, bool hidden, HANDLE output);

// 0..255 for a program that exited, -1 otherwise.
int ExitStatusOf(HANDLE process);

}  // namespace flintcast::platform::win32
