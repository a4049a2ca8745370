#pragma once
// One update run from the command line: stage the package, verify the image set, wait for the
// device check to find a ready device, start (or resume) the run on slot 0 and follow it to
// its end. Shared by `run`, `resume` and `demo`.
#include <functional>
#include <string>

#include "cli/terminal_presentation.h"
#include "config/project_config.h"
#include "controller/run_parts.h"

namespace flintcast::cli {

struct RunOptions {
    std::string configPath;   // a Config.ini to use instead of the embedded one
    std::string imageFolder;  // images to use instead of the staged package
    std::string deviceRoot;   // device tree (the simulator's), else the environment or "/"
    bool autotest = false;
    bool json = false;
    bool resume = false;
    bool yes = false;      // answer OK to the run's questions
    bool verbose = false;  // the whole worker log on the terminal
    // The demo: a closed output (the reader went away) stops the run; a real update goes on.
    bool stopWhenOutputCloses = false;
    // The closing result event (or run log line) comes from the run; the demo gives its own.
    bool reportResult = true;
    // The demo: backup and restore switched off (their modules are not part of this build).
    bool backupRestoreOff = false;
    // How long (tool seconds) to wait for a ready device.
    int deviceWaitSeconds = 120;
};

// The presentation the options ask for, on standard output and error.
PresentationSetup PresentationFor(const RunOptions& options);

// Exit code as cli/exit_codes.h lists them.
int RunUpdate(const RunOptions& options, TerminalPresentation& view);

// A command that talks to the attached unit outside an update run: it gets the unit's
// diagnostic and modem port (the modem port may be empty), the device directory and the
// configuration, and returns the exit code. Refused (kExitRefused) when no unit shows a
// diagnostic port within the device wait, or while an update runs.
using UnitWork = std::function<int(const std::string& diagPort, const std::string& modemPort,
                                   controller::DeviceDirectory& directory, const config::ProjectConfig& config)>;
int WithAttachedUnit(const RunOptions& options, TerminalPresentation& view, const UnitWork& work);

// One line per attached unit (USB path, personality, ports, the project check's verdict).
int ShowDevices(const RunOptions& options, TerminalPresentation& view);

}  // namespace flintcast::cli
