#include "devkit/temp_dir.h"

#include <cstdlib>
#include <random>
#include <string>
#include <system_error>

namespace flintcast::testing {

#ifdef _WIN32
// Windows has no mkdtemp: a random name is tried until creating it succeeds (creation fails on
// an existing folder, so two tests never share one).
TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() / ("flintcast-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::system_error(EEXIST, std::generic_category(), "no free temporary folder name");
}
#else
TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "flintcast-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}
#endif

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace flintcast::testing
