#pragma once
// Dual-package mode (Packet = 2): one release carries two packages for two mainboard
// variants of one project, paired by mainboard name (MBX1 with MBX2, MBY1 with MBY2).
// At start-up the second package is checked against the first; at Start the device's
// mainboard name chooses the package.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/messages.h"
#include "config/project_config.h"

namespace flintcast::config {

// What the check reads from the second package's Config.ini.
struct SecondPackage {
    int32_t flashType = 0;
    std::string name = "UNKNOWN";
    std::string version;  // read only when the first package checks the mainboard type
};

enum class SecondPackageCheck { Ok, EndApplication };

// Reads the second package's Config.ini and checks the pairing. On a pairing error it
// turns off the first package's image items, shows the message, and the application
// must end. A second file that cannot be read ends it the same way.
SecondPackageCheck CheckSecondPackage(const std::filesystem::path& path, ProjectConfig& first,
                                      SecondPackage& second, MessageSink& messages);

// The mainboard names that take part in the choice at Start.
bool IsPairedBoardName(std::string_view name);
// Whether Start has to choose a package: the first package names a paired board.
bool NeedsPackageSelection(const ProjectConfig& first);

enum class PackageChoice {
    First,       // use the package already read
    Second,      // re-read the second Config.ini with ReadConfig and use its folder
    NotMatched,  // message shown; the Start and the application end
};

PackageChoice SelectPackage(const ProjectConfig& first, const SecondPackage& second,
                            std::string_view deviceBoard, MessageSink& messages);

}  // namespace flintcast::config
