// `flintcast demo` in the Windows build: the demo updates the simulated device, and the
// simulator is part of the Linux build only. The command is there and says so.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace flintcast::cli {

void RegisterDemoCommand(CLI::App& app, PendingCommand& pending) {
    CLI::App* cmd = app.add_subcommand("demo", "Update a simulated device (Linux build only)");
    cmd->allow_extras();
    cmd->callback([&pending] {
        pending.run = [] {
            std::fprintf(stderr, "The demo runs the simulated device, which is part of the Linux build only.\n");
            return kExitRefused;
        };
    });
}

}  // namespace flintcast::cli
