#pragma once
// A worker's serial setup wired to pseudo-terminals: the channel's diagnostic
// and modem ports are dev/ttyUSB2 and dev/ttyUSB1 links under a temporary
// device root, and the test plays the device on the master ends.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/frame_layer.h"
#include "engine/reporter.h"
#include "engine/serial_channel.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pty.h"
#include "devkit/temp_dir.h"

namespace flintcast::testing {

struct Line {
    int32_t code;
    int32_t kind;
    std::string text;
};

class LoopbackPorts {
public:
    explicit LoopbackPorts(double scale = 0.01)
        : clock(scale), reporter(3), serial(clock, reporter), frames(clock, reporter, serial) {
        std::filesystem::create_directories(root.path() / "dev");
        std::filesystem::create_symlink(diagPty.slavePath(), root.path() / "dev" / "ttyUSB2");
        std::filesystem::create_symlink(modemPty.slavePath(), root.path() / "dev" / "ttyUSB1");
        platform::SetDeviceRoot(root.path());
        serial.diagPortName = "ttyUSB2";
        serial.modemPortName = "ttyUSB1";
        engine::ReporterHooks hooks;
        hooks.OnStatus = [this](int32_t, int32_t code, int32_t kind, const std::string& text) {
            lines.push_back({code, kind, text});
        };
        hooks.OnErrorText = [this](int32_t, const std::string& text) { errors.push_back(text); };
        reporter.setHooks(std::move(hooks));
    }
    ~LoopbackPorts() {
        joinWriter();
        platform::ResetDeviceRoot();
    }

    // Bytes the device side receives within `realMs` real milliseconds of quiet.
    std::vector<uint8_t> drainDiag(int realMs = 50) { return Drain(diagPty.masterFd(), realMs); }
    void sendDiag(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::write(diagPty.masterFd(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // For replies larger than the pty buffer: the device writes while the
    // reader under test consumes; joinWriter() waits for the whole write.
    void sendDiagInBackground(std::vector<uint8_t> bytes) {
        joinWriter();
        writer = std::thread([this, data = std::move(bytes)] {
            size_t done = 0;
            while (done < data.size()) {
                const ssize_t n = ::write(diagPty.masterFd(), data.data() + done, data.size() - done);
                if (n <= 0) return;
                done += static_cast<size_t>(n);
            }
        });
    }
    void joinWriter() {
        if (writer.joinable()) writer.join();
    }

    static std::vector<uint8_t> Drain(int fd, int realMs) {
        std::vector<uint8_t> out;
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, realMs) <= 0 || (p.revents & POLLIN) == 0) return out;
            uint8_t buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) return out;
            out.insert(out.end(), buf, buf + n);
        }
    }

    size_t countLines(const std::string& text) const {
        size_t n = 0;
        for (const auto& l : lines) n += l.text == text ? 1 : 0;
        return n;
    }

    TempDir root;
    platform::PtyPair diagPty;
    platform::PtyPair modemPty;
    platform::Clock clock;
    engine::Reporter reporter;
    engine::SerialChannel serial;
    engine::FrameLayer frames;
    std::vector<Line> lines;
    std::vector<std::string> errors;
    std::thread writer;
};

}  // namespace flintcast::testing
