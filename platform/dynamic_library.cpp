#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace flintcast::platform {

DynamicLibrary::~DynamicLibrary() { close(); }

bool DynamicLibrary::open(const std::string& path) {
    close();
    error_.clear();
    // A bare name would make dlopen search the system paths; insist on a path.
    const std::string explicitPath = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = ::dlopen(explicitPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* text = ::dlerror();
        error_ = text != nullptr ? text : "dlopen failed";
    }
    return handle_ != nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return ::dlsym(handle_, name);
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace flintcast::platform
