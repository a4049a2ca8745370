#pragma once
// A fresh temporary folder per test, removed (with everything in it) afterwards.
#include <filesystem>

namespace flintcast::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace flintcast::testing
