#pragma once
// What the modem reset tool does, apart from its entry point, so it can be tested.
#include <filesystem>
#include <string>

namespace flintcast::modemkick {

// Result codes the tool leaves in [Project] ExecuteModemkick.
inline constexpr int kResetDone = 100;
inline constexpr int kNoModemPort = -1;
inline constexpr int kResetFailed = -2;

// Sends "reset" to the simulator control socket in `deviceRoot`; returns one
// of the result codes above.
int ResetModem(const std::filesystem::path& deviceRoot);

// Writes `code` into [Project] ExecuteModemkick of `configPath`, keeping the
// rest of the file. False when the file cannot be read or written.
bool WriteResult(const std::filesystem::path& configPath, int code);

}  // namespace flintcast::modemkick
