#pragma once
// Finding the data card's disk among the SCSI disks of a device tree: by the identification the
// disk reports (vendor and model, exact), or by the friendly name the system gives a USB disk
// (ignoring case).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flintcast::modeswitch {

struct ScsiDiskInfo {
    std::string name;             // "sdb"
    std::string vendor;           // as the disk reports it, blanks kept
    std::string model;
    bool onUsb = false;           // the disk hangs below a USB device
    std::filesystem::path node;   // <root>/dev/<name>
};

// The disks under <root>/sys/block/sd* in name order, vendor and model read from the SCSI
// device's attributes with only the line end removed. A disk whose attributes cannot be read
// is left out.
std::vector<ScsiDiskInfo> ListDiskInterfaces(const std::filesystem::path& root);

// The last disk whose vendor and model equal the given ones exactly (where drive letters exist,
// this search walks the drives; here it walks the disks in name order).
std::optional<std::filesystem::path> FindDiskByDriveLetter(const std::vector<ScsiDiskInfo>& disks,
                                                              std::string_view vendor, std::string_view model);

// Vendor and model with trailing blanks removed, joined by a blank, and " USB Device" for a USB disk.
std::string FriendlyName(const ScsiDiskInfo& disk);

// The first disk whose friendly name equals `friendlyName`, ignoring case.
std::optional<std::filesystem::path> FindDiskByFriendlyName(const std::vector<ScsiDiskInfo>& disks,
                                                            std::string_view friendlyName);

}  // namespace flintcast::modeswitch
