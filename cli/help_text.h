#pragma once
// The text under every --help: the environment the program reads and the exit code table.
#include <string>

namespace flintcast::cli {

std::string HelpFooter();
// The exit code table alone, one "  N  meaning" line per code.
std::string ExitCodeLines();

}  // namespace flintcast::cli
