#pragma once
// Whether a file is a configuration at all: one that holds none of the sections the reader
// knows (a password file, a binary, an empty file) would otherwise read as all defaults.
#include <array>
#include <string_view>

#include "platform/ini_file.h"

namespace flintcast::config {

inline constexpr std::array<std::string_view, 15> kConfigSections = {
    "Project",  "DownloadItems", "NV_Default",  "NV_Custom",     "Start_AT",
    "End_AT",   "SIMLOCK",       "Uninstall",   "RemoveFiles",   "RemoveDir",
    "CreateDir", "AddFiles",     "UserDataFiles", "UserDataDir", "ARM11Files"};

inline bool HasConfigSection(const platform::IniFile& ini) {
    for (const auto section : kConfigSections) {
        if (ini.hasSection(section)) return true;
    }
    return false;
}

}  // namespace flintcast::config
