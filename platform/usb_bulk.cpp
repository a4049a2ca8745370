#include "platform/usb_bulk.h"

#include <climits>

#include <fmt/format.h>
#include <libusb.h>

namespace flintcast::platform {
namespace {

struct FoundInterface {
    int number = -1;
    uint8_t in = 0;
    uint8_t out = 0;
};

// The first interface setting of the wanted class with a bulk endpoint each way.
FoundInterface FindInterface(const libusb_config_descriptor& config, UsbInterfaceClass wanted) {
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& itf = config.interface[i];
        for (int a = 0; a < itf.num_altsetting; ++a) {
            const libusb_interface_descriptor& d = itf.altsetting[a];
            if (d.bInterfaceClass != wanted.interfaceClass || d.bInterfaceSubClass != wanted.subClass ||
                d.bInterfaceProtocol != wanted.protocol) {
                continue;
            }
            FoundInterface found;
            found.number = d.bInterfaceNumber;
            for (int e = 0; e < d.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = d.endpoint[e];
                if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
                if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
                    if (found.in == 0) found.in = ep.bEndpointAddress;
                } else if (found.out == 0) {
                    found.out = ep.bEndpointAddress;
                }
            }
            if (found.in != 0 && found.out != 0) return found;
        }
    }
    return {};
}

}  // namespace

UsbBulkInterface::~UsbBulkInterface() { Close(); }

bool UsbBulkInterface::Open(int bus, int address, UsbInterfaceClass wanted) {
    Close();
    libraryUnavailable_ = false;
    const int init = libusb_init(&context_);
    if (init != 0) {
        context_ = nullptr;
        libraryUnavailable_ = true;
        error_ = fmt::format("libusb cannot be initialised: {}", libusb_strerror(init));
        return false;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    if (count < 0) {
        error_ = fmt::format("cannot list the USB devices: {}", libusb_strerror(static_cast<int>(count)));
        Close();
        return false;
    }
    libusb_device* device = nullptr;
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(list[i]) == bus && libusb_get_device_address(list[i]) == address) {
            device = libusb_ref_device(list[i]);
            break;
        }
    }
    libusb_free_device_list(list, 1);
    if (device == nullptr) {
        error_ = fmt::format("no USB device {} on bus {}", address, bus);
        Close();
        return false;
    }
    libusb_config_descriptor* config = nullptr;
    int rc = libusb_get_active_config_descriptor(device, &config);
    FoundInterface found;
    if (rc == 0) {
        found = FindInterface(*config, wanted);
        libusb_free_config_descriptor(config);
    }
    if (rc != 0 || found.number < 0) {
        error_ = rc != 0 ? fmt::format("cannot read the USB configuration: {}", libusb_strerror(rc))
                         : fmt::format("the USB device has no interface {:02x}/{:02x}/{:02x} with bulk endpoints",
                                       wanted.interfaceClass, wanted.subClass, wanted.protocol);
        libusb_unref_device(device);
        Close();
        return false;
    }
    rc = libusb_open(device, &handle_);
    libusb_unref_device(device);
    if (rc != 0) {
        handle_ = nullptr;
        error_ = fmt::format("cannot open the USB device: {}", libusb_strerror(rc));
        Close();
        return false;
    }
    interfaceNumber_ = found.number;
    // A kernel driver bound to the interface is detached for the claim and attached again on
    // close. Only a bound driver is detached: an interface no driver holds is claimed as it is.
    if (libusb_kernel_driver_active(handle_, found.number) == 1) {
        rc = libusb_detach_kernel_driver(handle_, found.number);
        if (rc != 0 && rc != LIBUSB_ERROR_NOT_FOUND) {
            error_ = fmt::format("cannot detach the kernel driver of USB interface {}: {}", found.number,
                                 libusb_strerror(rc));
            Close();
            return false;
        }
        driverDetached_ = rc == 0;
    }
    rc = libusb_claim_interface(handle_, found.number);
    if (rc != 0) {
        error_ = fmt::format("cannot claim USB interface {}: {}", found.number, libusb_strerror(rc));
        Close();
        return false;
    }
    inEndpoint_ = found.in;
    outEndpoint_ = found.out;
    error_.clear();
    return true;
}

bool UsbBulkInterface::Transfer(uint8_t endpoint, uint8_t* data, size_t count, uint32_t timeoutMs, size_t& done,
                                const char* what) {
    done = 0;
    if (handle_ == nullptr) {
        error_ = "the USB interface is not open";
        return false;
    }
    if (count > static_cast<size_t>(INT_MAX)) {
        error_ = fmt::format("USB {} of {} bytes is too long", what, count);
        return false;
    }
    int moved = 0;
    const auto realMs = static_cast<unsigned>(clock_.realTimeoutMs(timeoutMs));
    const int rc = libusb_bulk_transfer(handle_, endpoint, data, static_cast<int>(count), &moved, realMs);
    done = moved > 0 ? static_cast<size_t>(moved) : 0;
    if (rc != 0) {
        error_ = fmt::format("USB {} failed: {}", what, libusb_strerror(rc));
        return false;
    }
    return true;
}

bool UsbBulkInterface::Write(const uint8_t* data, size_t count, uint32_t timeoutMs, size_t& done) {
    // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
    return Transfer(outEndpoint_, const_cast<uint8_t*>(data), count, timeoutMs, done, "write");
}

bool UsbBulkInterface::Read(uint8_t* data, size_t capacity, uint32_t timeoutMs, size_t& done) {
    return Transfer(inEndpoint_, data, capacity, timeoutMs, done, "read");
}

bool UsbBulkInterface::Close() {
    bool released = true;
    if (handle_ != nullptr) {
        if (interfaceNumber_ >= 0) {
            const int rc = libusb_release_interface(handle_, interfaceNumber_);
            // A device that already left the bus has nothing left to release.
            released = rc == 0 || rc == LIBUSB_ERROR_NO_DEVICE || rc == LIBUSB_ERROR_NOT_FOUND;
        }
        if (driverDetached_) libusb_attach_kernel_driver(handle_, interfaceNumber_);
        libusb_close(handle_);
        handle_ = nullptr;
    }
    interfaceNumber_ = -1;
    driverDetached_ = false;
    if (context_ != nullptr) {
        libusb_exit(context_);
        context_ = nullptr;
    }
    return released;
}

}  // namespace flintcast::platform
