#include "platform/usb_hardware_id.h"

#include <cctype>

namespace flintcast::platform {
namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsHex(std::string_view text, size_t digits) {
    if (text.size() != digits) return false;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

std::optional<UsbHardwareId> ParseUsbHardwareId(std::string_view id) {
    const std::string text = Upper(id);
    if (text.rfind("USB\\", 0) != 0) return std::nullopt;
    UsbHardwareId out;
    bool vid = false, pid = false;
    std::string_view rest = std::string_view(text).substr(4);
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view part = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
        if (part.rfind("VID_", 0) == 0 && !vid && IsHex(part.substr(4), 4)) {
            out.vendorId = part.substr(4);
            vid = true;
        } else if (part.rfind("PID_", 0) == 0 && vid && !pid && IsHex(part.substr(4), 4)) {
            out.productId = part.substr(4);
            pid = true;
        } else if (part.rfind("REV_", 0) == 0 && pid && out.revision.empty() && IsHex(part.substr(4), 4)) {
            out.revision = part.substr(4);
        } else if (part.rfind("MI_", 0) == 0 && pid && out.interfaceNumber < 0 && IsHex(part.substr(3), 2)) {
            out.interfaceNumber = std::stoi(std::string(part.substr(3)), nullptr, 16);
        } else {
            return std::nullopt;
        }
    }
    if (!vid || !pid) return std::nullopt;
    return out;
}

std::optional<std::string> PortNameFromFriendlyName(std::string_view friendlyName) {
    if (friendlyName.empty() || friendlyName.back() != ')') return std::nullopt;
    const size_t open = friendlyName.rfind('(');
    if (open == std::string_view::npos) return std::nullopt;
    const std::string_view name = friendlyName.substr(open + 1, friendlyName.size() - open - 2);
    if (name.size() < 4 || name.size() > 6 || Upper(name.substr(0, 3)) != "COM") return std::nullopt;
    const std::string_view digits = name.substr(3);
    if (digits.front() == '0' || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    if (std::stoi(std::string(digits)) > 255) return std::nullopt;
    return std::string(name);
}

}  // namespace flintcast::platform
