#pragma once
// The simulated device: its ports on pseudo-terminals, its entries in the device tree, its USB
// personality and re-enumeration, the protocol engines and AT modem behind the ports, faults,
// and the state file. Everything runs on the thread that calls Run().
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/clock.h"
#include "platform/pty.h"
#include "sim/android/android_unit.h"
#include "sim/at/at_modem.h"
#include "sim/at/modem_state.h"
#include "sim/at/usb_composition.h"
#include "sim/control_channel.h"
#include "sim/device_tree.h"
#include "sim/fault_hooks.h"
#include "sim/faults.h"
#include "sim/model/device_model.h"
#include "sim/profile.h"
#include "sim/protocols/diag_port_engine.h"
#include "sim/reply_writer.h"
#include "sim/scsi_disk_server.h"

namespace flintcast::sim {

class Device {
public:
    enum class Status { Present, Reenumerating, Unplugged, Crashed };

    // Throws std::runtime_error when the root or state folder cannot be used.
    Device(Profile profile, std::filesystem::path root, std::filesystem::path stateFolder,
           platform::Clock& clock);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Adds fault rules; returns an error message or empty.
    std::string AddFaults(const std::string& spec) { return faults_.add(spec); }

    // Plugs the device in (normal personality) and returns the line that says it is ready.
    std::string Start();
    // Serves ports and the control channel until `stopFd` becomes readable (a signalfd).
    void Run(int stopFd);
    // Unplugs (removes every device entry) and writes the final state.
    void Stop();

    // Runs one control command and returns its answer ("OK ..." or "ERROR ...").
    std::string Control(const std::string& line);

    nlohmann::json StateJson() const;

private:
    struct Port {
        std::string name;
        PortRole role = PortRole::Diag;
        int interfaceNumber = 0;
        std::string interfaceName;
        std::unique_ptr<platform::PtyPair> pty;
        std::unique_ptr<DiagPortEngine> engine;
        std::unique_ptr<AtModem> modem;
        uint32_t lastDataTick = 0;
        uint64_t received = 0;  // bytes the port took in during this enumeration
    };
    struct PendingPlug {
        UsbPersonality personality;
        std::vector<int> numbers;
        uint32_t dueTick;
    };

    Profile profile_;
    std::filesystem::path stateFolder_;
    platform::Clock& clock_;
    DeviceTree tree_;
    Faults faults_;
    FaultHooks hooks_;
    ReplyWriter writer_;
    DeviceModel model_;
    ModemState modem_;
    std::unique_ptr<AndroidUnit> android_;
    std::vector<UsbFunctionEntry> functions_;  // tty-less functions of the present enumeration
    std::unique_ptr<ControlServer> control_;
    // The node of the disk the present enumeration shows, when it shows one.
    std::unique_ptr<ScsiDiskServer> disk_;

    Status status_ = Status::Unplugged;
    UsbPersonality personality_ = UsbPersonality::Normal;
    std::vector<Port> ports_;
    // What the present enumeration shows besides its ports; taken from the AT+DISK settings
    // each time the device enumerates in its normal personality.
    UsbComposition composition_;
    std::vector<int> lastNumbers_;
    // Pseudo-terminals of ports that come back under the same name, kept while the device is
    // off the bus so a client still reads the reply sent just before it left; they hang up when
    // the device enumerates again with new ones.
    std::map<std::string, std::unique_ptr<platform::PtyPair>> retained_;
    // Pseudo-terminals of ports that do not come back, kept after a reset or power-off until the
    // client has read the last reply (a real unit answers, then takes a moment to leave the
    // bus) or a reply limit of device time has passed.
    struct LeavingPort {
        std::unique_ptr<platform::PtyPair> pty;
        uint32_t dueTick;
    };
    std::vector<LeavingPort> leaving_;
    std::optional<PendingPlug> pending_;
    uint64_t enumerations_ = 0;
    uint32_t portGeneration_ = 0;
    bool stateDirty_ = false;
    std::chrono::steady_clock::time_point lastStateWrite_{};

    void FillModel();
    std::vector<int> NextNumbers(size_t count, bool shift) const;
    std::string TtyName(int number) const;
    void CreatePorts(UsbPersonality personality, const std::vector<int>& numbers);
    // Takes the ports off the bus; those named in `keep` come back under the same name. With
    // `leaveAfterLastReply` the others close once their last reply was read (a reset), else at once
    // (an unplug or crash).
    void RemovePorts(const std::vector<std::string>& keep, bool leaveAfterLastReply = false);
    void CloseLeftPorts();
    // Leaves the bus and comes back as `next` after the profile's delay.
    void Reenumerate(UsbPersonality next, bool afterReset);
    void PlugNow(UsbPersonality personality);
    void Unplug(Status status);

    void ServePort(size_t index);
    void OpenDiskNode(const std::optional<StorageFunction>& storage);
    void ServeDisk(int fd);
    void OnAndroidAction(AndroidUnit::Action action);
    void OnEngineOutput(Port& port, EngineOutput output);
    void OnEvent(DeviceEvent event);
    void DrainRetained();
    int PollTimeoutMs() const;
    void RunIdleTimers();

    void MarkDirty() { stateDirty_ = true; }
    void WriteState();
    std::string ReadyLine() const;
};

const char* DeviceStatusName(Device::Status status);

}  // namespace flintcast::sim
