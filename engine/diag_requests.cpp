#include "engine/diag_requests.h"

#include <algorithm>

#include "codec/byte_order.h"

namespace flintcast::engine::diag {
namespace {

constexpr uint8_t kBuildIdFormat = 0x02;
constexpr size_t kBuildIdHardwareAt = 4;
constexpr size_t kBuildIdModelAt = 8;
constexpr uint8_t kModeSwitchSubsystem = 0x04;
constexpr uint8_t kModeSwitchCommand = 0x0E;

}  // namespace

std::vector<uint8_t> VersionRequest() { return {kVersion}; }

std::vector<uint8_t> ExtendedBuildIdRequest() { return {kExtendedBuildId}; }

std::vector<uint8_t> ModeControlRequest(Mode mode) {
    std::vector<uint8_t> out{kModeControl};
    byte_order::PutLe16(out, static_cast<uint16_t>(mode));
    return out;
}

std::vector<uint8_t> ModeSwitchRequest() { return {kSubsystem, kModeSwitchSubsystem, kModeSwitchCommand, 0x00}; }

std::vector<uint8_t> DownloadSwitchRequest() { return {kDownloadSwitch}; }

std::optional<ExtendedBuildId> ParseExtendedBuildId(std::span<const uint8_t> payload) {
    if (payload.size() < kBuildIdModelAt + 4 || payload[0] != kExtendedBuildId || payload[1] != kBuildIdFormat) {
        return std::nullopt;
    }
    return ExtendedBuildId{byte_order::Le32(payload, kBuildIdHardwareAt), byte_order::Le32(payload, kBuildIdModelAt)};
}

bool AcceptsModeControl(std::span<const uint8_t> payload, Mode mode) {
    const auto request = ModeControlRequest(mode);
    return payload.size() >= request.size() && std::equal(request.begin(), request.end(), payload.begin());
}

bool AcceptsModeSwitch(std::span<const uint8_t> payload) {
    return payload.size() >= 3 && payload[0] == kSubsystem && payload[2] == kModeSwitchCommand;
}

bool AcceptsDownloadSwitch(std::span<const uint8_t> payload) {
    return payload.size() == 1 && payload[0] == kDownloadSwitch;
}

std::optional<Refusal> AsRefusal(uint8_t code) {
    switch (code) {
        case static_cast<uint8_t>(Refusal::BadCommand): return Refusal::BadCommand;
        case static_cast<uint8_t>(Refusal::BadParameter): return Refusal::BadParameter;
        case static_cast<uint8_t>(Refusal::BadLength): return Refusal::BadLength;
        default: return std::nullopt;
    }
}

std::optional<Refusal> RefusalOf(std::span<const uint8_t> payload, std::span<const uint8_t> request) {
    if (payload.size() < 2 || request.empty() || payload[1] != request[0]) return std::nullopt;
    return AsRefusal(payload[0]);
}

const char* RefusalMeaning(Refusal refusal) {
    switch (refusal) {
        case Refusal::BadCommand: return "the unit does not know the command";
        case Refusal::BadParameter: return "the unit refused a parameter";
        case Refusal::BadLength: return "the unit refused the request's length";
    }
    return "";
}

}  // namespace flintcast::engine::diag
