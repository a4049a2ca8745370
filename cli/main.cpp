// flintcast: the command-line front of the firmware update tool.
#include <fmt/format.h>


#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/help_text.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "version/version.h"

namespace {

// The first word that is neither an option nor the value of --time-scale: what the user meant
// as the command.
std::string CommandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--time-scale") {
            ++i;
            continue;
        }
        if (!word.empty() && word[0] != '-') return word;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    using namespace flintcast;
    // A closed pipe is an error on the write, not the end of the program: an update in progress
    // goes on, and the demo stops its run and its simulator.
    platform::IgnoreBrokenPipes();
    CLI::App app{"Flintcast: firmware update tool for USB data cards, routers and handsets", "flintcast"};
    app.set_version_flag("--version", version::Line("flintcast"));
    app.require_subcommand(1);
    // Global options may follow the command as well: `flintcast run --time-scale 0.1`.
    app.fallthrough();
    app.footer(cli::HelpFooter());
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
    cli::RegisterPackageManifestCommand(app, pending);
    cli::RegisterRunCommand(app, pending);
    cli::RegisterResumeCommand(app, pending);
    cli::RegisterDevicesCommand(app, pending);
    cli::RegisterDemoCommand(app, pending);
    cli::RegisterRestoreArchiveCommand(app, pending);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const std::string word = CommandWord(argc, argv);
        if (e.get_exit_code() != 0 && app.get_subcommands().empty() && !word.empty()) {
            std::string names;
            for (const auto* sub : app.get_subcommands({})) names += (names.empty() ? "" : ", ") + sub->get_name();
            std::fprintf(stderr, "flintcast: unknown command '%s' (commands: %s; see flintcast --help)\n",
                         word.c_str(), names.c_str());
            return cli::kExitUsage;
        }
        const int code = app.exit(e);
        return code == 0 ? cli::kExitOk : cli::kExitUsage;
    }
    return pending.run ? pending.run() : cli::kExitUsage;
}
