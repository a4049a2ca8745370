#include "controller/port_probe.h"

#include <algorithm>
#include <array>
#include <vector>

#include "codec/hdlc.h"

namespace flintcast::controller {
namespace {

constexpr std::string_view kAttention = "AT\r";
constexpr uint8_t kVersionRequest = 0x00;
// How long each question waits for its answer, and how often the port is read meanwhile.
constexpr uint32_t kAnswerWaitMs = 500;
constexpr uint32_t kReadPauseMs = 50;
constexpr size_t kMaxAnswerBytes = 4096;

bool Contains(const std::vector<uint8_t>& bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// True when `bytes` hold a frame with a good check sequence that is not the request itself
// (a port that echoes would hand the request back).
bool HoldsValidFrame(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& request) {
    hdlc::FrameDecoder decoder(false);
    std::span<const uint8_t> rest(bytes);
    while (!rest.empty()) {
        size_t used = 0;
        const auto status = decoder.feed(rest, used);
        rest = rest.subspan(used);
        if (status == hdlc::FrameDecoder::Status::Frame) {
            const auto payload = decoder.payload();
            if (!std::equal(payload.begin(), payload.end(), request.begin(), request.end())) {
                return true;
            }
        }
        if (used == 0) {
            break;
        }
    }
    return false;
}

bool Write(platform::SerialPort& port, std::span<const uint8_t> bytes) {
    return port.write(bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size());
}

// Reads for up to kAnswerWaitMs until `done` says the answer is complete.
template <typename Done>
std::vector<uint8_t> ReadAnswer(platform::SerialPort& port, const platform::Clock& clock, Done done) {
    std::vector<uint8_t> got;
    std::array<uint8_t, 256> buffer{};
    for (uint32_t waited = 0;; waited += kReadPauseMs) {
        const int64_t n = port.read(buffer.data(), buffer.size());
        if (n < 0) {
            break;
        }
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        if (done(got) || got.size() >= kMaxAnswerBytes || waited >= kAnswerWaitMs) {
            break;
        }
        clock.sleepMs(kReadPauseMs);
    }
    return got;
}

}  // namespace

PortAnswer ProbePortAnswer(platform::SerialPort& port, const platform::Clock& clock) {
    const std::vector<uint8_t> request{kVersionRequest};
    port.purge();
    const std::vector<uint8_t> attention(kAttention.begin(), kAttention.end());
    if (!Write(port, attention)) {
        return PortAnswer::Neither;
    }
    const auto text = ReadAnswer(port, clock, [&](const std::vector<uint8_t>& got) {
        return Contains(got, "OK") || Contains(got, "ERROR") || HoldsValidFrame(got, request);
    });
    if (Contains(text, "OK")) {
        return PortAnswer::Modem;
    }
    if (HoldsValidFrame(text, request)) {
        return PortAnswer::Diag;
    }
    if (!text.empty()) {
        return PortAnswer::Neither;  // it talks, but neither protocol: nothing more is sent
    }
    if (!Write(port, hdlc::EncodeFrame(request, true))) {
        return PortAnswer::Neither;
    }
    const auto reply = ReadAnswer(port, clock, [&](const std::vector<uint8_t>& got) {
        return HoldsValidFrame(got, request);
    });
    return HoldsValidFrame(reply, request) ? PortAnswer::Diag : PortAnswer::Neither;
}

std::string_view ProbedRole(PortAnswer answer) {
    switch (answer) {
        case PortAnswer::Diag: return "Diag";
        case PortAnswer::Modem: return "Modem";
        case PortAnswer::Neither: break;
    }
    return "";
}

std::string_view DescribeAnswer(PortAnswer answer) {
    switch (answer) {
        case PortAnswer::Diag: return "answers DIAG";
        case PortAnswer::Modem: return "answers AT";
        case PortAnswer::Neither: break;
    }
    return "answers neither DIAG nor AT and is left alone";
}

std::string ProbeDeviceKey(const platform::UsbSerialPort& port) {
    return port.usbDevice + "|" + port.vendorId + ":" + port.productId + ":" + port.revision + "|" + port.busDevice;
}

bool ProbeRecords::Device::showedBoth() const {
    const auto has = [&](PortAnswer a) {
        return std::any_of(answers.begin(), answers.end(), [&](const auto& e) { return e.second == a; });
    };
    return has(PortAnswer::Diag) && has(PortAnswer::Modem);
}

void ProbeRecords::KeepOnly(const std::set<std::string>& presentKeys) {
    std::erase_if(devices_, [&](const auto& entry) { return !presentKeys.contains(entry.first); });
}

bool ProbeRecords::ShouldProbe(const std::string& key, int interfaceNumber, unsigned scan, uint32_t nowMs) {
    Device& device = devices_[key];
    if (!device.started) {
        device.started = true;
        device.firstMs = device.roundMs = nowMs;
        device.roundScan = scan;
    }
    const auto it = device.answers.find(interfaceNumber);
    if (it == device.answers.end()) {
        return true;  // never asked (or it would not open)
    }
    if (it->second != PortAnswer::Neither || device.showedBoth() || nowMs - device.firstMs >= kSettleWindowMs) {
        return false;
    }
    if (scan == device.roundScan) {
        return true;  // the round this scan started: each port is visited once per scan
    }
    if (nowMs - device.roundMs < kReprobeGapMs) {
        return false;
    }
    // A new round: every silent port of the device is asked once more in this scan.
    device.roundScan = scan;
    device.roundMs = nowMs;
    return true;
}

void ProbeRecords::Record(const std::string& key, int interfaceNumber, PortAnswer answer) {
    devices_[key].answers[interfaceNumber] = answer;
}

const PortAnswer* ProbeRecords::Answer(const std::string& key, int interfaceNumber) const {
    const auto device = devices_.find(key);
    if (device == devices_.end()) {
        return nullptr;
    }
    const auto it = device->second.answers.find(interfaceNumber);
    return it == device->second.answers.end() ? nullptr : &it->second;
}

}  // namespace flintcast::controller
