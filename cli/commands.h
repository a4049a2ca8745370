#pragma once
// The subcommands of the flintcast program. Each lives in its own file and registers
// itself on the application; main.cpp calls every Register function once.
#include <functional>

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"

namespace flintcast::cli {

// What the chosen subcommand will do once the whole command line is parsed
// (so global options such as --time-scale are in force before it runs).
struct PendingCommand {
    std::function<int()> run;
};

void RegisterConfigCommand(CLI::App& app, PendingCommand& pending);
void RegisterVerifyPackageCommand(CLI::App& app, PendingCommand& pending);
void RegisterPackageManifestCommand(CLI::App& app, PendingCommand& pending);
void RegisterRunCommand(CLI::App& app, PendingCommand& pending);
void RegisterResumeCommand(CLI::App& app, PendingCommand& pending);
void RegisterDevicesCommand(CLI::App& app, PendingCommand& pending);
void RegisterDemoCommand(CLI::App& app, PendingCommand& pending);
void RegisterRestoreArchiveCommand(CLI::App& app, PendingCommand& pending);

}  // namespace flintcast::cli
