#pragma once
// The fastboot network framing as the device sees it: the client opens with "FB" and two
// version digits, the device answers with its own, then every packet in either direction is
// an 8-byte big-endian length followed by that many bytes. The decoder hands packet bytes on
// as they arrive, so a large data packet is never held whole.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flintcast::sim {

inline constexpr size_t kFastbootHandshakeBytes = 4;
inline constexpr size_t kFastbootLengthBytes = 8;
inline constexpr int kFastbootTcpVersion = 1;

// One piece of a packet: `first` on the piece that starts it (then `packetLength` is its
// announced length), `last` on the piece that completes it. A zero-length packet comes as one
// piece with both set and no bytes.
struct FastbootPiece {
    std::span<const uint8_t> bytes;
    uint64_t packetLength = 0;
    bool first = false;
    bool last = false;
};

class FastbootStreamDecoder {
public:
    enum class Status { Ok, BadHandshake };

    // Consumes `bytes`; appends the pieces found (spans into `bytes`) to `out`. After
    // BadHandshake the decoder takes nothing more: the device drops the connection.
    Status Feed(std::span<const uint8_t> bytes, std::vector<FastbootPiece>& out);

    bool handshakeDone() const { return handshakeDone_; }
    // The client's protocol version from its handshake.
    int clientVersion() const { return clientVersion_; }

private:
    bool handshakeDone_ = false;
    bool failed_ = false;
    int clientVersion_ = 0;
    std::string handshake_;
    uint8_t header_[kFastbootLengthBytes]{};
    size_t headerUsed_ = 0;
    uint64_t remaining_ = 0;  // bytes still to come of the current packet
    bool inPacket_ = false;
};

// The device's answer to a good handshake.
std::vector<uint8_t> FastbootHandshakeReply();
// 8-byte big-endian length then `payload`.
std::vector<uint8_t> FastbootPacket(std::span<const uint8_t> payload);
std::vector<uint8_t> FastbootPacket(const std::string& payload);

}  // namespace flintcast::sim
