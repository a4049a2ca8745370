#include "platform/port_holders.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fmt/format.h>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace flintcast::platform {
namespace {

// A process's command name is at most 15 characters; more is not a name.
constexpr std::streamsize kMaxCommBytes = 64;

std::optional<int> PidOf(const std::string& name) {
    int pid = 0;
    const auto [ptr, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || ptr != name.data() + name.size() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

std::string CommandName(const fs::path& processDir) {
    std::ifstream in(processDir / "comm", std::ios::binary);
    std::string text(static_cast<size_t>(kMaxCommBytes), '\0');
    in.read(text.data(), kMaxCommBytes);
    text.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) {
        text.pop_back();
    }
    std::replace_if(text.begin(), text.end(), [](char c) { return std::iscntrl(static_cast<unsigned char>(c)) != 0; },
                    '?');
    return text.empty() ? std::string("?") : text;
}

bool SameNode(const struct stat& a, const struct stat& b) {
    // A character device is one node whatever path reaches it; other files by inode.
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) {
        return a.st_rdev == b.st_rdev;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(const fs::path& devicePath, const fs::path& procRoot) {
    std::vector<PortHolder> holders;
    struct stat target {};
    if (::stat(devicePath.c_str(), &target) != 0) {
        return holders;
    }
    std::error_code ec;
    for (fs::directory_iterator proc(procRoot, ec); !ec && proc != fs::directory_iterator(); proc.increment(ec)) {
        const auto pid = PidOf(proc->path().filename().string());
        if (!pid) {
            continue;
        }
        std::error_code fdError;
        for (fs::directory_iterator fd(proc->path() / "fd", fdError); !fdError && fd != fs::directory_iterator();
             fd.increment(fdError)) {
            struct stat open {};
            if (::stat(fd->path().c_str(), &open) == 0 && SameNode(open, target)) {
                holders.push_back({*pid, CommandName(proc->path())});
                break;
            }
        }
    }
    std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

}  // namespace flintcast::platform
