#pragma once
// The simulated device's state behind its binary protocols: settings from the profile,
// NV and RF NV items, the EFS tree, the flash written by the programmer, the partition
// table, the download-mode RAM, factory values and request counters.
//
// Threads: the model is shared by the port engines, the AT port and the state writer.
// Whoever reads or changes it holds `mutex` for the whole operation.
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "sim/model/dmss_ram.h"
#include "sim/model/efs_tree.h"
#include "sim/model/flash_store.h"
#include "sim/model/nv_store.h"

namespace flintcast::sim {

// Values the device answers with, filled from the profile.
struct DeviceSettings {
    uint32_t projectType = 46;            // the programmer image must be built for this project
    uint8_t platformByte = 0;             // byte 8 of the extended build id answer
    uint32_t msmHardwareVersion = 0x0000'8A00;
    std::string buildId = "FLINTCAST-SIM";
    std::string modelName = "FC-SIM";
    std::string serviceProgrammingCode = "000000";
    // The security lock: while it is on (from every boot until the service programming code is
    // accepted) NV writes and reads of the protected items are refused with `lockAnswer`.
    bool securityLock = false;
    std::vector<uint16_t> protectedNvItems;
    uint8_t lockAnswer = 0x42;
    // Download-mode bootloader parameters.
    uint16_t dmssMaxWriteSize = 0x4000;
    uint8_t dmssVersion = 8;
    uint8_t dmssMinVersion = 2;
    uint8_t dmssModel = 0x2A;
    uint8_t dmssDeviceSize = 0x1B;
    uint8_t dmssDeviceType = 0x04;
    bool dmssParamsLeadingFlag = false;  // the parameter answer starts with a flag, as some bootloaders send it
    // Streaming download parameters.
    std::string flashId = "FCSIM-NAND";
    uint32_t streamBlockSize = 0x400;
};

class DeviceModel {
public:
    // Images are stored under `stateFolder`/flash; an empty path keeps them in memory.
    explicit DeviceModel(std::filesystem::path stateFolder = {});

    mutable std::mutex mutex;

    DeviceSettings settings;
    NvStore nv;
    EfsTree efs;
    FlashStore flash;
    DmssRam ram;
    // The table the device holds; nullopt until the first one is accepted.
    std::optional<std::vector<uint8_t>> partitionTable;
    // Version text of the running software; replaced by the marker of a written AMSS image.
    std::string softwareVersion;
    // Set by the diagnostic mode switch (factory test mode); cleared on every reset.
    bool testMode = false;
    bool offline = false;
    // The security lock is on (settings.securityLock) until the code is accepted; on again at boot.
    bool locked = false;

    // The answer that refuses an NV request behind the lock, or 0 when the lock lets it pass.
    uint8_t NvLockAnswer(uint16_t id, bool write) const;

    // Remembers the current NV items, RF NV items and EFS tree as the factory state.
    // Call once after the profile has filled the model.
    void CaptureFactory();
    // Remembers the state an EFS image leaves on a real unit instead: active NV items
    // inactive with zero data, no RF NV items, the directories without their files.
    void CaptureWipedFactory();
    // Puts NV, RF NV and the EFS tree back to the factory state (writing an EFS image).
    void RestoreFactory();
    uint32_t factoryRestores() const { return factoryRestores_; }

    // Takes the software version from an AMSS image: the text after the ASCII marker
    // "FCSWVER:" up to a NUL, found in the first 4 KiB. False when absent or not text.
    bool AdoptVersionFromAmss(const std::vector<uint8_t>& image);

    // Clears the per-boot state (test mode, offline, download RAM) when the device restarts.
    void OnRestart();

    void Count(const std::string& kind) { ++counters_[kind]; }
    uint64_t Counter(const std::string& kind) const;
    const std::map<std::string, uint64_t>& counters() const { return counters_; }

    // The model's part of the state file (the caller holds `mutex`).
    nlohmann::json ToJson() const;

private:
    struct Factory {
        NvStore nv;
        EfsTree efs;
    };
    std::optional<Factory> factory_;
    uint32_t factoryRestores_ = 0;
    std::map<std::string, uint64_t> counters_;
};

inline constexpr char kVersionMarker[] = "FCSWVER:";
inline constexpr size_t kVersionSearchBytes = 4096;
inline constexpr size_t kMaxVersionLength = 128;

}  // namespace flintcast::sim
