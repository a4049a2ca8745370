#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include <fmt/format.h>

namespace flintcast::platform {
namespace fs = std::filesystem;
namespace {

// An environment variable that names an absolute folder, else nullopt.
std::optional<fs::path> AbsoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return std::nullopt;
    fs::path p(v);
    if (!p.is_absolute()) return std::nullopt;
    return p;
}

fs::path Home() {
    if (auto h = AbsoluteEnv("HOME")) return *h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr && *pw->pw_dir != '\0')
        return fs::path(pw->pw_dir);
    return fs::path("/tmp");
}

}  // namespace

bool IsValidPortName(std::string_view portName) {
    if (portName.empty() || portName == "." || portName == "..") return false;
    for (const char c : portName) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

std::optional<fs::path> PortDevicePath(std::string_view portName) {
    if (!IsValidPortName(portName)) return std::nullopt;
    return DeviceRoot() / "dev" / std::string(portName);
}

fs::path ConfigHome() { return AbsoluteEnv("XDG_CONFIG_HOME").value_or(Home() / ".config"); }
fs::path DataHome() { return AbsoluteEnv("XDG_DATA_HOME").value_or(Home() / ".local" / "share"); }
fs::path StateHome() { return AbsoluteEnv("XDG_STATE_HOME").value_or(Home() / ".local" / "state"); }
fs::path RuntimeDir() { return AbsoluteEnv("XDG_RUNTIME_DIR").value_or(fs::path("/tmp")); }

fs::path AppConfigDir() { return ConfigHome() / "flintcast"; }

fs::path TempRoot() {
    const fs::path base = AbsoluteEnv("TMPDIR").value_or(fs::path("/tmp"));
    return base / fmt::format("flintcast-{}", ::getuid());
}

fs::path StagingDir() { return TempRoot() / "TempFiles"; }
fs::path SecondStagingDir() { return TempRoot() / "TempFiles2"; }
fs::path BackupRoot() { return DataHome() / "flintcast" / "Backup"; }
fs::path RunLogDir() { return StateHome() / "flintcast" / "logs"; }
fs::path AutotestMarkerDir() { return StateHome() / "flintcast" / "autotest"; }

}  // namespace flintcast::platform
