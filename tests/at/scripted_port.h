#pragma once
// A scripted device behind a pseudo-terminal: every chunk the tool writes is
// handed to a responder, whose answer is written back. The slave end appears
// as <root>/dev/<name>, so the tool opens it like any port of a device.
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/pty.h"

namespace flintcast::testing {

class ScriptedPort {
public:
    using Responder = std::function<std::string(const std::string& received)>;

    ScriptedPort(const std::filesystem::path& root, const std::string& name, Responder responder)
        : responder_(std::move(responder)) {
        std::filesystem::create_directories(root / "dev");
        link_ = root / "dev" / name;
        std::filesystem::create_symlink(pty_.slavePath(), link_);
        pty_.holdSlave(true);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedPort() {
        stop_ = true;
        thread_.join();
        std::error_code ec;
        std::filesystem::remove(link_, ec);
    }
    ScriptedPort(const ScriptedPort&) = delete;
    ScriptedPort& operator=(const ScriptedPort&) = delete;

    // Writes bytes the device sends on its own (a late part of a reply).
    void Send(const std::string& bytes) {
        [[maybe_unused]] const ssize_t w = ::write(pty_.masterFd(), bytes.data(), bytes.size());
    }

    // Everything the tool wrote, chunk by chunk.
    std::vector<std::string> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    platform::PtyPair pty_;
    Responder responder_;
    std::filesystem::path link_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;

    void run() {
        char buffer[4096];
        while (!stop_) {
            pollfd p{pty_.masterFd(), POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0 || (p.revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
            if (n <= 0) {
                continue;
            }
            const std::string chunk(buffer, static_cast<size_t>(n));
            {
                std::lock_guard lock(mutex_);
                received_.push_back(chunk);
            }
            const std::string answer = responder_(chunk);
            if (!answer.empty()) {
                [[maybe_unused]] const ssize_t w = ::write(pty_.masterFd(), answer.data(), answer.size());
            }
        }
    }
};

}  // namespace flintcast::testing
