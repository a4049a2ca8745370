#pragma once
// A device for the bootloader and streaming tests: a thread on the master end of
// a pseudo-terminal that answers the DMSS and streaming requests (fast transfer
// included) the way the flash programmer does, records what it was sent, and
// lets a test replace, drop or corrupt any reply.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "engine/frame_layer.h"
#include "engine/reporter.h"
#include "engine/serial_channel.h"
#include "engine/worker_context.h"
#include "config/project_config.h"
#include "platform/clock.h"
#include "platform/link_tally.h"
#include "platform/paths.h"
#include "platform/pty.h"
#include "devkit/temp_dir.h"
#include "devkit/wait_until.h"

namespace flintcast::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes Framed(const Bytes& payload) { return hdlc::EncodeFrame(payload, true); }

class FakeDevice {
public:
    // Return a reply to send instead of the normal one (empty: send nothing),
    // or nullopt for the normal reply. `index` counts requests with this code.
    using Override = std::function<std::optional<Bytes>(const Bytes& request, int index)>;

    uint16_t maxWriteSize = 0x4000;
    uint8_t partitionStatus = 0;
    uint32_t fastBlockSize = 1024;
    // Splits every reply into two writes, the second once the tool has read the first.
    bool splitReplies = false;
    std::function<void(const Bytes& request)> onRequest;
    Override override;

    explicit FakeDevice(int fd) : fd_(fd), thread_([this] { run(); }) {}
    ~FakeDevice() {
        stop_ = true;
        thread_.join();
    }

    std::vector<Bytes> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::vector<uint8_t> codes() {
        std::vector<uint8_t> out;
        for (const auto& r : requests()) out.push_back(r.empty() ? 0 : r[0]);
        return out;
    }
    // Data written to each opened image, in open order: (type, bytes).
    std::vector<std::pair<uint8_t, Bytes>> images() {
        std::lock_guard lock(mutex_);
        return images_;
    }
    Bytes ram() {
        std::lock_guard lock(mutex_);
        return ram_;
    }

private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Bytes> requests_;
    std::vector<std::pair<uint8_t, Bytes>> images_;
    Bytes ram_;
    std::map<uint8_t, int> counts_;
    hdlc::FrameDecoder decoder_{false};
    // Fast transfer: raw bytes still expected for the announced part.
    uint64_t rawLeft_ = 0;
    uint32_t partOffset_ = 0;
    uint32_t partLength_ = 0;
    uint32_t partFilled_ = 0;
    Bytes rawBlock_;
    bool expectWriteFlash_ = false;
    Bytes writeFlash_;
    std::thread thread_;

    void write(const Bytes& bytes) {
        if (bytes.empty()) return;
        if (splitReplies && bytes.size() > 1) {
            // The second piece follows once the tool has read the first: two reads for certain.
            const size_t half = bytes.size() / 2;
            const uint64_t readBefore = platform::ReadLinkTally().bytesRead;
            (void)!::write(fd_, bytes.data(), half);
            WaitUntil([&] { return stop_ || platform::ReadLinkTally().bytesRead >= readBefore + half; });
            (void)!::write(fd_, bytes.data() + half, bytes.size() - half);
            return;
        }
        (void)!::write(fd_, bytes.data(), bytes.size());
    }

    void run() {
        uint8_t buf[65536];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) continue;
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) continue;
            for (ssize_t i = 0; i < n; ++i) feed(buf[i]);
        }
    }

    void feed(uint8_t b) {
        if (rawLeft_ > 0) {
            rawBlock_.push_back(b);
            --rawLeft_;
            if (rawBlock_.size() == fastBlockSize) rawBlockDone();
            return;
        }
        if (expectWriteFlash_) {
            writeFlash_.push_back(b);
            if (writeFlash_.size() == 7) {
                expectWriteFlash_ = false;
                handle(Bytes(writeFlash_.begin(), writeFlash_.begin() + 5));
            }
            return;
        }
        if (decoder_.feed(b) == hdlc::FrameDecoder::Status::Frame) {
            const auto payload = decoder_.payload();
            handle(Bytes(payload.begin(), payload.end()));
        }
    }

    void rawBlockDone() {
        {
            std::lock_guard lock(mutex_);
            if (images_.empty()) images_.emplace_back(0, Bytes{});
            auto& image = images_.back().second;
            const uint32_t take = std::min<uint32_t>(fastBlockSize, partLength_ - partFilled_);
            if (image.size() < partOffset_ + partFilled_ + take) image.resize(partOffset_ + partFilled_ + take);
            std::memcpy(image.data() + partOffset_ + partFilled_, rawBlock_.data(), take);
            partFilled_ += take;
        }
        rawBlock_.clear();
        if (rawLeft_ == 0) expectWriteFlash_ = true, writeFlash_.clear();
        if (!reply(Bytes{0xFF}, Framed({0x23, 0x00}))) {
            // A refused block abandons the part; the tool starts it again.
            rawLeft_ = 0;
            expectWriteFlash_ = false;
        }
    }

    static uint32_t Le32(const Bytes& r, size_t at) { return byte_order::Le32(r, at); }

    // Sends `normal` unless the test's override says otherwise; false when overridden.
    bool reply(const Bytes& request, const Bytes& normal) {
        const uint8_t code = request.empty() ? 0 : request[0];
        const int index = counts_[code]++;
        if (override) {
            if (auto replaced = override(request, index)) {
                write(*replaced);
                return false;
            }
        }
        write(normal);
        return true;
    }

    void handle(const Bytes& r) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(r);
        }
        if (onRequest) onRequest(r);
        switch (r[0]) {
            case 0x06: return (void)reply(r, Framed({0x02}));                        // nop
            case 0x07:                                                              // parameters or stream write
                if (r.size() == 1) {
                    const Bytes params{0x08, 0x03, 0x01, static_cast<uint8_t>(maxWriteSize >> 8),
                                       static_cast<uint8_t>(maxWriteSize), 0x00, 0x00, 0x00};
                    return (void)reply(r, hdlc::EncodeFrame(params, false));
                }
                return streamWrite(r);
            case 0x0F: {                                                            // DMSS write
                const uint32_t address = byte_order::Be32(r, 1);
                const size_t length = byte_order::Be16(r, 5);
                {
                    std::lock_guard lock(mutex_);
                    if (ram_.size() < address + length) ram_.resize(address + length);
                    std::memcpy(ram_.data() + address, r.data() + 7, length);
                }
                return (void)reply(r, Framed({0x02}));
            }
            case 0x05: return (void)reply(r, Framed({0x02}));                              // go
            case 0x01: return (void)reply(r, Framed({0x02, 'Q', 'C', 'O', 'M'}));        // hello
            case 0x17: return (void)reply(r, Framed({0x18, 0x01}));                      // security mode
            case 0x19: return (void)reply(r, Framed({0x1A, r[1] ? uint8_t{0} : partitionStatus}));
            case 0x1B: {                                                            // open
                std::lock_guard lock(mutex_);
                images_.emplace_back(r[1], Bytes{});
            }
                return (void)reply(r, Framed({0x1C, 0x00}));
            case 0x15: return (void)reply(r, Framed({0x16}));
            case 0x0B: return (void)reply(r, Framed({0x0C}));
            case 0x11: return (void)reply(r, Framed({0x12}));
            case 0x20:                                                              // transmit request
                partOffset_ = Le32(r, 1);
                partLength_ = Le32(r, 5);
                partFilled_ = 0;
                rawLeft_ = (static_cast<uint64_t>(partLength_) + fastBlockSize - 1) / fastBlockSize * fastBlockSize;
                return (void)reply(r, Framed({0x23, 0x00}));
            case 0x24: return (void)reply(r, Framed({0x23, 0xFF, 0xFF}));
            case 0x21: return (void)reply(r, Framed({0x22, 0x00}));
            default: return;  // version request, pre-commands: no reply
        }
    }

    void streamWrite(const Bytes& r) {
        const uint32_t address = Le32(r, 1);
        {
            std::lock_guard lock(mutex_);
            if (!images_.empty()) {
                auto& image = images_.back().second;
                if (image.size() < address + r.size() - 5) image.resize(address + r.size() - 5);
                std::memcpy(image.data() + address, r.data() + 5, r.size() - 5);
            }
        }
        reply(r, Framed({0x08, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                         static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)}));
    }
};

struct Line {
    int32_t code;
    int32_t kind;
    std::string text;
};

// A worker's ports, frame layer and reporter on a pseudo-terminal whose master
// end is played by a FakeDevice.
class DeviceBench {
public:
    explicit DeviceBench(int32_t project, double scale = 0.05)
        : clock(scale), reporter(0), serial(clock, reporter), frames(clock, reporter, serial),
          ctx{clock, reporter, serial, frames, config, project} {
        config.projectType = project;
        std::filesystem::create_directories(root.path() / "dev");
        std::filesystem::create_symlink(pty.slavePath(), root.path() / "dev" / "ttyUSB0");
        platform::SetDeviceRoot(root.path());
        serial.diagPortName = "ttyUSB0";
        serial.projectType = project;
        engine::ReporterHooks hooks;
        hooks.OnStatus = [this](int32_t, int32_t code, int32_t kind, const std::string& text) {
            std::lock_guard lock(linesMutex);
            lines.push_back({code, kind, text});
        };
        hooks.OnErrorText = [this](int32_t, const std::string& text) { errors.push_back(text); };
        reporter.setHooks(std::move(hooks));
        serial.OpenDiagPort();
        device = std::make_unique<FakeDevice>(pty.masterFd());
    }
    ~DeviceBench() {
        device.reset();
        platform::ResetDeviceRoot();
    }

    size_t count(const std::string& text) {
        std::lock_guard lock(linesMutex);
        size_t n = 0;
        for (const auto& l : lines) n += l.text == text ? 1 : 0;
        return n;
    }
    bool hasLineStarting(const std::string& prefix) {
        std::lock_guard lock(linesMutex);
        for (const auto& l : lines) {
            if (l.text.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }
    std::filesystem::path writeFile(const std::string& name, const Bytes& bytes) {
        const auto path = root.path() / name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }

    TempDir root;
    platform::PtyPair pty;
    platform::Clock clock;
    engine::Reporter reporter;
    engine::SerialChannel serial;
    engine::FrameLayer frames;
    config::ProjectConfig config;
    engine::WorkerContext ctx;
    std::unique_ptr<FakeDevice> device;
    std::mutex linesMutex;
    std::vector<Line> lines;
    std::vector<std::string> errors;
};

// Deterministic image bytes that include flag and escape values.
inline Bytes Pattern(size_t size, uint32_t seed = 1) {
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

}  // namespace flintcast::testing
