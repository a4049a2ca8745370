#include "engine/fastboot_tcp_transport.h"

#include <algorithm>
#include <array>

#include <fmt/format.h>

namespace flintcast::engine {
namespace {

constexpr std::array<uint8_t, 4> kGreeting{'F', 'B', '0', '1'};

std::array<uint8_t, 8> LengthPrefix(uint64_t length) {
    std::array<uint8_t, 8> out{};
    for (int i = 7; i >= 0; --i) {
        out[static_cast<size_t>(i)] = static_cast<uint8_t>(length & 0xFF);
        length >>= 8;
    }
    return out;
}

uint64_t ReadLengthPrefix(const std::array<uint8_t, 8>& bytes) {
    uint64_t value = 0;
    for (uint8_t b : bytes) value = (value << 8) | b;
    return value;
}

}  // namespace

bool FastbootTcpTransport::Connect(const std::string& host, uint16_t port) {
    if (!stream_.Connect(host, port, kConnectTimeoutMs)) {
        error_ = stream_.error();
        return false;
    }
    size_t moved = 0;
    if (!stream_.SendAll(kGreeting.data(), kGreeting.size(), kGreetingTimeoutMs, moved)) {
        error_ = fmt::format("fastboot greeting not sent: {}", stream_.error());
        return false;
    }
    std::array<uint8_t, 4> reply{};
    if (!stream_.ReceiveExact(reply.data(), reply.size(), kGreetingTimeoutMs, moved)) {
        error_ = fmt::format("no fastboot greeting from {}:{}: {}", host, port, stream_.error());
        return false;
    }
    // "FB" and a two-digit protocol version; version 01 is the one this tool speaks.
    if (reply[0] != 'F' || reply[1] != 'B' || reply[2] != '0' || reply[3] != '1') {
        error_ = fmt::format("{}:{} does not speak fastboot protocol version 01", host, port);
        stream_.Close();
        return false;
    }
    return true;
}

bool FastbootTcpTransport::Write(std::span<const uint8_t> data, uint32_t timeoutMs, size_t& written) {
    written = 0;
    const auto prefix = LengthPrefix(data.size());
    // Length and packet leave in one send: one segment per block instead of two.
    packet_.resize(prefix.size() + data.size());
    std::copy(prefix.begin(), prefix.end(), packet_.begin());
    std::copy(data.begin(), data.end(), packet_.begin() + static_cast<std::ptrdiff_t>(prefix.size()));
    size_t moved = 0;
    const bool sent = stream_.SendAll(packet_.data(), packet_.size(), timeoutMs, moved);
    written = moved > prefix.size() ? moved - prefix.size() : 0;
    if (!sent) error_ = stream_.error();
    return sent;
}

bool FastbootTcpTransport::Read(std::span<uint8_t> buffer, uint32_t timeoutMs, size_t& got) {
    got = 0;
    std::array<uint8_t, 8> prefix{};
    size_t moved = 0;
    if (!stream_.ReceiveExact(prefix.data(), prefix.size(), timeoutMs, moved)) {
        error_ = stream_.error();
        return false;
    }
    const uint64_t length = ReadLengthPrefix(prefix);
    if (length > kMaxReplyBytes) {
        // Reading on would take image-sized data for a reply: the link is closed instead.
        error_ = fmt::format("reply packet of {} bytes is longer than any fastboot reply", length);
        stream_.Close();
        return false;
    }
    std::array<uint8_t, kMaxReplyBytes> packet{};
    if (!stream_.ReceiveExact(packet.data(), static_cast<size_t>(length), timeoutMs, moved)) {
        error_ = stream_.error();
        return false;
    }
    // The whole packet is taken off the stream; the caller gets what fits its buffer.
    got = std::min(buffer.size(), static_cast<size_t>(length));
    std::copy_n(packet.begin(), got, buffer.begin());
    return true;
}

bool FastbootTcpTransport::Close() { return stream_.Close(); }

}  // namespace flintcast::engine
