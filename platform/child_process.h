#pragma once
// A helper program the tool starts and later stops itself (the simulator of the demo): started
// with an argument vector (never a shell), its output sent to a file, ended with SIGTERM and,
// when it does not end in time, SIGKILL.
#include <filesystem>
#include <string>
#include <vector>

namespace flintcast::platform {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program`; standard output and error go to `outputFile` (or /dev/null when empty).
    // False (errno set) when it could not be started.
    bool Start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFile = {});
    bool running();
    // Asks the program to end and waits up to `waitRealMs` real milliseconds before killing it.
    // Returns its exit status, or -1 when it was killed or did not exit normally.
    int Stop(int waitRealMs = 5000);
    int pid() const { return pid_; }

private:
    int pid_ = -1;
    int status_ = -1;
#ifdef _WIN32
    void* process_ = nullptr;  // the process HANDLE while it runs
#endif
};

}  // namespace flintcast::platform
