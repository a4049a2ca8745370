#pragma once
// The control channel: a Unix socket in the device root. A client sends one command line
// ("unplug", "plug", "reset", "state", "personality download", "fault drop-reply@1") and reads
// one answer that starts with "OK" or "ERROR".
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace flintcast::sim {

inline constexpr const char* kControlSocketName = "devsim.sock";

class ControlServer {
public:
    // Binds <root>/devsim.sock (an old socket file is replaced). Throws std::runtime_error.
    explicit ControlServer(const std::filesystem::path& root);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    using Handler = std::function<std::string(const std::string&)>;

    int fd() const { return fd_; }
    // Accepts a waiting client. Its command is read as it arrives, so a slow client never holds
    // up the device.
    void Accept();
    // Descriptors of clients whose command line is not complete yet.
    std::vector<int> clientFds() const;
    // Reads what client `fd` sent; once its line is complete, answers with `handle(line)` and
    // closes the connection.
    void Serve(int fd, const Handler& handle);

private:
    struct Client {
        int fd;
        std::string line;
    };
    int fd_ = -1;
    std::filesystem::path path_;
    std::vector<Client> clients_;

    void Close(size_t index);
};

// Sends one command to the simulator whose root is `root`; prints the answer. Returns the exit
// code for the client program: 0 for an "OK" answer, 1 for "ERROR", 2 when it cannot connect.
int RunControlClient(const std::filesystem::path& root, const std::string& command);

}  // namespace flintcast::sim
