// The settings store over a file of any content: reads are safe, and a stored value reads
// back as stored without disturbing the other values.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "devkit/temp_dir.h"
#include "fuzz/fuzz_check.h"
#include "platform/settings_store.h"

using flintcast::platform::SettingsStore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static flintcast::testing::TempDir dir;
    const auto path = dir.path() / "Flintcast_QCOMM.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    SettingsStore store(path);
    (void)store.readInteger(SettingsStore::kDownloadStatus, -1);
    const auto port = store.readString(SettingsStore::kCommPort);
    (void)store.readString(SettingsStore::kImageFileFolder, "");
    (void)store.readString(SettingsStore::kDefaultValue);

    // A folder name of printable characters, as the window stores it.
    std::string folder;
    for (size_t i = 0; i < size && folder.size() < 40; ++i)
        if (data[i] > 0x20 && data[i] < 0x7F) folder += static_cast<char>(data[i]);
    if (store.writeString(SettingsStore::kImageFileFolder, folder)) {
        FUZZ_CHECK(store.readString(SettingsStore::kImageFileFolder) == folder);
        FUZZ_CHECK(store.readString(SettingsStore::kCommPort) == port);
    }
    const int32_t status = static_cast<int32_t>(size * 7 - 3);
    if (store.writeInteger(SettingsStore::kDownloadStatus, status))
        FUZZ_CHECK(store.readInteger(SettingsStore::kDownloadStatus, -1) == status);
    return 0;
}
