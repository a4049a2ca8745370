#pragma once
// Directory walks on the device's EFS: the recursive listing behind the user-data backup and
// the removal of a directory with its plain files for the part-of-EFS update.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/efs_client.h"

namespace flintcast::engine {

// Device paths found under the [UserDataDir] entries, in the order found (parents first).
struct EfsListing {
    std::vector<std::string> directories;
    std::vector<std::string> files;
};

// Limits beyond which a listing is taken as broken rather than followed for ever.
inline constexpr uint32_t kMaxEntriesPerDirectory = 10000;
inline constexpr size_t kMaxEfsPathBytes = 1023;

inline constexpr std::string_view kEnumDirLine = "Enum dir:";
inline constexpr std::string_view kListingBrokenError = "[EFS] Fail to read directory:";

// Lists `path` into `listing`, then each directory it found, recursively. -1 error latched,
// 0 listed, 1 the directory could not be opened (its folder stays empty, without an error).
// A listing that breaks off after it began, or a found subdirectory that cannot be opened,
// is an error: the files behind it would otherwise be left out of the backup unnoticed.
int EnumEfsDir(EfsClient& efs, std::string_view path, EfsListing& listing);

// RemoveEfsDir results.
namespace remove_dir {
inline constexpr int kDone = 0;
inline constexpr int kNotListed = 1;
inline constexpr int kHasSubdirectory = 2;
inline constexpr int kFileNotRemoved = 3;
inline constexpr int kDirNotRemoved = 4;
}  // namespace remove_dir

// The one file mode RemoveEfsDir removes: a plain file with permissions 0666.
inline constexpr uint16_t kRemovableFileMode = 0x81B6;

// Removes a directory that holds only plain files; a subdirectory leaves everything in place.
int RemoveEfsDir(EfsClient& efs, std::string_view path);

}  // namespace flintcast::engine
