// Folder helpers on Windows. The walk that removes a tree never enters a reparse point
// (symbolic link or junction): such an entry is removed as the link itself, so its target is
// never touched. Read-only files inside the tree are made writable to be deleted.
#include "platform/folder_tree.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace {

constexpr int kMaxDepth = 128;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool IsDirectory(const std::wstring& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsGone(const std::wstring& path) {
    if (Attributes(path) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD e = ::GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

// Removes one entry that is not walked into: a file, or a link of either kind.
bool RemoveEntry(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    const bool ok = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ::RemoveDirectoryW(path.c_str()) != FALSE
                                                                 : ::DeleteFileW(path.c_str()) != FALSE;
    return ok || IsGone(path);
}

bool EmptyDirectory(const std::wstring& folder, int depth) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    std::vector<std::pair<std::wstring, DWORD>> entries;
    do {
        const std::wstring_view name(entry.cFileName);
        if (name != L"." && name != L"..") entries.emplace_back(folder + L"\\" + entry.cFileName, entry.dwFileAttributes);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    bool ok = true;
    for (const auto& [path, attributes] : entries) {
        const bool walk = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        if (!walk) {
            ok = RemoveEntry(path, attributes) && ok;
            continue;
        }
        if (depth >= kMaxDepth || !EmptyDirectory(path, depth + 1)) {
            ok = false;
            continue;
        }
        ok = RemoveEntry(path, attributes) && ok;
    }
    return ok;
}

}  // namespace

std::optional<std::string> CreateFolderLevels(const std::string& path) {
    if (path.empty()) return std::string();
    const std::wstring wide = win32::Widen(path);
    // The levels start after a drive ("C:\") or a share ("\\server\share\") prefix.
    size_t pos = 0;
    if (wide.size() >= 2 && wide[1] == L':') pos = 2;
    if (wide.size() >= 2 && IsSeparator(wide[0]) && IsSeparator(wide[1])) {
        size_t seen = 0;
        pos = 2;
        while (pos < wide.size() && seen < 2) {
            if (IsSeparator(wide[pos])) ++seen;
            ++pos;
        }
    }
    while (pos <= wide.size()) {
        size_t next = pos;
        while (next < wide.size() && !IsSeparator(wide[next])) ++next;
        const std::wstring prefix = wide.substr(0, next);
        if (next > pos && !IsDirectory(prefix)) {
            if (!::CreateDirectoryW(prefix.c_str(), nullptr) && !IsDirectory(prefix)) return win32::Narrow(prefix);
        }
        pos = next + 1;
    }
    return std::nullopt;
}

bool RemoveFolder(const std::string& path) {
    std::wstring folder = win32::Widen(path);
    while (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
    if (folder.empty()) return false;
    const DWORD attributes = Attributes(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsGone(folder);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link (or a file) standing where the folder should be: remove only it.
        return RemoveEntry(folder, attributes);
    }
    const bool emptied = EmptyDirectory(folder, 0);
    const bool removed = RemoveEntry(folder, attributes);
    return emptied && removed && IsGone(folder);
}

}  // namespace flintcast::platform
