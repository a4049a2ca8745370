#include "engine/efs_mirror.h"

#include <fmt/format.h>

namespace flintcast::engine {
namespace {

bool IsControl(uint8_t b) { return b < 0x20 || b == 0x7F; }

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::span<const uint8_t> s) {
    size_t i = 0;
    while (i < s.size()) {
        const uint8_t b = s[i];
        size_t extra = 0;
        uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;  // cut off at the end
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (s[i + k] & 0x3F);
        }
        static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace

std::optional<std::string> MirrorPathOf(std::string_view backupFolder, std::string_view devicePath) {
    if (devicePath.empty()) return std::nullopt;
    std::string relative;
    size_t pos = 0;
    while (pos <= devicePath.size()) {
        size_t end = devicePath.find('/', pos);
        if (end == std::string_view::npos) end = devicePath.size();
        const std::string_view part = devicePath.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;  // leading, doubled or trailing "/"
        if (part == "." || part == "..") return std::nullopt;
        for (const char c : part) {
            if (IsControl(static_cast<uint8_t>(c))) return std::nullopt;
        }
        relative += '/';
        relative += part;
    }
    return fmt::format("{}/EFS{}", backupFolder, relative);
}

std::string MirrorParentOf(const std::string& pcPath) {
    const size_t slash = pcPath.rfind('/');
    return slash == std::string::npos ? std::string() : pcPath.substr(0, slash);
}

EntryName CheckEntryName(std::span<const uint8_t> name) {
    const std::string_view text(reinterpret_cast<const char*>(name.data()), name.size());
    if (text == ".") return EntryName::Self;
    if (text.empty() || text == ".." || text.find('/') != std::string_view::npos ||
        text.find('\\') != std::string_view::npos) {
        return EntryName::Refused;
    }
    for (const uint8_t b : name) {
        if (IsControl(b)) return EntryName::Refused;
    }
    return IsUtf8(name) ? EntryName::Usable : EntryName::Refused;
}

std::string PrintableName(std::span<const uint8_t> name) {
    std::string out;
    for (const uint8_t b : name) {
        if (b >= 0x20 && b < 0x7F && b != '\\') out += static_cast<char>(b);
        else out += fmt::format("\\x{:02X}", b);
    }
    return out;
}

}  // namespace flintcast::engine
