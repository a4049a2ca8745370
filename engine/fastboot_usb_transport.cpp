#include "engine/fastboot_usb_transport.h"

namespace flintcast::engine {

bool FastbootUsbTransport::Open(int bus, int device) { return usb_.Open(bus, device, kFastbootInterfaceClass); }

bool FastbootUsbTransport::Write(std::span<const uint8_t> data, uint32_t timeoutMs, size_t& written) {
    return usb_.Write(data.data(), data.size(), timeoutMs, written);
}

bool FastbootUsbTransport::Read(std::span<uint8_t> buffer, uint32_t timeoutMs, size_t& got) {
    return usb_.Read(buffer.data(), buffer.size(), timeoutMs, got);
}

bool FastbootUsbTransport::Close() { return usb_.Close(); }

}  // namespace flintcast::engine
