// Device-change notifications on Windows: a hidden message-only window on the watcher's own
// thread, registered with RegisterDeviceNotification for COM-port interfaces. A port that
// arrives (DBT_DEVICEARRIVAL) is reported as an arrival, one that leaves
// (DBT_DEVICEREMOVECOMPLETE) as a change. The folder argument of Start is
// the Linux watch's and has no meaning here.
#include "platform/device_events.h"

#include <windows.h>
#include <dbt.h>
#include <initguid.h>
#include <devguid.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace {

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}: the COM-port device interface class.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr wchar_t kWindowClass[] = L"FlintcastDeviceEvents";

// The name a notification carries: a port broadcast's "COMn", else the interface's path
// ("\\?\USB#VID_...#{guid}"); the handler learns which device changed, the port list is read
// afresh by the discovery anyway.
std::string DeviceNameOf(const DEV_BROADCAST_HDR* header) {
    if (header == nullptr) return {};
    if (header->dbch_devicetype == DBT_DEVTYP_PORT)
        return win32::Narrow(reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header)->dbcp_name);
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
        return win32::Narrow(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header)->dbcc_name);
    return {};
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        auto* handler = reinterpret_cast<DeviceEventWatcher::Handler*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (handler != nullptr && *handler && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            (*handler)(wParam == DBT_DEVICEARRIVAL, DeviceNameOf(reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)));
        }
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool IsSerialNodeName(std::string_view name) {
    return name.size() > 3 && (name[0] & ~0x20) == 'C' && (name[1] & ~0x20) == 'O' && (name[2] & ~0x20) == 'M' &&
           name.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

DeviceEventWatcher::~DeviceEventWatcher() { Stop(); }

bool DeviceEventWatcher::Start(const std::filesystem::path&, Handler handler) {
    Stop();
    handler_ = std::move(handler);
    ready_ = false;
    startFailed_ = false;
    std::mutex m;
    std::condition_variable cv;
    DWORD startError = 0;
    thread_ = std::thread([this, &m, &cv, &startError] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        ::RegisterClassExW(&wc);  // fails harmlessly when an earlier watcher registered it
        HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        HDEVNOTIFY notify = nullptr;
        if (window != nullptr) {
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler_));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = kComPortInterface;
            notify = ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        }
        {
            std::lock_guard lock(m);
            if (window == nullptr) {
                startError = ::GetLastError();
                startFailed_ = true;
            }
            window_ = window;
            ready_ = true;
        }
        cv.notify_one();
        if (window == nullptr) return;
        MSG msg{};
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (notify != nullptr) ::UnregisterDeviceNotification(notify);
        ::DestroyWindow(window);
    });
    std::unique_lock lock(m);
    cv.wait(lock, [this] { return ready_.load(); });
    if (startFailed_) {
        lock.unlock();
        thread_.join();
        errno = win32::ErrnoFromWin32(startError);
        return false;
    }
    return true;
}

void DeviceEventWatcher::Stop() {
    if (thread_.joinable()) {
        if (window_ != nullptr) ::PostMessageW(static_cast<HWND>(window_), WM_QUIT, 0, 0);
        thread_.join();
    }
    window_ = nullptr;
}

void DeviceEventWatcher::run() {}

}  // namespace flintcast::platform
