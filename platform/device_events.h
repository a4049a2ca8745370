#pragma once
// Device-change notifications: on Linux an inotify watch on <root>/dev, where a tty node that
// appears is an arrival and one that disappears a change; on Windows WM_DEVICECHANGE for
// COM-port interfaces (platform/win32/device_events.cpp). The watcher runs its own thread and
// calls the handler there.
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace flintcast::platform {

// True for the device node names the watcher reports ("ttyUSB3", "ttyACM0").
bool IsSerialNodeName(std::string_view name);

class DeviceEventWatcher {
public:
    // `arrival` true for a created node, false for a removed one.
    using Handler = std::function<void(bool arrival, const std::string& nodeName)>;

    DeviceEventWatcher() = default;
    ~DeviceEventWatcher();
    DeviceEventWatcher(const DeviceEventWatcher&) = delete;
    DeviceEventWatcher& operator=(const DeviceEventWatcher&) = delete;

    // Watches `devDir` (created when missing, so a simulator that has not
    // plugged in yet is seen when it does). False (errno set) when no watch
    // could be set up.
    bool Start(const std::filesystem::path& devDir, Handler handler);
    void Stop();
    bool running() const { return thread_.joinable(); }

private:
#ifdef _WIN32
    void* window_ = nullptr;  // the message-only window's HWND, while the thread runs
    std::atomic<bool> ready_{false};
    bool startFailed_ = false;
#else
    int inotifyFd_ = -1;
    int wakeFd_ = -1;
#endif
    std::thread thread_;
    Handler handler_;

    void run();
};

}  // namespace flintcast::platform
