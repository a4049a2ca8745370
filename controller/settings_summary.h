#pragma once
// The one-line summary of the selected download items that the window shows beside its log.
#include <string>

#include "config/project_config.h"

namespace flintcast::controller {

// Every selected item's name in the fixed order, separated by ", " and ended by "."; empty when
// nothing is selected.
std::string SettingsSummary(const config::ProjectConfig& config);

}  // namespace flintcast::controller
