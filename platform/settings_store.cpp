#include "platform/settings_store.h"

#include "platform/ini_file.h"
#include "platform/paths.h"

#include <fmt/format.h>

#include <system_error>

namespace flintcast::platform {

std::filesystem::path SettingsStore::DefaultPath() { return AppConfigDir() / "Flintcast_QCOMM.ini"; }

SettingsStore::SettingsStore(std::filesystem::path path) : path_(std::move(path)) {}

std::optional<std::string> SettingsStore::readString(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto ini = IniFile::Load(path_);
    if (!ini) return std::nullopt;
    return ini->value(kSection, name);
}

std::string SettingsStore::readString(std::string_view name, std::string_view fallback) const {
    return readString(name).value_or(std::string(fallback));
}

int32_t SettingsStore::readInteger(std::string_view name, int32_t fallback) const {
    auto text = readString(name);
    if (!text) return fallback;
    return ParseProfileInteger(*text).value_or(fallback);
}

bool SettingsStore::writeString(std::string_view name, std::string_view value) {
    std::lock_guard lock(mutex_);
    std::error_code ec;
    IniFile ini;
    if (std::filesystem::exists(std::filesystem::symlink_status(path_, ec))) {
        std::string error;
        auto loaded = IniFile::Load(path_, &error);
        if (!loaded) {
            lastError_ = error;
            return false;
        }
        ini = std::move(*loaded);
    } else if (path_.has_parent_path()) {
        std::filesystem::create_directories(path_.parent_path(), ec);
        if (ec) {
            lastError_ = fmt::format("{}: {}", path_.parent_path().string(), ec.message());
            return false;
        }
    }
    if (!ini.writeString(kSection, name, value)) {
        lastError_ = fmt::format("invalid setting name \"{}\"", name);
        return false;
    }
    return ini.save(path_, &lastError_);
}

bool SettingsStore::writeInteger(std::string_view name, int32_t value) {
    return writeString(name, fmt::format("{}", value));
}

std::string SettingsStore::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

}  // namespace flintcast::platform
