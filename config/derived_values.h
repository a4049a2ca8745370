#pragma once
// Values the configuration reader derives from the keys it has read.
#include <cstdint>
#include <string_view>

#include "config/project_config.h"

namespace flintcast::config {

// Exactly "LTE" 3, "EVDO" 2, "CDMA2000" 1, anything else 0 (case matters).
int32_t NetworkTypeFromText(std::string_view type);
// "English" anywhere selects English, else "Japanese" anywhere Japanese, else English.
Language LanguageFromText(std::string_view language);
// Keeps at most one PC-suite image, bDISK over bCDROM over bResImage, and sets pcSuite.
void ApplyPcSuitePriority(ProjectConfig& config);
// Only fastboot images are to be written: no flash image item, no PC-suite image and
// at least one fastboot image.
bool IsFastbootOnly(const ProjectConfig& config);
// Project 3's operator variants: the first of "SWK0018", "SWKAX02", "SWKII02" found in
// the version gives 1, 2 or 3; none gives 0.
int32_t VersionMarkerOf(std::string_view version);
// Projects that cannot run without a package version.
bool RequiresVersion(const ProjectConfig& config);

struct SimLockSetting {
    bool on = false;
    int32_t mode = 0;
    bool valid = true;  // mode 1 must be followed by a list
};
SimLockSetting ParseSimLock(std::string_view value);

}  // namespace flintcast::config
