#pragma once
// The device's state file (<state>/state.json), replaced atomically so a reader never sees a
// half-written file.
#include <filesystem>

#include <nlohmann/json_fwd.hpp>

namespace flintcast::sim {

inline constexpr const char* kStateFileName = "state.json";

// Writes `state` to <folder>/state.json through a temporary file and a rename. False on failure.
bool WriteStateFile(const std::filesystem::path& folder, const nlohmann::json& state);
// The identity values an earlier run left in the state file, or an empty object.
nlohmann::json ReadSavedIdentity(const std::filesystem::path& folder);

}  // namespace flintcast::sim
