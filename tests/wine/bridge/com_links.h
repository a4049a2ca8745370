#pragma once
// Which COM port a simulated tty becomes inside a Wine prefix, and what has to change in the
// prefix when the simulator's ports change. Wine opens "\\.\COMn" through the link
// <prefix>/dosdevices/comn, so a link to the port's pseudo-terminal is all a Windows program
// needs to open it; the registry entries that make it visible to SetupAPI are kept beside.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace flintcast::winebridge {

// ttyUSBn is COM(first + n), ttyACMn COM(first + 50 + n); other names get no COM port. A unit
// that re-enumerates under other tty numbers therefore shows other COM numbers, as on Windows.
std::optional<int> ComNumberFor(const std::string& ttyName, int firstCom);

struct LinkedPort {
    std::string tty;      // "ttyUSB0"
    std::string target;   // the pseudo-terminal, "/dev/pts/7"
    bool operator==(const LinkedPort&) const = default;
};

using ComMap = std::map<int, LinkedPort>;  // COM number -> port

struct LinkChanges {
    std::vector<int> remove;  // links (and registry entries) to take away first
    std::vector<int> add;     // then the ones to make, in COM order
};

// A port whose pseudo-terminal changed is removed and added again: a re-enumerated port is a
// new device even under its old name.
LinkChanges Compare(const ComMap& current, const ComMap& wanted);

}  // namespace flintcast::winebridge
