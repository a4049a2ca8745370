#pragma once
// The fastboot network protocol over TCP: after the "FB01" greeting each way, every packet
// in either direction is preceded by its length as 8 bytes, big-endian.
#include <vector>

#include "engine/fastboot_transport.h"
#include "platform/tcp_stream.h"

namespace flintcast::engine {

class FastbootTcpTransport : public FastbootTransport {
public:
    // The longest reply packet accepted; fastboot replies are at most 64 bytes, and a longer
    // length means the stream is out of step.
    static constexpr uint64_t kMaxReplyBytes = 256;
    static constexpr uint32_t kConnectTimeoutMs = 5000;
    static constexpr uint32_t kGreetingTimeoutMs = 5000;

    explicit FastbootTcpTransport(const platform::Clock& clock) : stream_(clock) {}

    // Connects and exchanges the greeting; false with lastError() set otherwise.
    bool Connect(const std::string& host, uint16_t port);

    bool Write(std::span<const uint8_t> data, uint32_t timeoutMs, size_t& written) override;
    bool Read(std::span<uint8_t> buffer, uint32_t timeoutMs, size_t& got) override;
    bool Close() override;
    std::string lastError() const override { return error_; }

private:
    platform::TcpStream stream_;
    std::string error_;
    std::vector<uint8_t> packet_;  // the packet being written, its length in front
};

}  // namespace flintcast::engine
