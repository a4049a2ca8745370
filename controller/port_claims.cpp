#include "controller/port_claims.h"

#include <cctype>

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

bool IsValidPortName(std::string_view name) {
    size_t digits = 0;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[name.size() - 1 - digits]))) {
        ++digits;
    }
    if (digits == 0 || digits > 3 || digits == name.size()) return false;
    for (size_t i = 0; i < name.size() - digits; ++i) {
        if (!std::isalpha(static_cast<unsigned char>(name[i]))) return false;
    }
    int number = 0;
    for (size_t i = name.size() - digits; i < name.size(); ++i) number = number * 10 + (name[i] - '0');
    return number <= 998;
}

}  // namespace flintcast::controller
