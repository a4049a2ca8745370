#pragma once
// Which processes hold a device node open: every /proc/<pid>/fd entry that
// refers to the same node. Used to name the program (a modem manager, a
// terminal emulator) that keeps a port busy when our exclusive open fails.
#include <filesystem>
#include <string>
#include <vector>

namespace flintcast::platform {

struct PortHolder {
    int pid = 0;
    std::string name;  // the process's command name (/proc/<pid>/comm)
};

// Processes with an open descriptor on `devicePath` (links followed), in pid
// order. Processes whose descriptors cannot be read (another user's, without
// privilege) are not listed. `procRoot` is the proc file system's mount.
std::vector<PortHolder> FindPortHolders(const std::filesystem::path& devicePath,
                                        const std::filesystem::path& procRoot = "/proc");

// "ModemManager (pid 812)", several joined by ", "; empty for none.
std::string DescribePortHolders(const std::vector<PortHolder>& holders);

}  // namespace flintcast::platform
