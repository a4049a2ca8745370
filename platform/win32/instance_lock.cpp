// Named locks as Windows named mutexes in the session's namespace: the name is the mutex's
// own ("Downloading_Mutex"). Holding the handle holds the name; the system drops it with the
// process, like the handle it is.
#include "platform/instance_lock.h"

#include <windows.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace {

// A backslash would name another namespace; the rest of a name is the mutex's own.
std::wstring MutexName(std::string_view name) {
    std::wstring out = win32::Widen(name);
    for (wchar_t& c : out)
        if (c == L'\\') c = L'_';
    return out;
}

}  // namespace

std::filesystem::path InstanceLock::LockPath(std::string_view name) {
    // No file stands behind a mutex; the name is what identifies it.
    return std::filesystem::path(MutexName(name));
}

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(std::string_view name) {
    if (name.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, MutexName(name).c_str());
    if (mutex == nullptr) {
        win32::FailWithLastError();
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        errno = EBUSY;
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(std::string(name), mutex));
}

bool InstanceLock::IsHeld(std::string_view name) {
    if (name.empty()) return false;
    HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, MutexName(name).c_str());
    if (mutex == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;  // exists, another user's
    ::CloseHandle(mutex);
    return true;
}

InstanceLock::~InstanceLock() {
    if (native_ != nullptr) ::CloseHandle(static_cast<HANDLE>(native_));
}

}  // namespace flintcast::platform
