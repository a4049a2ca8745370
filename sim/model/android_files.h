#pragma once
// The small Android file system behind the unit's adbd: directories and files with their
// permission bits and modification times, held in memory (a unit keeps only a handful of files
// here that matter: the WiFi board file, build properties).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace flintcast::sim {

struct AndroidEntry {
    bool directory = false;
    std::vector<uint8_t> data;
    uint32_t mode = 0644;  // permission bits only
    uint32_t mtime = 0;    // seconds since the epoch
};

class AndroidFiles {
public:
    // "/a//b/" -> "/a/b"; nullopt for relative paths and "." or ".." parts.
    static std::optional<std::string> Normalize(std::string_view path);

    AndroidFiles();

    // Adds a directory and the ones above it. False when a file is in the way.
    bool MakeDirs(const std::string& path, uint32_t mode = 0755);
    // Writes a file, creating the directories above it as adbd does. Returns an error text
    // ("Is a directory", "Not a directory", "Invalid path") or empty.
    std::string Write(std::string_view path, std::vector<uint8_t> data, uint32_t mode, uint32_t mtime);
    bool Remove(std::string_view path);

    const AndroidEntry* Find(std::string_view path) const;
    // Names directly below `directory`, in order.
    std::vector<std::pair<std::string, const AndroidEntry*>> List(std::string_view directory) const;

    // {PATH: {"size": N, "sha256": HEX}} for every file.
    nlohmann::json ToJson() const;

private:
    std::map<std::string, AndroidEntry> entries_;  // normalised path -> entry; "/" always there
};

}  // namespace flintcast::sim
