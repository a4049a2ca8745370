#include "sim/state_file.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

namespace flintcast::sim {
namespace fs = std::filesystem;

bool WriteStateFile(const fs::path& folder, const nlohmann::json& state) {
    const fs::path target = folder / kStateFileName;
    const fs::path temp = folder / (std::string(kStateFileName) + ".tmp");
    {
        std::ofstream out(temp, std::ios::trunc | std::ios::binary);
        out << state.dump(2) << '\n';
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    return !ec;
}

nlohmann::json ReadSavedIdentity(const fs::path& folder) {
    std::ifstream in(folder / kStateFileName, std::ios::binary);
    if (!in) return nlohmann::json::object();
    std::stringstream ss;
    ss << in.rdbuf();
    const auto j = nlohmann::json::parse(ss.str(), nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("modem") || !j["modem"].is_object()) return nlohmann::json::object();
    const auto& identity = j["modem"].value("identity", nlohmann::json::object());
    return identity.is_object() ? identity : nlohmann::json::object();
}

}  // namespace flintcast::sim
