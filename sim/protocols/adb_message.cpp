#include "sim/protocols/adb_message.h"

#include <algorithm>

namespace flintcast::sim {
namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

AdbMessageDecoder::Status AdbMessageDecoder::Feed(std::span<const uint8_t> bytes, std::vector<AdbMessage>& out) {
    if (failed_ != Status::Ok) return failed_;
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (!inData_) {
            const size_t take = std::min(kAdbHeaderBytes - header_.size(), bytes.size() - pos);
            header_.insert(header_.end(), bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + take));
            pos += take;
            if (header_.size() < kAdbHeaderBytes) break;
            const uint8_t* h = header_.data();
            current_ = {Le32(h), Le32(h + 4), Le32(h + 8), {}};
            dataLength_ = Le32(h + 12);
            header_.clear();
            if (Le32(h + 20) != (current_.command ^ 0xFFFFFFFFu)) return failed_ = Status::BadMagic;
            if (dataLength_ > kAdbMaxAccepted) return failed_ = Status::TooLong;
            current_.data.reserve(dataLength_);
            inData_ = true;
        }
        const size_t take = std::min<size_t>(dataLength_ - current_.data.size(), bytes.size() - pos);
        current_.data.insert(current_.data.end(), bytes.begin() + static_cast<long>(pos),
                             bytes.begin() + static_cast<long>(pos + take));
        pos += take;
        if (current_.data.size() == dataLength_) {
            out.push_back(std::move(current_));
            current_ = {};
            inData_ = false;
        }
    }
    return Status::Ok;
}

std::vector<uint8_t> EncodeAdbMessage(uint32_t command, uint32_t arg0, uint32_t arg1, std::span<const uint8_t> data) {
    std::vector<uint8_t> out;
    out.reserve(kAdbHeaderBytes + data.size());
    uint32_t check = 0;
    for (uint8_t b : data) check += b;
    PutLe32(out, command);
    PutLe32(out, arg0);
    PutLe32(out, arg1);
    PutLe32(out, static_cast<uint32_t>(data.size()));
    PutLe32(out, check);
    PutLe32(out, command ^ 0xFFFFFFFFu);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::string AdbCommandName(uint32_t command) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(command >> (8 * i));
        s.push_back(c >= ' ' && c <= '~' ? c : '?');
    }
    return s;
}

}  // namespace flintcast::sim
