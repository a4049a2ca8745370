#pragma once
// The control channel: a Unix socket in the device root. A client sends one command line
// ("unplug", "plug", "reset", "state", "personality download", "fault drop-reply@1") and reads
// one answer that starts with "OK" or "ERROR".
#include <filesystem>
#include <functional>
#include <string>

namespace flintcast::sim {

inline constexpr const char* kControlSocketName = "devsim.sock";

class ControlServer {
public:
    // Binds <root>/devsim.sock (an old socket file is replaced). Throws std::runtime_error.
    explicit ControlServer(const std::filesystem::path& root);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    int fd() const { return fd_; }
    // Accepts one waiting client, reads its command line, answers with `handle(line)`.
    void Serve(const std::function<std::string(const std::string&)>& handle);

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

// Sends one command to the simulator whose root is `root`; prints the answer. Returns the exit
// code for the client program: 0 for an "OK" answer, 1 for "ERROR", 2 when it cannot connect.
int RunControlClient(const std::filesystem::path& root, const std::string& command);

}  // namespace flintcast::sim
