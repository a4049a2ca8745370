// USB bulk transfers are not part of the Windows build: fastboot reaches devices over TCP
// there. Opening an interface fails and says so, the way a missing libusb does on Linux.
#include "platform/usb_bulk.h"

namespace flintcast::platform {

UsbBulkInterface::~UsbBulkInterface() { Close(); }

bool UsbBulkInterface::Open(int, int, UsbInterfaceClass) {
    error_ = "USB bulk transfers are not available in the Windows build (use fastboot over TCP)";
    libraryUnavailable_ = true;
    return false;
}

bool UsbBulkInterface::Write(const uint8_t*, size_t, uint32_t, size_t& done) {
    done = 0;
    error_ = "not open";
    return false;
}

bool UsbBulkInterface::Read(uint8_t*, size_t, uint32_t, size_t& done) {
    done = 0;
    error_ = "not open";
    return false;
}

bool UsbBulkInterface::Close() { return true; }

bool UsbBulkInterface::Transfer(uint8_t, uint8_t*, size_t, uint32_t, size_t& done, const char*) {
    done = 0;
    return false;
}

}  // namespace flintcast::platform
