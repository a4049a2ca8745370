#include "engine/nv_status.h"

#include <array>
#include <string>

#include "engine/nv_requests.h"

namespace flintcast::engine {
namespace {

constexpr std::array<std::string_view, 11> kStatusTexts = {
    "",
    ":Internal DMSS use",
    ":Unrecognizable command",
    ":Memory is full",
    ":Command failed",
    ":status Error Received:Item inactive",
    ":Bad parameter in command block",
    ":Item was read-only",
    ":Item not defined for this target",
    ":Free memory exhausted",
    ":Internal use",
};
constexpr std::string_view kUnknownText = ":Unkown error";

int StatusOf(std::span<const uint8_t> answer, NvStatusVariant variant) {
    if (variant == NvStatusVariant::Rf) {
        return answer.size() > kRfNvStatusAt ? ClassifyNvStatusByte(answer[kRfNvStatusAt]) : kNvStatusUnknown;
    }
    // Status word (low byte first), then the two check-sequence bytes.
    if (answer.size() < 4) return kNvStatusUnknown;
    const uint8_t high = answer[answer.size() - 3];
    return ClassifyNvStatusByte(high != 0 ? high : answer[answer.size() - 4]);
}

}  // namespace

int ClassifyNvStatusByte(uint8_t status) { return status <= 10 ? status : kNvStatusUnknown; }

std::string_view NvStatusText(int result) {
    if (result >= 0 && result <= 10) return kStatusTexts[static_cast<size_t>(result)];
    return kUnknownText;
}

int CheckNvStatus(Reporter& reporter, std::span<const uint8_t> answer, std::string_view prefix,
                  NvStatusVariant variant) {
    int result = StatusOf(answer, variant);
    if (result == 0) return 0;
    const std::string message = std::string(prefix) + std::string(NvStatusText(result));
    const bool logged = result == kNvStatusInactive || result == kNvStatusBadParameter;
    switch (variant) {
        case NvStatusVariant::Plain:
            if (logged) reporter.ShowStatus(LineClass::Ordinary, message);
            else reporter.ShowError(message, 0);
            break;
        case NvStatusVariant::Rf:
            if (logged) reporter.ShowStatus(LineClass::Ordinary, message);
            else if (result != 1 && result != 4) reporter.ShowError(message, 0);
            break;
        case NvStatusVariant::Project:
            if (logged) {
                reporter.ShowStatus(LineClass::Ordinary, message);
                result = 0;
            } else {
                reporter.ShowError(message, 0);
            }
            break;
        case NvStatusVariant::Custom:
            reporter.ShowError(message, 0);
            break;
    }
    return result;
}

}  // namespace flintcast::engine
