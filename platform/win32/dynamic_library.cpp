#include "platform/dynamic_library.h"

#include <windows.h>

#include <filesystem>

#include "platform/win32/win_text.h"

namespace flintcast::platform {

DynamicLibrary::~DynamicLibrary() { close(); }

bool DynamicLibrary::open(const std::string& path) {
    close();
    error_.clear();
    // A bare name would make LoadLibrary search the system folders; insist on a path, and let
    // the library's own folder serve its dependencies.
    const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(win32::Widen(path)));
    handle_ = ::LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (handle_ == nullptr) error_ = win32::Win32Message(::GetLastError());
    return handle_ != nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    const FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle_), name);
    return reinterpret_cast<void*>(reinterpret_cast<INT_PTR>(address));
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace flintcast::platform
