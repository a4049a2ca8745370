#include "modeswitch/command_text.h"

namespace flintcast::modeswitch {
namespace {

uint8_t HexValue(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    const char c = text[at];
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return 0;
}

}  // namespace

CommandBytes ParseCommandText(std::string_view text) {
    CommandBytes bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        const size_t at = 3 * i;  // "hh " per byte
        bytes[i] = static_cast<uint8_t>(HexValue(text, at) << 4 | HexValue(text, at + 1));
    }
    return bytes;
}

}  // namespace flintcast::modeswitch
