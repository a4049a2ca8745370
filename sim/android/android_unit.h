#pragma once
// The Android side of a simulated unit: its fastboot bootloader (in fastboot mode) and its
// adbd (in normal mode, when the profile gives it an adb interface), the flash partitions and
// the Android files they work on. The device calls in when it enumerates or leaves the bus and
// when poll reports traffic on the descriptors this side asked for.
#include <poll.h>

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/clock.h"
#include "sim/android/adb_service.h"
#include "sim/android/fastboot_service.h"
#include "sim/device_tree.h"
#include "sim/faults.h"
#include "sim/model/android_files.h"
#include "sim/model/partition_store.h"
#include "sim/profile.h"
#include "sim/reply_writer.h"

namespace flintcast::sim {

class AndroidUnit {
public:
    enum class Action { Reboot, RebootBootloader, Disconnect, StateChanged };

    AndroidUnit(const Profile& profile, const std::filesystem::path& stateFolder, Faults& faults,
                ProtocolFaultHooks* requestFaults, ReplyWriter& writer, const platform::Clock& clock);
    ~AndroidUnit();

    // Starts the services of `personality` and returns the USB functions the tree shows.
    std::vector<UsbFunctionEntry> Enumerate(UsbPersonality personality);
    // Stops every service: the unit left the bus.
    void LeaveBus();
    // The update overwrote what holds the files the profile names in `adb.wiped_by_update`:
    // they are gone until a restore writes them back.
    void WipeByUpdate();

    void AddPollFds(std::vector<pollfd>& fds) const;
    std::vector<Action> Serve(std::span<const pollfd> fds);

    // Adds "fastboot", "adb", "partitions" and "android_files" to the state.
    void AddState(nlohmann::json& state) const;

private:
    const Profile& profile_;
    Faults& faults_;
    ProtocolFaultHooks* requestFaults_;
    ReplyWriter& writer_;
    const platform::Clock& clock_;
    FastbootSettings fastbootSettings_;
    std::unique_ptr<PartitionStore> partitions_;
    std::unique_ptr<FastbootService> fastboot_;
    AndroidFiles files_;
    AdbIdentity adbIdentity_;
    std::unique_ptr<AdbService> adb_;
};

}  // namespace flintcast::sim
