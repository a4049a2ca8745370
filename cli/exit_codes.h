#pragma once
// The exit codes of every flintcast command: one table, shown by --help, the manual page and
// the README.
#include <array>
#include <string_view>

namespace flintcast::cli {

inline constexpr int kExitOk = 0;            // success: the update passed, the command did its work
inline constexpr int kExitFailure = 1;       // the update failed after it began; any backup is kept
inline constexpr int kExitUsage = 2;         // usage error: unknown command or option, bad value
inline constexpr int kExitConfigError = 3;   // bad configuration or firmware package
inline constexpr int kExitRefused = 4;       // refused before any change to the device
inline constexpr int kExitStopped = 5;       // stopped by the operator (Ctrl-C, SIGTERM)
inline constexpr int kExitNothingToResume = 6;  // `resume` without a failed update to resume

struct ExitCodeRow {
    int code;
    std::string_view meaning;
};

inline constexpr std::array<ExitCodeRow, 7> kExitCodeTable = {{
    {kExitOk, "success"},
    {kExitFailure, "the update failed; the device's backup is kept (see `flintcast resume`)"},
    {kExitUsage, "usage error"},
    {kExitConfigError, "bad configuration or firmware package"},
    {kExitRefused, "refused before any change to the device (no ready device, another instance, a refusal)"},
    {kExitStopped, "stopped by the operator"},
    {kExitNothingToResume, "nothing to resume"},
}};

}  // namespace flintcast::cli
