#pragma once
// A fastboot link that plays a script: it records every write (commands as text, data phases
// as their length and first bytes) and answers reads from a queue of replies.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "engine/fastboot_transport.h"

namespace flintcast::testing {

struct ScriptLog {
    // Commands as sent; each data phase as "<data N bytes from XXXXXXXX>" with its first 4 bytes.
    std::vector<std::string> writes;
    int closes = 0;
};

class ScriptedTransport : public engine::FastbootTransport {
public:
    ScriptedTransport(ScriptLog& log, std::deque<std::optional<std::string>> replies)
        : log_(log), replies_(std::move(replies)) {}

    // The data write (counted from 1 over the whole session) that fails, or 0 for none.
    int failDataWrite = 0;

    bool Write(std::span<const uint8_t> data, uint32_t, size_t& written) override {
        written = 0;
        const std::string text(reinterpret_cast<const char*>(data.data()), data.size());
        const bool command = data.size() <= 64 && !inData_;
        if (command) {
            log_.writes.push_back(text);
            if (text.starts_with("download:")) {
                dataLeft_ = std::stoull(text.substr(9), nullptr, 16);
                inData_ = dataLeft_ > 0;
                dataTotal_ = dataLeft_;
                dataHead_.clear();
            }
            written = data.size();
            return true;
        }
        if (++dataWrites_ == failDataWrite) return false;
        if (dataHead_.size() < 4) dataHead_ += text.substr(0, 4 - dataHead_.size());
        dataLeft_ -= std::min<uint64_t>(dataLeft_, data.size());
        if (dataLeft_ == 0) {
            inData_ = false;
            log_.writes.push_back("<data " + std::to_string(dataTotal_) + " bytes from " + dataHead_ + ">");
        }
        written = data.size();
        return true;
    }

    bool Read(std::span<uint8_t> buffer, uint32_t, size_t& got) override {
        got = 0;
        if (replies_.empty() || !replies_.front()) {
            if (!replies_.empty()) replies_.pop_front();
            return false;  // a stall: nothing came within the time-out
        }
        const std::string reply = *replies_.front();
        replies_.pop_front();
        got = std::min(buffer.size(), reply.size());
        std::copy_n(reply.begin(), got, buffer.begin());
        return true;
    }

    bool Close() override {
        ++log_.closes;
        return true;
    }
    std::string lastError() const override { return "scripted failure"; }

private:
    ScriptLog& log_;
    std::deque<std::optional<std::string>> replies_;
    bool inData_ = false;
    uint64_t dataLeft_ = 0;
    uint64_t dataTotal_ = 0;
    std::string dataHead_;
    int dataWrites_ = 0;
};

}  // namespace flintcast::testing
