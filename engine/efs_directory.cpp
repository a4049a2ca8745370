#include "engine/efs_directory.h"

#include <fmt/format.h>

#include "engine/efs_mirror.h"

namespace flintcast::engine {
namespace {

std::string NameText(const std::vector<uint8_t>& name) { return std::string(name.begin(), name.end()); }

// path + "/" + name, without a doubled "/", and without a leading "/" (the listing keeps the
// paths relative, as the walk itself does).
std::string JoinPath(std::string_view path, std::string_view name) {
    std::string joined(path);
    if (joined.empty() || joined.back() != '/') joined += '/';
    joined += name;
    if (joined.size() > 1 && joined.front() == '/') joined.erase(0, 1);
    return joined;
}

int EnumDir(EfsClient& efs, std::string_view requested, EfsListing& listing, bool foundInListing) {
    Reporter& reporter = efs.context().reporter;
    reporter.ShowStatus(LineClass::Progress, fmt::format("{}{}", kEnumDirLine, requested));
    std::string path(requested);
    if (path.size() > 1 && path.front() == '/') path.erase(0, 1);

    const int opened = efs.OpenEfsDirForListing(path);
    if (opened < 0) return -1;
    if (opened > 0) {
        // A configured directory the device does not have is simply not backed up; one that the
        // device has just listed must open.
        if (foundInListing) reporter.ShowError(fmt::format("{}{}", kListingBrokenError, path));
        return reporter.ok() ? 1 : -1;
    }

    const size_t firstNew = listing.directories.size();
    size_t added = 0;
    bool broken = false;
    for (uint32_t sequence = 1;; ++sequence) {
        efs::DirEntry entry;
        if (sequence > kMaxEntriesPerDirectory || !efs.ReadListingEntry(sequence, entry)) {
            broken = reporter.ok();
            break;
        }
        if (entry.isEnd()) break;
        if (!entry.isDirectory() && !entry.isFile()) continue;  // links, devices: nothing to copy
        const EntryName verdict = CheckEntryName(entry.name);
        if (verdict == EntryName::Self) continue;
        const std::string child = verdict == EntryName::Usable ? JoinPath(path, NameText(entry.name)) : std::string();
        if (verdict == EntryName::Refused || child.size() > kMaxEfsPathBytes) {
            reporter.ShowStatus(LineClass::Ordinary, fmt::format("[EFS] Name refused, not backed up: {}/{}", path,
                                                                 PrintableName(entry.name)));
            continue;
        }
        if (entry.isDirectory()) {
            listing.directories.push_back(child);
            ++added;
        } else {
            listing.files.push_back(child);
        }
    }
    efs.CloseEfsDir();
    if (broken) reporter.ShowError(fmt::format("{}{}", kListingBrokenError, path));
    if (!reporter.ok()) return -1;

    for (size_t i = firstNew; i < firstNew + added; ++i) {
        const std::string child = listing.directories[i];  // the list grows during the walk
        if (EnumDir(efs, child, listing, true) < 0) return -1;
    }
    efs.CloseEfsDir();
    return reporter.ok() ? 0 : -1;
}

}  // namespace

int EnumEfsDir(EfsClient& efs, std::string_view path, EfsListing& listing) {
    return EnumDir(efs, path, listing, false);
}

int RemoveEfsDir(EfsClient& efs, std::string_view path) {
    const auto failed = [&efs](int code) { return efs.context().ok() ? code : -1; };
    if (efs.OpenEfsDir(path) != 0) return failed(remove_dir::kNotListed);

    std::vector<std::string> names;
    for (uint32_t sequence = 1;; ++sequence) {
        efs::DirEntry entry;
        if (sequence > kMaxEntriesPerDirectory || efs.ReadDirEntry(sequence, entry) != 0) {
            return failed(remove_dir::kNotListed);
        }
        if (entry.mode == 0) break;  // end of the listing
        const EntryName verdict = CheckEntryName(entry.name);
        if (verdict == EntryName::Self || NameText(entry.name) == "..") continue;
        // Any subdirectory stops the removal before anything is deleted.
        if ((entry.mode & 0xF000) == 0x4000) {
            efs.CloseEfsDir();
            return failed(remove_dir::kHasSubdirectory);
        }
        // Only plain files open to everyone (the mode the tool itself writes) are removed; a
        // file with any other permission is the unit's own and stays, and so does the folder.
        if (entry.mode == kRemovableFileMode && verdict == EntryName::Usable) names.push_back(NameText(entry.name));
    }
    if (efs.CloseEfsDir() != 0) return failed(remove_dir::kNotListed);
    for (const auto& name : names) {
        if (efs.RemoveEfsFile(path, name) != 0) return failed(remove_dir::kFileNotRemoved);
    }
    if (efs.RemoveEfsEmptyDir(path) != 0) return failed(remove_dir::kDirNotRemoved);
    return remove_dir::kDone;
}

}  // namespace flintcast::engine
