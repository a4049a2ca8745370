#pragma once
// Verifying the image set of an image folder: every selected image must exist
// and have a size within its slot's bound; optionally each gets its CRC-16.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/messages.h"
#include "config/project_config.h"
#include "controller/image_scan.h"
#include "engine/image_set.h"

namespace flintcast::controller {

// One line of the window's file list.
struct ListedImage {
    std::string name;    // file name
    std::string folder;  // folder holding it
    uint32_t size = 0;
    std::optional<uint16_t> crc;  // when the fast download mode computed one
};

struct VerifyOptions {
    bool reUpdate = false;                    // a resumed run takes the backup files from...
    std::filesystem::path deviceBackupFolder; // ...this folder
};

// Clears the slots, scans `folder`, then checks and lists every selected image in
// order, computing sizes, total and (with bFastSpeedDownload) the CRC slots. The first
// failure shows one message, empties `list` and gives false. An empty folder path
// does nothing and gives false.
bool VerifyImageSet(const std::filesystem::path& folder, const config::ProjectConfig& config,
                    const VerifyOptions& options, const ProgrammerConversion& conversion,
                    config::MessageSink& messages, engine::ImageSet& images, std::vector<ListedImage>& list);

}  // namespace flintcast::controller
