#pragma once
// restore-archive's work on an attached unit: it opens the unit's ports, reads the chosen items
// of an archive, writes those the unit does not hold as archived and reads them back.
#include <functional>
#include <string>
#include <vector>

#include "config/project_config.h"
#include "engine/device_directory.h"
#include "engine/unit_archive.h"

namespace flintcast::controller {

struct ArchiveWriteBack {
    bool portsOpened = false;
    bool unitAnswered = false;                 // false: it stopped answering (an error line says where)
    std::vector<engine::archive::Item> written;  // the items that had to be written
    std::vector<std::string> refused;          // labels of items the unit did not take
    std::vector<std::string> notRestored;      // labels of items that do not read back as archived
    bool ok() const { return portsOpened && unitAnswered && refused.empty() && notRestored.empty(); }
};

// Every line of the exchange: its kind (2 for a failure) and text.
using ArchiveLine = std::function<void(int kind, const std::string& text)>;

ArchiveWriteBack WriteBackArchiveItems(const std::vector<engine::archive::Item>& chosen, const std::string& diagPort,
                                       const std::string& modemPort, engine::DeviceDirectory& directory,
                                       const config::ProjectConfig& config, const ArchiveLine& line);

}  // namespace flintcast::controller
