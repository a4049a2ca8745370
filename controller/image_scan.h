#pragma once
// Walking an image folder and assigning every known file name to its slot.
#include <filesystem>

#include "config/messages.h"
#include "config/project_config.h"
#include "engine/image_set.h"

namespace flintcast::controller {

// What the scan needs to convert a HEX programmer it finds.
struct ProgrammerConversion {
    std::filesystem::path libraryFolder;  // holds the staged converter library
    std::filesystem::path outputFolder;   // receives the converted programmer
};

// Visits every entry of `folder` and, recursively, of its sub-folders (in name
// order, never through a linked folder). Names are matched in lower case; a name
// containing ".hex" is converted at once and on success fills the programmer slot
// and the load address; the PC-suite patterns count only when their switch is on.
// A later match overwrites an earlier one.
void ScanImageFolder(const std::filesystem::path& folder, const config::ProjectConfig& config,
                     const ProgrammerConversion& conversion, config::MessageSink& messages,
                     engine::ImageSet& images);

// The PC-suite pattern a lower-case file name matches under `config`, if any.
bool IsPcSuiteImageName(const std::string& lowerName, const config::ProjectConfig& config);

}  // namespace flintcast::controller
