#include "cli/help_text.h"

#include <fmt/format.h>

#include "cli/exit_codes.h"

namespace flintcast::cli {

std::string ExitCodeLines() {
    std::string text;
    for (const auto& row : kExitCodeTable) text += fmt::format("  {}  {}\n", row.code, row.meaning);
    return text;
}

std::string HelpFooter() {
    return "\nEnvironment:\n"
           "  FLINTCAST_DEVICE_ROOT  device tree to use instead of / (a simulator's root)\n"
           "  FLINTCAST_TIME_SCALE   run every wait at this fraction of real time (as --time-scale)\n"
           "  NO_COLOR               no colours on the terminal\n"
           "\nExit codes:\n" +
           ExitCodeLines();
}

}  // namespace flintcast::cli
