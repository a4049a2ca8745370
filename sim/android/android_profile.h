#pragma once
// What a profile says about an Android-based unit: its fastboot bootloader and its adbd with
// the files of its Android file system.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace flintcast::sim {

struct Profile;

struct FastbootSpec {
    std::string product = "flintcast-sim";
    std::string bootloaderVersion = "FCSIM-FB 1.0";
    uint32_t maxDownloadSize = 0x3000000;
    std::map<std::string, uint64_t> partitions;  // name -> capacity in bytes
    bool infoLines = false;            // INFO lines before the OKAY of a flash
    bool atPowerUp = false;            // the unit powers up in fastboot mode
    bool afterStreamingReset = false;  // the reset after a streaming session starts fastboot mode
};

struct AndroidFileSpec {
    std::string path;  // absolute, "/" separated
    bool directory = false;
    std::vector<uint8_t> data;
    uint32_t mode = 0644;  // permission bits
};

struct AdbSpec {
    std::vector<AndroidFileSpec> files;
    // Files the update erases (as flashing the partition that holds them does on a real unit);
    // only a restore brings them back.
    std::vector<std::string> wipedByUpdate;
    std::map<std::string, std::string> properties;  // answered by "getprop" and the banner
};

// Reads the "fastboot" and "adb" keys of a profile's JSON into `p`. Throws std::runtime_error
// naming the bad field.
void ApplyAndroidJson(Profile& p, const nlohmann::json& j);

// The built-in Android-based unit (`--profile android`).
Profile AndroidProfile();

}  // namespace flintcast::sim
