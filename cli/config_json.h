#pragma once
// The configuration as JSON, with the configuration key names for values read from
// the file and descriptive names for derived values.
#include <vector>

#include <nlohmann/json.hpp>

#include "config/dual_package.h"
#include "config/messages.h"
#include "config/project_config.h"

namespace flintcast::cli {

nlohmann::ordered_json ConfigToJson(const config::ProjectConfig& config);
nlohmann::ordered_json SecondPackageToJson(const config::SecondPackage& second);
nlohmann::ordered_json MessagesToJson(const std::vector<config::Message>& messages);

}  // namespace flintcast::cli
