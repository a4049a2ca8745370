// The fastboot USB transport through libusb itself, run under umockdev-run: the emulated device
// (fastboot_unit.umockdev) is found by bus and address, its ff/42/03 interface is claimed, and
// every bulk transfer must be the next one of the recorded exchange (fastboot_unit.ioctl):
// the OUT data byte for byte, the IN replies as the device gave them. Exit status 0 when all
// of it held; each failure is named on stderr.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fastboot_usb_transport.h"

namespace {

using flintcast::engine::FastbootUsbTransport;

constexpr uint32_t kTimeoutMs = 2000;
constexpr size_t kReplyCapacity = 64;  // the IN transfer size the recording holds
int failures = 0;

void Fail(std::string_view what, const std::string& detail) {
    std::fprintf(stderr, "FAILED: %.*s: %s\n", static_cast<int>(what.size()), what.data(), detail.c_str());
    ++failures;
}

bool Send(FastbootUsbTransport& usb, std::string_view what, const std::vector<uint8_t>& bytes) {
    size_t written = 0;
    if (!usb.Write(bytes, kTimeoutMs, written)) {
        Fail(what, usb.lastError());
        return false;
    }
    if (written != bytes.size()) Fail(what, "wrote " + std::to_string(written) + " bytes");
    return written == bytes.size();
}

bool Send(FastbootUsbTransport& usb, std::string_view text) {
    return Send(usb, text, std::vector<uint8_t>(text.begin(), text.end()));
}

void Expect(FastbootUsbTransport& usb, std::string_view after, std::string_view reply) {
    std::vector<uint8_t> buffer(kReplyCapacity);
    size_t got = 0;
    if (!usb.Read(buffer, kTimeoutMs, got)) return Fail(after, usb.lastError());
    const std::string text(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    if (text != reply) Fail(after, "reply \"" + text + "\", expected \"" + std::string(reply) + "\"");
}

}  // namespace

int main() {
    flintcast::platform::Clock clock(1.0);
    FastbootUsbTransport usb(clock);
    if (!usb.Open(1, 5)) {
        std::fprintf(stderr, "FAILED: open 1/5: %s\n", usb.lastError().c_str());
        return 1;
    }
    if (Send(usb, "getvar:product")) Expect(usb, "getvar:product", "OKAYflintphone");
    if (Send(usb, "download:00000004")) Expect(usb, "download:00000004", "DATA00000004");
    if (Send(usb, "data", {0x0A, 0x0B, 0x0C, 0x0D})) Expect(usb, "data", "OKAY");
    // A transfer the device never answered in the recording: the replay refuses it.
    size_t written = 0;
    const std::vector<uint8_t> extra{'f', 'l', 'a', 's', 'h'};
    if (usb.Write(extra, kTimeoutMs, written)) Fail("unrecorded write", "was accepted");
    if (!usb.Close()) Fail("close", usb.lastError());
    if (failures == 0) std::printf("fastboot over libusb: 3 exchanges replayed, interface claimed and released\n");
    return failures == 0 ? 0 : 1;
}
