#include "controller/device_checks.h"

#include <cctype>
#include <charconv>

#include <fmt/format.h>

namespace flintcast::controller {
namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view LastFour(std::string_view text) {
    return text.size() <= 4 ? text : text.substr(text.size() - 4);
}

// Three characters from position 8, counting from 1 (what is there of them).
std::string_view BoardMark(std::string_view text) {
    return text.size() <= 7 ? std::string_view{} : text.substr(7, 3);
}

bool IsMbxPackage(std::string_view name) {
    return name == "MBX1" || name == "MBX2";
}

bool IsMbyPackage(std::string_view name) {
    return name == "MBY1" || name == "MBY2";
}

constexpr std::string_view kMemoryMismatch = "Memory size is not matched!";

bool Matches(std::string_view expected, std::string_view actual) {
    return expected.empty() || expected == actual;
}

// Reads one decimal integer (optionally signed) with blanks around it; -1 when it is not one.
int ParseCode(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    int value = -1;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
        return -1;
    }
    return value;
}

}  // namespace

Refusal CheckProjectCode(std::string_view configVersion, std::string_view deviceVersion) {
    const std::string config = Upper(configVersion);
    const size_t dot = config.find('.');
    if (dot == std::string::npos) {
        return "Can't get project code from config verison!";
    }
    if (deviceVersion.find('.') == std::string_view::npos) {
        return "Can't get project code from model verison!";
    }
    const std::string_view code = std::string_view(config).substr(0, dot);
    if (deviceVersion.substr(0, code.size()) != code) {
        return "Could not update other irrelevant model device!";
    }
    return std::nullopt;
}

Refusal CheckMainboard(std::string_view configVersion, std::string_view deviceVersion,
                       std::string_view packageName, std::string_view secondVersion) {
    const std::string config = Upper(configVersion);
    const std::string device = Upper(deviceVersion);
    if (BoardMark(config) == ".3." && BoardMark(device) != ".3.") {
        return "Can't update other irrelevant mobile devices!";
    }
    const std::string_view deviceTail = LastFour(device);
    if (IsMbxPackage(packageName)) {
        const std::string second = Upper(secondVersion);
        if (deviceTail == LastFour(config) || (!second.empty() && deviceTail == LastFour(second))) {
            return std::nullopt;
        }
        return "Could not update other irrelevant mobile devices.";
    }
    if (deviceTail != LastFour(config)) {
        return "Can't update other irrelevant mobile devices.";
    }
    return std::nullopt;
}

std::string_view McpSizeText(int code) {
    switch (code) {
    case 0: return "256M";
    case 1: return "512M";
    case 2: return "1024M";
    case 3: return "2048M";
    default: return "Unknown";
    }
}

Refusal CheckMemory(std::string_view flashInfoText, const MemoryExpectation& expected) {
    const std::string info = Upper(flashInfoText);
    const bool dataCard = expected.kind == MemoryCheckKind::DataCard;
    if (info == "ERROR") {
        const bool fits = dataCard ? Matches(expected.flashSize, "512M")
                                   : Matches(expected.flashSize, "1024M") && Matches(expected.ramSize, "1024M");
        return fits ? Refusal{} : Refusal{std::string(kMemoryMismatch)};
    }
    std::string id;
    if (const size_t at = info.find("ID:"); at != std::string::npos) {
        const size_t start = at + 3;
        const size_t end = info.find("PAGESIZE", start);
        id = info.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    if (const size_t mcp = info.find("MCP:"); mcp != std::string::npos) {
        const size_t start = mcp + 4;
        const size_t end = info.find("DEVICEWIDTH:", start);
        const std::string_view codes =
            std::string_view(info).substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t comma = codes.find(',');
        const int flashCode = comma == std::string_view::npos ? -1 : ParseCode(codes.substr(0, comma));
        const int ramCode = comma == std::string_view::npos ? -1 : ParseCode(codes.substr(comma + 1));
        if (!Matches(expected.flashSize, McpSizeText(flashCode)) || !Matches(expected.ramSize, McpSizeText(ramCode))) {
            return std::string(kMemoryMismatch);
        }
        const std::string supported = Upper(expected.supportFlashId);
        if (!supported.empty() && supported.find(id) == std::string::npos) {
            return std::string(kMemoryMismatch);
        }
        return std::nullopt;
    }
    if (dataCard) {
        const bool big = id.size() >= 2 && id.compare(id.size() - 2, 2, "A1") == 0;
        return Matches(expected.flashSize, big ? "1024M" : "512M") ? Refusal{} : Refusal{std::string(kMemoryMismatch)};
    }
    std::string_view flash;
    std::string_view ram;
    if (id == "0X2CB1") {
        flash = "1024M";
        ram = "1024M";
    } else if (id == "0XADA1" || id == "0XECA1") {
        flash = "1024M";
        ram = "512M";
    } else {
        return "Can not check memory size!";
    }
    if (!Matches(expected.flashSize, flash) || !Matches(expected.ramSize, ram)) {
        return std::string(kMemoryMismatch);
    }
    return std::nullopt;
}

Refusal CheckOperatorVariant(int32_t project, std::string_view configVersion, std::string_view deviceVersion,
                             size_t diagPortCount) {
    if (deviceVersion == configVersion) {
        return "Can't update the software because it is the latest";
    }
    const config::OperatorVariant* variant = config::OperatorVariantOf(project);
    if (variant != nullptr && deviceVersion.find(variant->versionTag) == std::string_view::npos) {
        return fmt::format("Can't update other irrelevant {}", variant->otherDevices);
    }
    if (diagPortCount >= 2) {
        return "Two or more devices were found";
    }
    return std::nullopt;
}

bool NeedsMainboardQuery(std::string_view packageName) {
    return IsMbxPackage(packageName) || IsMbyPackage(packageName);
}

std::string MainboardFromPmuReply(std::string_view packageName, std::string_view reply) {
    if (IsMbxPackage(packageName)) {
        return reply.find("GMT") != std::string_view::npos ? "MBX1" : "MBX2";
    }
    if (IsMbyPackage(packageName)) {
        return reply.find("TI") != std::string_view::npos ? "MBY2" : "MBY1";
    }
    return {};
}

}  // namespace flintcast::controller
