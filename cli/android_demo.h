#pragma once
// The Android rehearsal of `flintcast demo --android`: the package the demo runs on an
// Android-based unit (the default package's images plus fastboot images, one of them large
// enough to go in chunks, and the WiFi board file kept over adb), and the check of the unit
// afterwards: every partition equal to its image and the board file as it was before.
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

namespace flintcast::cli {

struct AndroidDemoPackage {
    std::filesystem::path config;       // the package's Config.ini with the Android items on
    std::filesystem::path imageFolder;  // its images
    std::string error;                  // empty when the package is ready
};

// The simulator profile of the demo's Android-based unit.
std::string AndroidDemoProfile();
// Stages the embedded package into `folder` and adds the fastboot images.
AndroidDemoPackage MakeAndroidDemoPackage(const std::filesystem::path& folder);

struct AndroidDemoCheck {
    bool ok = false;
    std::string summary;
};
// Compares the unit's partitions with the package's fastboot images and its board file with
// what it held before the update.
// `stateFolder` is the simulator's state folder, which holds its partitions.
AndroidDemoCheck CheckAndroidUnit(const AndroidDemoPackage& package, const nlohmann::json& before,
                                  const nlohmann::json& after, const std::filesystem::path& stateFolder);

}  // namespace flintcast::cli
