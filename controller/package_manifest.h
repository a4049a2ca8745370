#pragma once
// The package manifest: a text file "manifest.sha256" beside the images that names each image
// with its size and SHA-256, so an image that is not the one the package was made with (cut
// short, damaged, swapped) is refused before any unit is touched. One image a line:
//     <64 hex digits of SHA-256> <size in bytes> <file name>
// Empty lines and lines starting with "#" are skipped. docs/package-manifest.md describes it.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/sha256.h"
#include "config/messages.h"
#include "engine/image_set.h"

namespace flintcast::controller {

inline constexpr std::string_view kManifestFileName = "manifest.sha256";

struct ManifestEntry {
    std::string name;
    uint64_t size = 0;
    sha256::Digest digest{};
    bool operator==(const ManifestEntry&) const = default;
};

// The entries of a manifest's text, or nullopt with `error` naming the first bad line.
std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text, std::string& error);
std::string ManifestText(const std::vector<ManifestEntry>& entries);

// Size and SHA-256 of a file, read in pieces; nullopt when it cannot be read.
std::optional<ManifestEntry> DescribeFile(const std::filesystem::path& path);

// Writes the manifest of every plain file in `folder` (the manifest and Config.ini aside), sorted by
// name, in place of an earlier one. The number of images listed, or nullopt with `error` set.
std::optional<size_t> WriteManifest(const std::filesystem::path& folder, std::string& error);

struct ManifestVerdict {
    bool present = false;              // the folder carries a manifest
    std::vector<std::string> problems; // one line per image that does not match (empty: all match)
    bool ok() const { return problems.empty(); }
};

// Checks `folder` against its manifest: every listed image that is in the folder must have
// the listed size and SHA-256, and every file of `used` (the images a run writes, by name)
// must be listed. Without a manifest nothing can be checked and the verdict says so.
ManifestVerdict CheckPackageManifest(const std::filesystem::path& folder, const std::vector<std::string>& used);

// The file names, in `folder`, of the images `images` writes to a unit (the converted
// programmer and the restored backup files aside: they are made here, not carried).
std::vector<std::string> ImagesWrittenFrom(const engine::ImageSet& images, const std::filesystem::path& folder);

// The check a run makes before any unit is touched: a mismatch shows one error message naming
// every file and gives false; a folder without a manifest shows a warning once (`warned`)
// and gives true.
bool ImagesMatchManifest(const std::filesystem::path& folder, const engine::ImageSet& images,
                         config::MessageSink& messages, bool& warned);

}  // namespace flintcast::controller
