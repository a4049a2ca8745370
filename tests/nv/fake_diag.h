#pragma once
// A scripted diagnostic port: every frame the tool sends is decoded and handed to a handler,
// whose answer payloads go back framed. Records every request payload.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "codec/hdlc.h"
#include "tests/at/scripted_port.h"
#include "devkit/worker_rig.h"

namespace flintcast::testing {

using Bytes = std::vector<uint8_t>;

class FakeDiag {
public:
    // Returns the answer payload; an empty one sends nothing.
    using Handler = std::function<Bytes(const Bytes& request)>;

    FakeDiag(WorkerRig& rig, Handler handler)
        : handler_(std::move(handler)),
          port_(rig.root.path(), "ttyUSB0", [this](const std::string& chunk) { return onChunk(chunk); }) {
        rig.serial.diagPortName = "ttyUSB0";
        rig.serial.OpenDiagPort();
    }

    std::vector<Bytes> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    size_t count(uint8_t first) {
        size_t n = 0;
        for (const auto& r : requests()) n += !r.empty() && r[0] == first;
        return n;
    }

private:
    Handler handler_;
    hdlc::FrameDecoder decoder_{false};
    std::mutex mutex_;
    std::vector<Bytes> requests_;
    ScriptedPort port_;

    std::string onChunk(const std::string& chunk) {
        std::string out;
        for (char c : chunk) {
            if (decoder_.feed(static_cast<uint8_t>(c)) != hdlc::FrameDecoder::Status::Frame) continue;
            const auto payload = decoder_.payload();
            const Bytes request(payload.begin(), payload.end());
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            const Bytes answer = handler_(request);
            if (answer.empty()) continue;
            const auto frame = hdlc::EncodeFrame(answer, false);
            out.append(frame.begin(), frame.end());
        }
        return out;
    }
};

// Standard answers of a healthy device.
inline Bytes ModeSwitchEcho() { return {0x4B, 0x04, 0x0E, 0x00}; }

// An NV answer: the request's first 131 bytes with the status word in place of the trailing pair.
inline Bytes NvAnswer(const Bytes& request, uint16_t status, const Bytes& data = {}) {
    Bytes answer(request.begin(), request.begin() + 3);
    Bytes item(128, 0);
    if (!data.empty()) std::copy(data.begin(), data.end(), item.begin());
    else std::copy(request.begin() + 3, request.begin() + 131, item.begin());
    answer.insert(answer.end(), item.begin(), item.end());
    answer.push_back(static_cast<uint8_t>(status & 0xFF));
    answer.push_back(static_cast<uint8_t>(status >> 8));
    return answer;
}

// An RF NV read answer for the request's item: header, status, id, size, data.
inline Bytes RfAnswer(const Bytes& request, uint8_t status, const Bytes& data, int sizeField = -1) {
    const uint16_t size = static_cast<uint16_t>(sizeField < 0 ? data.size() : sizeField);
    Bytes answer;
    answer.reserve(16 + data.size());
    for (size_t i = 0; i < 10; ++i) answer.push_back(request[i]);
    for (uint8_t b : {status, uint8_t{0}, request[10], request[11], static_cast<uint8_t>(size & 0xFF),
                      static_cast<uint8_t>(size >> 8)}) {
        answer.push_back(b);
    }
    for (uint8_t b : data) answer.push_back(b);
    return answer;
}

}  // namespace flintcast::testing
