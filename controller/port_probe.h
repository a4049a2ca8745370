#pragma once
// Telling a unit's unnamed serial ports apart by what they answer. Most data
// cards show no interface strings under the Linux serial drivers, and a unit
// may not be in the configured table; its diagnostic and modem ports are then
// found by asking each one, briefly and once per USB device.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/port_scanner.h"
#include "platform/serial_port.h"

namespace flintcast::controller {

enum class PortAnswer {
    Diag,     // a valid HDLC frame came back: the binary (diagnostic or download) port
    Modem,    // "OK" came back to "AT"
    Neither,  // silence, or text that is not "OK": the port is left alone from now on
};

// Probes one port that is open with reads returning at once. "AT" goes first:
// a binary port drops it at the next frame flag, and the DIAG version request
// that follows (only on a port that stayed silent) starts with a flag. The
// other order would leave binary bytes at the start of a modem's command line,
// which then refuses or ignores the "AT".
PortAnswer ProbePortAnswer(platform::SerialPort& port, const platform::Clock& clock);

// The role shown in a probed port's friendly name ("Diag", "Modem"); empty for Neither.
std::string_view ProbedRole(PortAnswer answer);
std::string_view DescribeAnswer(PortAnswer answer);

// One key per USB device and enumeration: its sysfs folder, ids and bus address.
std::string ProbeDeviceKey(const platform::UsbSerialPort& port);

// What each USB device's ports answered. A unit that has just appeared may not
// answer yet (its modem often starts a few seconds after its ports), so while it
// has not shown both its diagnostic and its modem port, its silent ports are asked
// again, at most every kReprobeGapMs and only within kSettleWindowMs of its first
// probe. After that a silent port is never written to again while the device stays.
class ProbeRecords {
public:
    static constexpr uint32_t kReprobeGapMs = 2000;
    static constexpr uint32_t kSettleWindowMs = 20000;

    // Forgets devices that are no longer present.
    void KeepOnly(const std::set<std::string>& presentKeys);
    // True when the port should be probed now. `scan` numbers the current scan, so
    // every silent port of a device is asked in the same scan; `nowMs` is the clock's tick.
    bool ShouldProbe(const std::string& key, int interfaceNumber, unsigned scan, uint32_t nowMs);
    void Record(const std::string& key, int interfaceNumber, PortAnswer answer);
    // The recorded answer, if any.
    const PortAnswer* Answer(const std::string& key, int interfaceNumber) const;

private:
    struct Device {
        std::map<int, PortAnswer> answers;
        bool started = false;
        uint32_t firstMs = 0;
        uint32_t roundMs = 0;
        unsigned roundScan = 0;
        bool showedBoth() const;
    };
    std::map<std::string, Device> devices_;
};

}  // namespace flintcast::controller
