#pragma once
// Reading Config.ini into ProjectConfig, step by step, with the checks and the
// messages of each step. The first configuration error shows its message, turns off
// the image items (ClearDownloadItems) and ends the reading; what was read before
// it stays in effect and the tool remains usable.
#include <filesystem>

#include "config/messages.h"
#include "config/project_config.h"
#include "platform/ini_file.h"

namespace flintcast::config {

// Starts from a fresh record and fills it from the file at `path`. A file that is
// missing or cannot be read is a configuration error too (all items stay off).
// Returns true when no configuration error occurred.
bool ReadConfig(const std::filesystem::path& path, ProjectConfig& config, MessageSink& messages);
// The same over an INI file already in memory (the embedded default, tests).
bool ReadConfig(const platform::IniFile& ini, ProjectConfig& config, MessageSink& messages);

// Turns off the image items after a configuration error: bEFS, bRawAppsEFS,
// bPartOfEFS, bAMSSFile, bAppsBootloader, bAppsImageAndBootloader, the PC-suite flag
// (with bDISK, bCDROM and bResImage), bCfgdata, the SIM-lock flag, the fastboot images and their multi-part variants.
// Backup, restore, the phone image, the boot loader group and DSP keep their values.
void ClearDownloadItems(ProjectConfig& config);

}  // namespace flintcast::config
