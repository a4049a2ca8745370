#pragma once
// Fastboot over the device's USB interface of class ff/42/03: commands and data go out on its
// bulk OUT endpoint, replies come back on its bulk IN endpoint.
#include "engine/fastboot_transport.h"
#include "platform/usb_bulk.h"

namespace flintcast::engine {

inline constexpr platform::UsbInterfaceClass kFastbootInterfaceClass{0xFF, 0x42, 0x03};

class FastbootUsbTransport : public FastbootTransport {
public:
    explicit FastbootUsbTransport(const platform::Clock& clock) : usb_(clock) {}

    // Opens the device and claims its fastboot interface; false with lastError() set otherwise.
    bool Open(int bus, int device);

    bool Write(std::span<const uint8_t> data, uint32_t timeoutMs, size_t& written) override;
    bool Read(std::span<uint8_t> buffer, uint32_t timeoutMs, size_t& got) override;
    bool Close() override;
    std::string lastError() const override { return usb_.error(); }
    bool libraryUnavailable() const { return usb_.libraryUnavailable(); }

private:
    platform::UsbBulkInterface usb_;
};

}  // namespace flintcast::engine
