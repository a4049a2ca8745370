#pragma once
// Disks and volumes as Windows shows them: volumes by drive letter with their storage device
// descriptor, disk device interfaces from SetupAPI with their registry properties, and SCSI
// pass-through to either. The records are plain data on every system (the searches over them
// are tested anywhere); the calls exist in the Windows build only.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/scsi_pass_through.h"
#include "platform/storage_descriptor.h"

namespace flintcast::platform {

struct VolumeRecord {
    char letter = 0;
    std::string path;              // "\\?\F:"
    StorageIdentity identity;      // from its storage device descriptor
};

struct DiskInterfaceRecord {
    std::string path;              // the device interface path
    std::string friendlyName;
    std::string description;
    std::string hardwareId;
};

#ifdef _WIN32
// Every drive letter from A to Z whose volume opens for reading (shared for reading and
// writing) and answers the storage property query.
std::vector<VolumeRecord> QueryVolumes();

// The present interfaces of the disk interface class whose friendly name, description and
// hardware id can all be read. Empty on Windows before version 5. A failed SetupAPI call ends
// the list with what it holds and leaves its text ("SetupDiEnumDeviceInterfaces failed.
// (err=...)") in `diagnosis`.
std::vector<DiskInterfaceRecord> ListDiskInterfaces(std::string& diagnosis);

// Opens `path` for reading and writing and sends `request` with IOCTL_SCSI_PASS_THROUGH, the
// time-out on `clock`. Not delivered, with the reason, when the path cannot be opened or the
// call fails.
ScsiResult SendScsiPassThrough(const std::string& path, const ScsiRequest& request, uint8_t targetId,
                               const Clock& clock);
#endif

}  // namespace flintcast::platform
