#pragma once
// The link to a device in fastboot mode: write with a time-out, read one reply with a
// time-out, close. The lookup names the link ("tcp:HOST:PORT" for the network protocol,
// "usb:BUS:DEV" for the USB interface) and OpenFastbootTransport makes the matching one.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace flintcast::engine {

class FastbootTransport {
public:
    virtual ~FastbootTransport() = default;

    // Writes all of `data` as one unit; false when it failed or `timeoutMs` (tool ms) passed.
    // `written` gets the bytes that went out.
    virtual bool Write(std::span<const uint8_t> data, uint32_t timeoutMs, size_t& written) = 0;
    // Reads one reply into `buffer`; false when it failed or `timeoutMs` passed.
    virtual bool Read(std::span<uint8_t> buffer, uint32_t timeoutMs, size_t& got) = 0;
    // Ends the link; false when the release failed.
    virtual bool Close() = 0;
    // What went wrong with the last failed call, for the log.
    virtual std::string lastError() const = 0;
};

// A parsed link name.
struct FastbootLinkName {
    enum class Kind { Tcp, Usb } kind = Kind::Tcp;
    std::string host;   // Tcp
    uint16_t port = 0;  // Tcp
    int bus = 0;        // Usb
    int device = 0;     // Usb
};
// Parses "tcp:HOST:PORT" or "usb:BUS:DEV" (decimal); nullopt for anything else.
std::optional<FastbootLinkName> ParseFastbootLinkName(std::string_view name);

// The link named `name`, connected and ready for commands, or the reason it could not be made.
struct FastbootConnection {
    std::unique_ptr<FastbootTransport> transport;
    std::string error;
    // The failure will not mend itself by waiting (libusb cannot be initialised).
    bool lasting = false;
};
using FastbootConnector = std::function<FastbootConnection(std::string_view name)>;
FastbootConnection OpenFastbootTransport(const platform::Clock& clock, std::string_view name);

}  // namespace flintcast::engine
