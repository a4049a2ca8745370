#pragma once
// What a worker asks of the host that found its device: the port scan and the
// ports it found, the port-presence check, the AT query, the fastboot interface
// lookup, the device version to show, and the device-change flags that every
// worker shares. The controller implements it over device
// discovery, so a worker runs the same with a window, a terminal or no
// presentation at all. Every call returns its result before the worker goes on.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flintcast::platform {
class SerialPort;
}

namespace flintcast::engine {

class DeviceDirectory {
public:
    virtual ~DeviceDirectory() = default;

    // Runs the port scan; afterwards the first diagnostic and modem port found
    // are the ones the worker uses.
    virtual void RescanPorts() = 0;
    // The diagnostic and modem port the last scan chose: a port name ("ttyUSB2")
    // or empty.
    virtual std::string FoundDiagPort() = 0;
    virtual std::string FoundModemPort() = 0;
    // Re-scans and answers whether the first diagnostic port found is `portName`.
    virtual bool IsSameDiagPort(std::string_view portName) = 0;
    // Sends `command` on an open modem port and returns the value the query's
    // extraction rules take from the reply, or nothing when the query failed.
    virtual std::optional<std::string> AtQuery(platform::SerialPort& port, std::string_view command) = 0;
    // Looks up fastboot interface `index`: 0 ready (path filled with the link name the
    // fastboot transport opens, "tcp:HOST:PORT" or "usb:BUS:DEV"), 255 a composite device that
    // is not in fastboot mode, another value the system's error.
    virtual int32_t FindFastbootDevice(int index, std::string& path) = 0;
    // Looks up the adb interface `index` the same way: 0 found (name filled), else not found.
    virtual int32_t FindAdbDevice(int index, std::string& name) {
        (void)index;
        (void)name;
        return 259;
    }
    // Shows the device's version ("Version:" and the version) to the operator.
    virtual void ShowDeviceVersion(std::string_view text) = 0;

    // Set once per program run when discovery has already sent the start
    // disk switch to the device; the start list then skips that line.
    virtual bool ModeSwitchSent() const = 0;

    // Device-change flags: set on every change notification (and the arrival
    // flag for an arrival), read and cleared by workers waiting for a device.
    std::atomic<int32_t>& deviceChangeSeen() { return deviceChangeSeen_; }
    std::atomic<int32_t>& deviceArrivalSeen() { return deviceArrivalSeen_; }
    void ClearDeviceFlags() {
        deviceChangeSeen_.store(0);
        deviceArrivalSeen_.store(0);
    }
    void NoteDeviceChange(bool arrival) {
        deviceChangeSeen_.store(1);
        if (arrival) {
            deviceArrivalSeen_.store(1);
        }
    }

protected:
    DeviceDirectory() = default;

private:
    std::atomic<int32_t> deviceChangeSeen_{0};
    std::atomic<int32_t> deviceArrivalSeen_{0};
};

}  // namespace flintcast::engine
