#include "platform/paths.h"

#include <cstdlib>
#include <mutex>

namespace flintcast::platform {
namespace fs = std::filesystem;
namespace {

std::mutex& RootMutex() {
    static std::mutex m;
    return m;
}
std::optional<fs::path>& RootOverride() {
    static std::optional<fs::path> root;
    return root;
}

}  // namespace

fs::path DeviceRoot() {
    {
        std::lock_guard lock(RootMutex());
        if (RootOverride()) return *RootOverride();
    }
    const char* env = std::getenv("FLINTCAST_DEVICE_ROOT");
    if (env != nullptr && *env != '\0') return fs::path(env);
    return fs::path("/");
}

void SetDeviceRoot(const fs::path& root) {
    std::lock_guard lock(RootMutex());
    RootOverride() = root;
}

void ResetDeviceRoot() {
    std::lock_guard lock(RootMutex());
    RootOverride().reset();
}

}  // namespace flintcast::platform
