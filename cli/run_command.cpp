// `flintcast run` and `flintcast resume`: the update of the attached device, and the resumed
// update after a failure that followed the backup.
#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/run_session.h"

namespace flintcast::cli {

namespace {

void AddRunOptions(CLI::App* cmd, RunOptions& o) {
    cmd->add_option("--config", o.configPath, "Config.ini to use instead of the embedded one")->check(CLI::ExistingFile);
    cmd->add_option("--image-folder", o.imageFolder, "Image folder to use instead of the embedded package")
        ->check(CLI::ExistingDirectory);
    cmd->add_option("--device-root", o.deviceRoot, "Device tree to use (a simulator's root); default /");
    cmd->add_flag("--autotest", o.autotest, "Unattended test mode: keep the run log, repeat on the next device");
    cmd->add_flag("--json", o.json, "One JSON object per line event");
    cmd->add_option("--device-wait", o.deviceWaitSeconds, "Seconds to wait for a ready device")
        ->check(CLI::Range(1, 86400));
}

}  // namespace

void RegisterRunCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<RunOptions>();
    CLI::App* cmd = app.add_subcommand("run", "Wait for a ready device, then update it");
    AddRunOptions(cmd, *options);
    cmd->callback([options, &pending] {
        pending.run = [options] {
            TerminalPresentation view(stdout, ChooseOutputStyle(stdout, options->json), false);
            return RunUpdate(*options, view);
        };
    });
}

void RegisterResumeCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<RunOptions>();
    options->resume = true;
    CLI::App* cmd = app.add_subcommand(
        "resume", "Re_update: resume the failed update from its stored milestone, restoring from the backup");
    AddRunOptions(cmd, *options);
    cmd->callback([options, &pending] {
        pending.run = [options] {
            TerminalPresentation view(stdout, ChooseOutputStyle(stdout, options->json), false);
            return RunUpdate(*options, view);
        };
    });
}

void RegisterDevicesCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<RunOptions>();
    CLI::App* cmd = app.add_subcommand("devices", "Scan the ports and run one device check");
    cmd->add_option("--config", options->configPath, "Config.ini to check against")->check(CLI::ExistingFile);
    cmd->add_option("--device-root", options->deviceRoot, "Device tree to use (a simulator's root); default /");
    cmd->add_flag("--json", options->json, "One JSON object per event");
    cmd->callback([options, &pending] {
        pending.run = [options] {
            TerminalPresentation view(stdout, ChooseOutputStyle(stdout, options->json), false);
            return ShowDevices(*options, view);
        };
    });
}

}  // namespace flintcast::cli
