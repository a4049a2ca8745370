#include "tests/staging/staging_fixture.h"

#include <cstdlib>
#include <fstream>

#include <fmt/format.h>

namespace flintcast::testing {

namespace fs = std::filesystem;

void WriteBytes(const fs::path& path, std::size_t size, char fill) {
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

void StagingTest::SetUp() {
    fs::create_directories(staging());
    fs::copy_file(fs::path(FLINTCAST_BIN_DIR) / "libravelin.so", staging() / "libravelin.so");
}

void StagingTest::generate(int project, const std::string& extra) {
    const std::string command = fmt::format("'{}/flintcast-mkpackage' --out '{}' --project {} --image-kib 4 {}",
                                            FLINTCAST_BIN_DIR, images().string(), project, extra);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

config::ProjectConfig StagingTest::ConfigFor(int project) {
    config::ProjectConfig cfg;
    cfg.projectType = project;
    cfg.bBootloader = cfg.bAMSSFile = cfg.bEFS = cfg.bDSP = true;
    return cfg;
}

bool StagingTest::verify(const config::ProjectConfig& cfg) {
    return controller::VerifyImageSet(images(), cfg, {}, {staging(), staging()}, messages_, set_, list_);
}

std::vector<std::string> StagingTest::texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages_.messages()) out.push_back(m.text);
    return out;
}

}  // namespace flintcast::testing
