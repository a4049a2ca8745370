#include "modeswitch/switch_request.h"

namespace flintcast::modeswitch {

platform::ScsiRequest ModeSwitchRequest(const CommandBytes& command) {
    platform::ScsiRequest request;
    request.cdb.assign(command.begin(), command.end());
    request.direction = platform::ScsiDirection::FromDevice;
    request.transferLength = kDataLength;
    request.timeoutMs = kTimeoutMs;
    request.senseCapacity = kSenseLength;
    return request;
}

}  // namespace flintcast::modeswitch
