#pragma once
// A listening TCP socket on 127.0.0.1 with a port the system picks: how the simulated unit
// offers its fastboot and adb functions to clients on the same machine.
#include <cstdint>
#include <string>

namespace flintcast::sim {

class LoopbackListener {
public:
    // Throws std::runtime_error when no socket can be bound.
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int fd() const { return fd_; }
    uint16_t port() const { return port_; }
    // "127.0.0.1:PORT"
    std::string address() const;
    // A waiting connection as a non-blocking descriptor, or -1.
    int Accept();

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace flintcast::sim
