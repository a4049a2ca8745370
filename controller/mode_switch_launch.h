#pragma once
// The mode switch program: staged with the images, started from the image folder without
// arguments and without waiting, before every device check pass and on the user's request.
#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/native_names.h"

namespace flintcast::controller {

inline constexpr std::string_view kModeSwitchProgram = FLINTCAST_NATIVE_NAME("gearswap", "Gearswap.exe");

class ModeSwitchLauncher {
public:
    using LogLine = std::function<void(std::string_view)>;

    ModeSwitchLauncher(std::filesystem::path imageFolder, LogLine log);

    // Starts the program hidden and returns at once; false when it is missing or would not
    // start. A missing program is logged once, not on every pass.
    bool Launch();

    void SetImageFolder(std::filesystem::path folder) { folder_ = std::move(folder); }

private:
    std::filesystem::path folder_;
    LogLine log_;
    bool reportedMissing_ = false;
};

}  // namespace flintcast::controller
