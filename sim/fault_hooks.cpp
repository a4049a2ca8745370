#include "sim/fault_hooks.h"

#include <string>

#include <fmt/format.h>

namespace flintcast::sim {

RequestFault FaultHooks::OnRequest(std::string_view kind) {
    // The cable is pulled as the request arrives: it is never answered.
    if (faults_.fire(FaultKind::UnplugOn, kind)) {
        unplugDue_ = true;
        return RequestFault::Ignore;
    }
    if (faults_.fire(FaultKind::Ignore, kind)) return RequestFault::Ignore;
    if (faults_.fire(FaultKind::Refuse, kind)) return RequestFault::Refuse;
    return RequestFault::None;
}

ReplyFault FaultHooks::OnReply(std::string_view kind) {
    // Only rules that name this request count it; a rule for a port counts the port's replies.
    ReplyFault fault;
    fault.drop = faults_.fireNamed(FaultKind::DropReply, kind).has_value();
    fault.corrupt = faults_.fireNamed(FaultKind::CorruptCrc, kind).has_value();
    if (const auto late = faults_.fireNamed(FaultKind::DelayReply, kind)) fault.delayMs = static_cast<uint32_t>(*late);
    return fault;
}

std::optional<uint16_t> FaultHooks::NvStatusFor(uint16_t id) {
    if (const auto status = faults_.fire(FaultKind::NvStatus, id)) return static_cast<uint16_t>(*status);
    return std::nullopt;
}

bool FaultHooks::UnplugDuringImage(uint32_t image, uint32_t block) {
    return faults_.fire(FaultKind::UnplugAt, fmt::format("{}.{}", image, block)).has_value();
}

}  // namespace flintcast::sim
