#pragma once
// The compatibility checks of a found device against the firmware package:
// project code, mainboard, memory layout and the operator-branded variants.
// Each returns the refusal text, or nothing when the device passes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/project_traits.h"

namespace flintcast::controller {

using Refusal = std::optional<std::string>;

// The package's Version up to its first "." must start the device version.
Refusal CheckProjectCode(std::string_view configVersion, std::string_view deviceVersion);

// Mainboard variant: the three characters from position 8 and the last four of
// both versions. `secondVersion` is the second package's Version (may be empty).
Refusal CheckMainboard(std::string_view configVersion, std::string_view deviceVersion,
                       std::string_view packageName, std::string_view secondVersion);

enum class MemoryCheckKind { DataCard, Router };

struct MemoryExpectation {
    MemoryCheckKind kind = MemoryCheckKind::DataCard;
    std::string ramSize;        // [MemoryType] RAMSize; empty is never compared
    std::string flashSize;      // [MemoryType] FlashSize; empty is never compared
    std::string supportFlashId; // SupportFlashID; empty accepts every identifier
};

// Size text of an MCP size code: 0 "256M", 1 "512M", 2 "1024M", 3 "2048M", else "Unknown".
std::string_view McpSizeText(int code);

// `flashInfo` is the flash information text ("ERROR" when the query failed).
Refusal CheckMemory(std::string_view flashInfo, const MemoryExpectation& expected);

// The operator-branded data card and handset: refuse the latest version, other models and
// more than one device.
using config::IsOperatorVariant;
Refusal CheckOperatorVariant(int32_t project, std::string_view configVersion, std::string_view deviceVersion,
                             size_t diagPortCount);

// Mainboard name of the device from the "AT+PMU" reply, for packages named
// MBX1/MBX2 or MBY1/MBY2; empty for other packages (no query is made).
bool NeedsMainboardQuery(std::string_view packageName);
std::string MainboardFromPmuReply(std::string_view packageName, std::string_view reply);

}  // namespace flintcast::controller
