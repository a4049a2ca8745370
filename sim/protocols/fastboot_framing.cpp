#include "sim/protocols/fastboot_framing.h"

#include <algorithm>

#include <fmt/format.h>

namespace flintcast::sim {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

FastbootStreamDecoder::Status FastbootStreamDecoder::Feed(std::span<const uint8_t> bytes,
                                                          std::vector<FastbootPiece>& out) {
    if (failed_) return Status::BadHandshake;
    size_t pos = 0;
    while (!handshakeDone_ && pos < bytes.size()) {
        handshake_.push_back(static_cast<char>(bytes[pos++]));
        if (handshake_.size() < kFastbootHandshakeBytes) continue;
        // "FB" and two decimal digits; a client older than version 1 does not speak this framing.
        if (handshake_[0] != 'F' || handshake_[1] != 'B' || !IsDigit(handshake_[2]) || !IsDigit(handshake_[3])) {
            failed_ = true;
            return Status::BadHandshake;
        }
        clientVersion_ = (handshake_[2] - '0') * 10 + (handshake_[3] - '0');
        if (clientVersion_ < kFastbootTcpVersion) {
            failed_ = true;
            return Status::BadHandshake;
        }
        handshakeDone_ = true;
    }
    while (pos < bytes.size()) {
        if (!inPacket_) {
            const size_t take = std::min(kFastbootLengthBytes - headerUsed_, bytes.size() - pos);
            std::copy_n(bytes.begin() + static_cast<long>(pos), take, header_ + headerUsed_);
            headerUsed_ += take;
            pos += take;
            if (headerUsed_ < kFastbootLengthBytes) break;
            headerUsed_ = 0;
            uint64_t length = 0;
            for (uint8_t b : header_) length = (length << 8) | b;
            if (length == 0) {
                out.push_back({{}, 0, true, true});
                continue;
            }
            remaining_ = length;
            inPacket_ = true;
            const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, bytes.size() - pos));
            remaining_ -= n;
            inPacket_ = remaining_ > 0;
            out.push_back({bytes.subspan(pos, n), length, true, remaining_ == 0});
            pos += n;
            continue;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, bytes.size() - pos));
        remaining_ -= n;
        inPacket_ = remaining_ > 0;
        out.push_back({bytes.subspan(pos, n), 0, false, remaining_ == 0});
        pos += n;
    }
    return Status::Ok;
}

std::vector<uint8_t> FastbootHandshakeReply() {
    const auto text = fmt::format("FB{:02d}", kFastbootTcpVersion);
    return {text.begin(), text.end()};
}

std::vector<uint8_t> FastbootPacket(std::span<const uint8_t> payload) {
    std::vector<uint8_t> out(kFastbootLengthBytes);
    uint64_t length = payload.size();
    for (size_t i = kFastbootLengthBytes; i-- > 0;) {
        out[i] = static_cast<uint8_t>(length & 0xFF);
        length >>= 8;
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> FastbootPacket(const std::string& payload) {
    return FastbootPacket(std::span(reinterpret_cast<const uint8_t*>(payload.data()), payload.size()));
}

}  // namespace flintcast::sim
