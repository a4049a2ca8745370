#include "engine/adb_device_list.h"

#include <sstream>

namespace flintcast::engine {
namespace {

constexpr size_t kListingBytes = 500;

std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7F)) out.push_back(c);
        else if (c != '\r') out.push_back('?');
    }
    return out;
}

}  // namespace

AdbListing ReadAdbListing(std::string_view output, std::string_view serial) {
    AdbListing listing;
    std::string text = Printable(output);
    // The header word goes first, so that only a device line can say "device".
    for (size_t at = text.find("devices"); at != std::string::npos; at = text.find("devices", at)) {
        text.erase(at, 7);
    }
    // Only the kept text is cut: a device line behind a long preamble (daemon start notes,
    // warnings, many units) still counts.
    listing.text = text.substr(0, kListingBytes);
    // A device line is a serial, a tab and a state; anything else (daemon notes, warnings,
    // garbage) says nothing about a device, even when it holds the word.
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) continue;
        const std::string lineSerial = line.substr(0, tab);
        if (lineSerial.find_first_of(" \t") != std::string::npos) continue;
        std::istringstream fields(line.substr(tab + 1));
        std::string state;
        if (!(fields >> state)) continue;
        if (!serial.empty() && lineSerial != serial) continue;
        if (state == "device") listing.listed = true;
        if (state == "offline") listing.offline = true;
    }
    return listing;
}

}  // namespace flintcast::engine
