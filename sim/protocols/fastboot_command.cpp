#include "sim/protocols/fastboot_command.h"

#include <fmt/format.h>

namespace flintcast::sim {
namespace {

using Kind = FastbootCommand::Kind;

constexpr size_t kMaxNameBytes = 64;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

FastbootCommand Malformed(std::string problem) {
    FastbootCommand c;
    c.kind = Kind::Malformed;
    c.problem = std::move(problem);
    return c;
}

// Partition and variable names: printable, no blanks, bounded.
bool GoodName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes) return false;
    for (char ch : name)
        if (ch <= ' ' || ch > '~') return false;
    return true;
}

FastbootCommand Named(Kind kind, std::string_view name, std::string_view what) {
    if (!GoodName(name)) return Malformed(fmt::format("bad {} name", what));
    FastbootCommand c;
    c.kind = kind;
    c.name = std::string(name);
    return c;
}

}  // namespace

FastbootCommand ParseFastbootCommand(std::string_view text) {
    if (text.size() > kFastbootMaxCommandBytes) return Malformed("command too long");
    if (StartsWith(text, "getvar:")) return Named(Kind::GetVar, text.substr(7), "variable");
    if (StartsWith(text, "download:")) {
        const auto digits = text.substr(9);
        if (digits.size() != 8) return Malformed("download size must be 8 hex digits");
        uint32_t size = 0;
        for (char ch : digits) {
            const int v = HexValue(ch);
            if (v < 0) return Malformed("download size must be 8 hex digits");
            size = (size << 4) | static_cast<uint32_t>(v);
        }
        FastbootCommand c;
        c.kind = Kind::Download;
        c.size = size;
        return c;
    }
    if (StartsWith(text, "flash:")) return Named(Kind::Flash, text.substr(6), "partition");
    if (StartsWith(text, "mutilflash:")) {
        const auto rest = text.substr(11);
        if (rest.size() < 3 || (rest[0] != '0' && rest[0] != '1') || rest[1] != ':')
            return Malformed("chunk flash needs 0: or 1: before the partition");
        auto c = Named(Kind::ChunkFlash, rest.substr(2), "partition");
        c.lastChunk = rest[0] == '1';
        return c;
    }
    if (StartsWith(text, "erase:")) return Named(Kind::Erase, text.substr(6), "partition");
    if (text == "continue") return {Kind::Continue, {}, 0, false, {}};
    if (text == "reboot") return {Kind::Reboot, {}, 0, false, {}};
    if (text == "reboot-bootloader") return {Kind::RebootBootloader, {}, 0, false, {}};
    return {};
}

std::string FastbootRequestName(FastbootCommand::Kind kind) {
    switch (kind) {
        case Kind::GetVar: return "fastboot.getvar";
        case Kind::Download: return "fastboot.download";
        case Kind::Flash: return "fastboot.flash";
        case Kind::ChunkFlash: return "fastboot.mutilflash";
        case Kind::Erase: return "fastboot.erase";
        case Kind::Continue: return "fastboot.continue";
        case Kind::Reboot: return "fastboot.reboot";
        case Kind::RebootBootloader: return "fastboot.reboot-bootloader";
        case Kind::Unknown: return "fastboot.unknown";
        case Kind::Malformed: return "fastboot.malformed";
    }
    return "fastboot.unknown";
}

}  // namespace flintcast::sim
