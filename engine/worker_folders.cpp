#include "engine/worker_folders.h"

#include "platform/folder_tree.h"

namespace flintcast::engine {

std::string SafeFolderName(std::string_view text) {
    std::string name(text);
    for (char& c : name) {
        switch (c) {
            case '/': case '*': case '?': case '"': case '<': case '>': case '|': case '\\': case '\0':
                c = '_';
                break;
            default:
                break;
        }
    }
    return name;
}

bool RemoveFolder(std::string_view path) {
    std::string folder(path);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) return false;
    return platform::RemoveFolder(folder);
}

void CreateFolderPath(Reporter& reporter, const std::string& path) {
    if (platform::CreateFolderLevels(path).has_value()) {
        reporter.ShowError(kCouldNotCreateFolder);
        throw FolderCreationError();
    }
}

}  // namespace flintcast::engine
