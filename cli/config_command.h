#pragma once
// flintcast config [FILE] [--json]: reads a Config.ini (the embedded default when no
// file is named) and prints the configuration the tool would run with, and every
// message it would show. Exit 0 without a configuration error, 3 with one.
#include <iosfwd>
#include <optional>
#include <string>

namespace flintcast::cli {

struct ConfigCommandOptions {
    std::optional<std::string> file;
    bool json = false;
    // Dual-package mode: the second package's Config.ini, checked against the first.
    std::optional<std::string> secondPackage;
    // Mainboard name of a device, to show which package Start would choose.
    std::optional<std::string> deviceBoard;
};

int RunConfigCommand(const ConfigCommandOptions& options, std::ostream& out, std::ostream& err);

}  // namespace flintcast::cli
