#pragma once
// What the modem port keeps: identity values and the settings the AT commands change.
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "sim/profile.h"

namespace flintcast::sim {

struct ModemState {
    IdentityValues identity;
    bool echo = true;
    bool diagServiceOpen = false;   // AT+DISK=7,"YS" / "NO"
    bool diagEnabled = false;       // AT+DIAG=n
    std::string usbMode;            // AT+DISK=8,"D1|D2|D3"
    std::string disk0;              // AT+DISK=0,"CD|HD"
    std::string disk1;              // AT+DISK=1,"RO"
    int radio = 1;                  // AT+CFUN=n
    std::string firstTime;          // AT+SFIRSTTIME=n
    std::string cdrom;              // AT+CDROM=n
    std::string cfgData;            // AT+CFGDATA=...
    std::vector<std::string> pdpContexts;  // AT+CGDCONT=... in the order given
    std::string softwareVersion;    // set once an update wrote a versioned AMSS image

    nlohmann::json toJson() const;
};

}  // namespace flintcast::sim
