#pragma once
// One USB interface with a bulk IN and a bulk OUT endpoint, reached through libusb: the
// device is picked by bus number and device address, the interface by its class triple.
// Every transfer has a time-out, read on the scaled clock. The interface is claimed on open
// and released on close.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"

struct libusb_context;
struct libusb_device_handle;

namespace flintcast::platform {

struct UsbInterfaceClass {
    uint8_t interfaceClass = 0;
    uint8_t subClass = 0;
    uint8_t protocol = 0;
};

class UsbBulkInterface {
public:
    explicit UsbBulkInterface(const Clock& clock) : clock_(clock) {}
    ~UsbBulkInterface();
    UsbBulkInterface(const UsbBulkInterface&) = delete;
    UsbBulkInterface& operator=(const UsbBulkInterface&) = delete;

    // Opens device `address` on `bus`, finds the first interface of class `wanted` with one
    // bulk IN and one bulk OUT endpoint and claims it. False with error() set otherwise; a
    // libusb that cannot be initialised says so in error().
    bool Open(int bus, int address, UsbInterfaceClass wanted);
    bool isOpen() const { return handle_ != nullptr; }

    // One bulk transfer each way; `done` gets the bytes moved (also on a time-out).
    bool Write(const uint8_t* data, size_t count, uint32_t timeoutMs, size_t& done);
    bool Read(uint8_t* data, size_t capacity, uint32_t timeoutMs, size_t& done);
    // Releases the interface and closes the device; false when the release failed.
    bool Close();

    const std::string& error() const { return error_; }
    // The last Open failed because libusb itself could not be initialised.
    bool libraryUnavailable() const { return libraryUnavailable_; }

private:
    const Clock& clock_;
    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    int interfaceNumber_ = -1;
    bool driverDetached_ = false;  // a kernel driver was detached for the claim
    uint8_t inEndpoint_ = 0;
    uint8_t outEndpoint_ = 0;
    std::string error_;
    bool libraryUnavailable_ = false;

    bool Transfer(uint8_t endpoint, uint8_t* data, size_t count, uint32_t timeoutMs, size_t& done, const char* what);
};

}  // namespace flintcast::platform
