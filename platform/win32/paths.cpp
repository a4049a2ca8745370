// Where things live on Windows. Ports are "COM" + number. The per-user folders are the
// system's known folders: settings beside the registry key's other users in %APPDATA%, and the
// backups, run logs and the unattended-test marker under %LOCALAPPDATA%\Flintcast, which
// survives a reboot (the temporary folder does not have to). Staging uses the system's
// temporary path, as <temp>\TempFiles and <temp>\TempFiles2.
#include "platform/paths.h"

#include <windows.h>
#include <shlobj.h>

#include <charconv>
#include <cstdlib>

#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace fs = std::filesystem;
namespace {

// An environment variable that names an absolute folder, else nullopt.
std::optional<fs::path> AbsoluteEnv(const wchar_t* name) {
    const wchar_t* v = ::_wgetenv(name);
    if (v == nullptr || *v == L'\0') return std::nullopt;
    fs::path p(v);
    if (!p.is_absolute()) return std::nullopt;
    return p;
}

std::optional<fs::path> KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* text = nullptr;
    std::optional<fs::path> out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &text)) && text != nullptr) out = fs::path(text);
    ::CoTaskMemFree(text);
    return out;
}

fs::path SystemTemp() {
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH + 1) return fs::path(L"C:\\Windows\\Temp");
    std::wstring text(buffer, n);
    while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
    return fs::path(text);
}

// The number of a "COMn" name (case as Windows compares it: without regard to case), 1..255.
std::optional<int32_t> ComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) return std::nullopt;
    for (size_t i = 0; i < 3; ++i)
        if ((name[i] & ~0x20) != "COM"[i]) return std::nullopt;
    const std::string_view digits = name.substr(3);
    if (digits.front() == '0') return std::nullopt;
    int32_t n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || n < 1 || n > 255) return std::nullopt;
    return n;
}

}  // namespace

bool IsValidPortName(std::string_view portName) { return ComNumber(portName).has_value(); }

std::optional<fs::path> PortDevicePath(std::string_view portName) {
    const auto number = ComNumber(portName);
    if (!number) return std::nullopt;
    return fs::path(WindowsPortDeviceName(*number));
}

fs::path ConfigHome() { return AbsoluteEnv(L"APPDATA").value_or(KnownFolder(FOLDERID_RoamingAppData).value_or(SystemTemp())); }
fs::path DataHome() {
    return AbsoluteEnv(L"LOCALAPPDATA").value_or(KnownFolder(FOLDERID_LocalAppData).value_or(SystemTemp()));
}
fs::path StateHome() { return DataHome(); }
fs::path RuntimeDir() { return SystemTemp(); }

fs::path AppConfigDir() { return ConfigHome() / "Flintcast"; }
fs::path TempRoot() { return SystemTemp(); }
fs::path StagingDir() { return TempRoot() / "TempFiles"; }
fs::path SecondStagingDir() { return TempRoot() / "TempFiles2"; }
fs::path BackupRoot() { return DataHome() / "Flintcast" / "Backup"; }
fs::path RunLogDir() { return StateHome() / "Flintcast" / "logs"; }
fs::path AutotestMarkerDir() { return StateHome() / "Flintcast" / "autotest"; }

}  // namespace flintcast::platform
