// flintcast: the command-line front of the firmware update tool.
#include <fmt/format.h>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
    using namespace flintcast;
    CLI::App app{"Flintcast: firmware update tool for USB data cards, routers and handsets", "flintcast"};
    app.set_version_flag("--version", std::string("flintcast ") + FLINTCAST_VERSION);
    app.require_subcommand(1);
    app.add_option_function<std::string>(
           "--time-scale",
           [](const std::string& text) {
               const auto scale = platform::ParseTimeScale(text);
               if (!scale) throw CLI::ValidationError("--time-scale", "must be a positive number");
               platform::SystemClock().setScale(*scale);
           },
           "Run every wait at this fraction of real time (1 = real time; "
           "FLINTCAST_TIME_SCALE sets the same)");

    cli::PendingCommand pending;
    cli::RegisterConfigCommand(app, pending);
    cli::RegisterVerifyPackageCommand(app, pending);
    cli::RegisterRunCommand(app, pending);
    cli::RegisterResumeCommand(app, pending);
    cli::RegisterDevicesCommand(app, pending);
    cli::RegisterDemoCommand(app, pending);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? cli::kExitOk : cli::kExitUsage;
    }
    return pending.run ? pending.run() : cli::kExitUsage;
}
