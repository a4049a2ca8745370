#pragma once
// A shared library loaded at run time (dlopen/dlsym; LoadLibrary/GetProcAddress on Windows),
// unloaded when the object ends.
#include <string>

namespace flintcast::platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library at `path` (an explicit path, never a search by name).
    bool open(const std::string& path);
    bool isOpen() const { return handle_ != nullptr; }
    // The address of an exported symbol, or nullptr.
    void* symbol(const char* name) const;
    void close();
    // The loader's text for the last failure.
    const std::string& lastError() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace flintcast::platform
