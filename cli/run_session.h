#pragma once
// One update run from the command line: stage the package, verify the image set, wait for the
// device check to find a ready device, start (or resume) the run on slot 0 and follow it to
// its end. Shared by `run`, `resume` and `demo`.
#include <string>

#include "cli/terminal_presentation.h"

namespace flintcast::cli {

struct RunOptions {
    std::string configPath;   // a Config.ini to use instead of the embedded one
    std::string imageFolder;  // images to use instead of the staged package
    std::string deviceRoot;   // device tree (the simulator's), else the environment or "/"
    bool autotest = false;
    bool json = false;
    bool resume = false;
    // The demo: backup and restore switched off (their modules are not part of this build).
    bool backupRestoreOff = false;
    // How long (tool seconds) to wait for a ready device.
    int deviceWaitSeconds = 120;
};

// Exit code: 0 after "PASS", 1 when the run failed, 2 when it was refused.
int RunUpdate(const RunOptions& options, TerminalPresentation& view);

// The port scan and one device check pass; 0 when the device is ready.
int ShowDevices(const RunOptions& options, TerminalPresentation& view);

}  // namespace flintcast::cli
