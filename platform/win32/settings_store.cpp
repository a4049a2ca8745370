// The settings store on Windows: the registry key HKEY_CURRENT_USER\<path>, by default
// "Software\Kov2009\Flintcast_QCOMM", with the value names of the INI stand-in. Strings are
// REG_SZ; integers REG_DWORD. A string asked for as an integer is parsed like a profile
// integer, and an integer asked for as a string reads as its decimal text. The unnamed default
// value is the name "@", as registry exports write it.
#include "platform/settings_store.h"

#include <windows.h>

#include <fmt/format.h>

#include <vector>

#include "platform/ini_file.h"
#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace {

std::wstring ValueName(std::string_view name) {
    return name == SettingsStore::kDefaultValue ? std::wstring() : win32::Widen(name);
}

// The key's subpath under HKEY_CURRENT_USER: backslashes, no leading one.
std::wstring KeyPath(const std::filesystem::path& path) {
    std::wstring key = path.wstring();
    for (wchar_t& c : key)
        if (c == L'/') c = L'\\';
    while (!key.empty() && key.front() == L'\\') key.erase(key.begin());
    return key;
}

// A value's content as text (REG_SZ as it is, REG_DWORD in decimal), nullopt when absent.
std::optional<std::string> ReadValue(const std::filesystem::path& path, std::string_view name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(path).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring valueName = ValueName(name);
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::string> out;
    if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + sizeof(wchar_t), 0);
        if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
            if (type == REG_SZ || type == REG_EXPAND_SZ) {
                std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
                while (!text.empty() && text.back() == L'\0') text.pop_back();
                out = win32::Narrow(text);
            } else if (type == REG_DWORD && size == sizeof(DWORD)) {
                DWORD value = 0;
                std::memcpy(&value, data.data(), sizeof value);
                out = fmt::format("{}", static_cast<int32_t>(value));
            }
        }
    }
    ::RegCloseKey(key);
    return out;
}

}  // namespace

std::filesystem::path SettingsStore::DefaultPath() { return std::filesystem::path(L"Software\\Kov2009\\Flintcast_QCOMM"); }

SettingsStore::SettingsStore(std::filesystem::path path) : path_(std::move(path)) {}

std::optional<std::string> SettingsStore::readString(std::string_view name) const {
    std::lock_guard lock(mutex_);
    return ReadValue(path_, name);
}

std::string SettingsStore::readString(std::string_view name, std::string_view fallback) const {
    return readString(name).value_or(std::string(fallback));
}

int32_t SettingsStore::readInteger(std::string_view name, int32_t fallback) const {
    auto text = readString(name);
    if (!text) return fallback;
    return ParseProfileInteger(*text).value_or(fallback);
}

namespace {

bool WriteValue(const std::filesystem::path& path, std::string_view name, DWORD type, const BYTE* data, DWORD size,
                std::string& error) {
    HKEY key = nullptr;
    const std::wstring keyPath = KeyPath(path);
    LSTATUS rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                   nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
        error = fmt::format("HKEY_CURRENT_USER\\{}: {}", win32::Narrow(keyPath), win32::Win32Message(rc));
        return false;
    }
    rc = ::RegSetValueExW(key, ValueName(name).c_str(), 0, type, data, size);
    ::RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        error = fmt::format("HKEY_CURRENT_USER\\{} \"{}\": {}", win32::Narrow(keyPath), name, win32::Win32Message(rc));
        return false;
    }
    return true;
}

}  // namespace

bool SettingsStore::writeString(std::string_view name, std::string_view value) {
    std::lock_guard lock(mutex_);
    const std::wstring text = win32::Widen(value);
    return WriteValue(path_, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), lastError_);
}

bool SettingsStore::writeInteger(std::string_view name, int32_t value) {
    std::lock_guard lock(mutex_);
    const DWORD data = static_cast<DWORD>(value);
    return WriteValue(path_, name, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data, lastError_);
}

std::string SettingsStore::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

}  // namespace flintcast::platform
