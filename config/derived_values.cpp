#include "config/derived_values.h"

#include "config/project_traits.h"

#include <array>

namespace flintcast::config {

int32_t NetworkTypeFromText(std::string_view type) {
    if (type == "LTE") return 3;
    if (type == "EVDO") return 2;
    if (type == "CDMA2000") return 1;
    return 0;
}

Language LanguageFromText(std::string_view language) {
    if (language.find("English") != std::string_view::npos) return Language::English;
    if (language.find("Japanese") != std::string_view::npos) return Language::Japanese;
    return Language::English;
}

void ApplyPcSuitePriority(ProjectConfig& config) {
    if (config.bDISK) {
        config.bCDROM = false;
        config.bResImage = false;
    } else if (config.bCDROM) {
        config.bResImage = false;
    }
    config.pcSuite = config.bDISK || config.bCDROM || config.bResImage;
}

bool IsFastbootOnly(const ProjectConfig& c) {
    const bool flashImage = c.bEFS || c.bRawAppsEFS || c.bAMSSFile || c.bAppsBootloader ||
                            c.bAppsImageAndBootloader || c.bBootloader || c.bCfgdata || c.bDSP;
    return !flashImage && !c.pcSuite && c.anyFastbootImage();
}

int32_t VersionMarkerOf(std::string_view version) {
    constexpr std::array<std::string_view, 3> kMarkers{"SWK0018", "SWKAX02", "SWKII02"};
    for (size_t i = 0; i < kMarkers.size(); ++i)
        if (version.find(kMarkers[i]) != std::string_view::npos) return static_cast<int32_t>(i + 1);
    return 0;
}

bool RequiresVersion(const ProjectConfig& config) {
    return config.bCheckMainboardType || RequiresConfiguredVersion(config.projectType);
}

SimLockSetting ParseSimLock(std::string_view value) {
    SimLockSetting s;
    if (value.empty()) return s;
    s.on = true;
    if (value.front() == '1') {
        s.mode = 1;
        s.valid = value.size() > 2;
    }
    return s;
}

}  // namespace flintcast::config
