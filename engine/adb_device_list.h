#pragma once
// Reading the device listing of the adb program ("List of devices attached" and one
// "SERIAL<tab>STATE" line per device): is a device there, is it offline.
#include <string>
#include <string_view>

namespace flintcast::engine {

struct AdbListing {
    bool listed = false;   // a device in the "device" state (the wanted one, when one is named)
    bool offline = false;  // a device in the "offline" state
    std::string text;      // the listing without its header word, printable, at most 500 bytes
};

// `serial` empty: any device counts; else only the line of that serial ("HOST:PORT").
AdbListing ReadAdbListing(std::string_view output, std::string_view serial = {});

}  // namespace flintcast::engine
