#include "sim/fault_hooks.h"

#include <string>

#include <fmt/format.h>

namespace flintcast::sim {

RequestFault FaultHooks::OnRequest(std::string_view kind) {
    if (faults_.fire(FaultKind::Ignore, kind)) return RequestFault::Ignore;
    if (faults_.fire(FaultKind::Refuse, kind)) return RequestFault::Refuse;
    return RequestFault::None;
}

std::optional<uint16_t> FaultHooks::NvStatusFor(uint16_t id) {
    if (const auto status = faults_.fire(FaultKind::NvStatus, id)) return static_cast<uint16_t>(*status);
    return std::nullopt;
}

bool FaultHooks::UnplugDuringImage(uint32_t image, uint32_t block) {
    return faults_.fire(FaultKind::UnplugAt, fmt::format("{}.{}", image, block)).has_value();
}

}  // namespace flintcast::sim
