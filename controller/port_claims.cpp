#include "controller/port_claims.h"

namespace flintcast::controller {

bool PortClaims::DiagInUse(std::string_view port) const { return diag_.find(port) != diag_.end(); }

bool PortClaims::ModemInUse(std::string_view port) const { return modem_.find(port) != modem_.end(); }

void PortClaims::Claim(const SlotPorts& ports) {
    if (!ports.diag.empty()) diag_.insert(ports.diag);
    if (!ports.modem.empty()) modem_.insert(ports.modem);
}

void PortClaims::Release(const SlotPorts& ports) {
    diag_.erase(ports.diag);
    modem_.erase(ports.modem);
}

void PortClaims::Clear() {
    diag_.clear();
    modem_.clear();
}

}  // namespace flintcast::controller
