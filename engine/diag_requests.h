#pragma once
// Requests of the DIAG service in normal mode that are not NV or EFS requests (version,
// extended build id, mode control, the subsystem mode switch, the switch to download mode)
// and the typed refusals every DIAG request may get. Builders return the unframed payload;
// the parsers take the answer's payload (the check sequence already taken off).
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace flintcast::engine::diag {

inline constexpr uint8_t kVersion = 0x00;
inline constexpr uint8_t kModeControl = 0x29;
inline constexpr uint8_t kDownloadSwitch = 0x3A;
inline constexpr uint8_t kSubsystem = 0x4B;
inline constexpr uint8_t kExtendedBuildId = 0x7C;

// The modes of the mode control request the worker asks for.
enum class Mode : uint16_t { Offline = 1, Reset = 2 };

// The answers that refuse a request outright: its first byte, then the request echoed.
enum class Refusal : uint8_t { BadCommand = 0x13, BadParameter = 0x14, BadLength = 0x15 };

// The fields of an extended build id answer the worker reads. The platform is the low byte
// of the mobile model.
struct ExtendedBuildId {
    uint32_t hardwareVersion = 0;
    uint32_t mobileModel = 0;
    uint8_t platform() const { return static_cast<uint8_t>(mobileModel & 0xFF); }
};

std::vector<uint8_t> VersionRequest();
std::vector<uint8_t> ExtendedBuildIdRequest();
// 29, then the mode as a 16-bit little-endian number.
std::vector<uint8_t> ModeControlRequest(Mode mode);
// The subsystem request that moves the unit's USB into its diagnostic mode.
std::vector<uint8_t> ModeSwitchRequest();
std::vector<uint8_t> DownloadSwitchRequest();

// Answer format 02: 7C 02, two reserved bytes, hardware version, mobile model (both 32-bit
// little-endian). Nothing for any other answer, or one too short to hold the mobile model.
std::optional<ExtendedBuildId> ParseExtendedBuildId(std::span<const uint8_t> payload);
// The unit echoes a mode control request it carried out.
bool AcceptsModeControl(std::span<const uint8_t> payload, Mode mode);
// The unit answers the mode switch with its dispatch and subsystem command.
bool AcceptsModeSwitch(std::span<const uint8_t> payload);
// The unit answers the download switch with the one byte 3A before it leaves normal mode.
bool AcceptsDownloadSwitch(std::span<const uint8_t> payload);
// The refusal of `request` this payload carries, if it is one: a refusal code followed by the
// request's first byte. A refusal that echoes another request is a late answer to that one.
std::optional<Refusal> AsRefusal(uint8_t code);
std::optional<Refusal> RefusalOf(std::span<const uint8_t> payload, std::span<const uint8_t> request);
const char* RefusalMeaning(Refusal refusal);

}  // namespace flintcast::engine::diag
