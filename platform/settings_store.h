#pragma once
// Per-user settings and resume state of the tool. On Windows they are the registry key
// HKEY_CURRENT_USER\<path> (by default "Software\Kov2009\Flintcast_QCOMM"); on Linux one INI
// file stands in for it, <config>/flintcast/Flintcast_QCOMM.ini, section [Flintcast_QCOMM],
// with the same value names. Every read goes to the file and every
// write updates it at once, so a crash never loses a stored milestone.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace flintcast::platform {

class SettingsStore {
public:
    static constexpr std::string_view kSection = "Flintcast_QCOMM";
    static constexpr std::string_view kDownloadStatus = "DownloadStatus";
    static constexpr std::string_view kCommPort = "COMM Port";
    static constexpr std::string_view kSerialCommPort = "SerialCOMM Port";
    static constexpr std::string_view kImageFileFolder = "Image File Folder";
    // The key's unnamed default value, named as registry exports name it.
    static constexpr std::string_view kDefaultValue = "@";

    // <config>/flintcast/Flintcast_QCOMM.ini
    static std::filesystem::path DefaultPath();

    explicit SettingsStore(std::filesystem::path path = DefaultPath());

    const std::filesystem::path& path() const { return path_; }

    // nullopt when the value (or the whole file) is absent or the file cannot be read.
    std::optional<std::string> readString(std::string_view name) const;
    std::string readString(std::string_view name, std::string_view fallback) const;
    int32_t readInteger(std::string_view name, int32_t fallback) const;

    // Creates the folder and the file as needed. False when the value could not be
    // stored; lastError() then says why. A file that exists but cannot be read as
    // settings (a folder, an oversized file) is left untouched.
    bool writeString(std::string_view name, std::string_view value);
    bool writeInteger(std::string_view name, int32_t value);

    std::string lastError() const;

private:
    std::filesystem::path path_;
    mutable std::mutex mutex_;
    std::string lastError_;
};

}  // namespace flintcast::platform
