// `flintcast devices`: the attached units, one line each, as the project's device check sees them.
#include <memory>

#include "cli/commands.h"
#include "cli/run_session.h"

namespace flintcast::cli {

void RegisterDevicesCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<RunOptions>();
    CLI::App* cmd = app.add_subcommand("devices", "List the attached units with their ports and the project check's verdict");
    cmd->add_option("--config", options->configPath, "Config.ini to check against")->check(CLI::ExistingFile);
    cmd->add_option("--device-root", options->deviceRoot,
                    "Device tree to use (a simulator's root); default FLINTCAST_DEVICE_ROOT, else /");
    cmd->add_flag("--json", options->json, "One JSON object per unit (docs/json-events.md)");
    cmd->callback([options, &pending] {
        pending.run = [options] {
            PresentationSetup setup = PresentationFor(*options);
            setup.logShown = false;
            TerminalPresentation view(setup);
            return ShowDevices(*options, view);
        };
    });
}

}  // namespace flintcast::cli
