// `flintcast run` and `flintcast resume`: the update of the attached device, and the resumed
// update after a failure that followed the backup.
#include <fmt/format.h>

#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/run_session.h"

namespace flintcast::cli {

namespace {

void AddOutputOptions(CLI::App* cmd, RunOptions& o) {
    cmd->add_flag("--json", o.json, "One JSON event per line (docs/json-events.md)");
    cmd->add_flag("--verbose,-v", o.verbose, "Show the worker's whole log on the terminal, not only the phases");
    cmd->add_flag("--yes,-y", o.yes,
                  "Answer OK to the run's questions (without it a terminal is asked; with no terminal, Cancel)");
}

void AddRunOptions(CLI::App* cmd, RunOptions& o) {
    cmd->add_option("--config", o.configPath, "Config.ini to use instead of the embedded one")->check(CLI::ExistingFile);
    cmd->add_option("--image-folder", o.imageFolder, "Image folder to use instead of the embedded package")
        ->check(CLI::ExistingDirectory);
    cmd->add_option("--device-root", o.deviceRoot,
                    "Device tree to use (a simulator's root); default FLINTCAST_DEVICE_ROOT, else /");
    cmd->add_flag("--autotest", o.autotest, "Unattended test mode: keep the run log, repeat on the next device");
    cmd->add_option("--device-wait", o.deviceWaitSeconds,
                    fmt::format("Seconds to wait for a ready device (default {})", RunOptions{}.deviceWaitSeconds))
        ->check(CLI::Range(1, 86400));
    AddOutputOptions(cmd, o);
}

void RegisterUpdate(CLI::App& app, PendingCommand& pending, const char* name, const char* help, bool resume) {
    auto options = std::make_shared<RunOptions>();
    options->resume = resume;
    CLI::App* cmd = app.add_subcommand(name, help);
    AddRunOptions(cmd, *options);
    cmd->callback([options, &pending] {
        pending.run = [options] {
            TerminalPresentation view(PresentationFor(*options));
            return RunUpdate(*options, view);
        };
    });
}

}  // namespace

void RegisterRunCommand(CLI::App& app, PendingCommand& pending) {
    RegisterUpdate(app, pending, "run", "Wait for a ready device, then update it", false);
}

void RegisterResumeCommand(CLI::App& app, PendingCommand& pending) {
    RegisterUpdate(app, pending, "resume",
                   "Resume the update that failed after its backup, restoring from that backup", true);
}

}  // namespace flintcast::cli
