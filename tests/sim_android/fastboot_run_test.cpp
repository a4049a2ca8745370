// Whole runs of Android-based units: the flintcast program writes fastboot images to the
// simulated unit, and every partition it wrote must hold exactly its file.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "sim/model/sha256.h"
#include "tests/run/update_run_fixture.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;

// A file of `size` bytes whose content depends on `seed` and the position.
void WriteImage(const fs::path& file, uint64_t size, uint8_t seed) {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (uint64_t at = 0; at < size; at += block.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), size - at));
        for (size_t i = 0; i < n; ++i) block[i] = static_cast<char>(seed + (at + i) * 7 + ((at + i) >> 12));
        out.write(block.data(), static_cast<std::streamsize>(n));
    }
}

std::string FileSha256(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    sim::Sha256 sha;
    std::vector<char> block(1 << 20);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto n = static_cast<size_t>(in.gcount());
        sha.Update({reinterpret_cast<const uint8_t*>(block.data()), n});
    }
    std::string hex;
    for (uint8_t b : sha.Finish()) hex += fmt::format("{:02x}", b);
    return hex;
}

class FastbootRunTest : public UpdateRunFixture {
protected:
    fs::path images = dir.path() / "images";

    void SetUp() override {
        UpdateRunFixture::SetUp();
        fs::create_directories(images);
    }
    fs::path Profile(const std::string& json) {
        const fs::path file = dir.path() / "unit.json";
        std::ofstream(file) << json;
        return file;
    }
    void ExpectPartition(const std::string& name, const fs::path& file) {
        const auto partitions = DeviceState()["partitions"];
        ASSERT_TRUE(partitions.contains(name)) << partitions.dump();
        EXPECT_EQ(partitions[name]["size"].get<uint64_t>(), fs::file_size(file)) << name;
        EXPECT_EQ(partitions[name]["sha256"].get<std::string>(), FileSha256(file)) << name;
    }
};

TEST_F(FastbootRunTest, FastbootOnlyProjectWritesWholeAndChunkedImagesToPass) {
    // The unit flashes a chunk of 48 MiB within the scaled 60-second reply limit.
    scale = "0.1";
    StartSimulator({"--profile", Profile(R"({"base": "android", "fastboot": {"at_power_up": true}})").string()});
    WriteImage(images / "boot.img", 3 * 4096 + 100, 11);
    WriteImage(images / "system.img", 50'331'072 + 5000, 23);
    const auto config = ConfigWith({{"DownloadItems/bBootLoader", "0"}, {"DownloadItems/bEFS", "0"},
                                    {"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"},
                                    {"DownloadItems/bAMSSFile", "0"}, {"DownloadItems/bDSP", "0"},
                                    {"DownloadItems/bCDROM", "0"}, {"DownloadItems/bFastbootBootImage", "1"},
                                    {"DownloadItems/bFastbootSystemImage", "1"},
                                    {"DownloadItems/bFastbootSystemImageMutil", "1"}});
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, config, "run", {"--image-folder", images.string()}));
    EXPECT_EQ(WaitFor(run), 0) << Output();
    const std::string out = Output();
    EXPECT_NE(out.find("Download system successfully-----------"), std::string::npos) << out;
    EXPECT_NE(out.find("No recovery-----------"), std::string::npos);
    EXPECT_NE(out.find("PASS"), std::string::npos);
    ExpectPartition("boot", images / "boot.img");
    ExpectPartition("system", images / "system.img");
}

TEST_F(FastbootRunTest, StreamedImagesThenFastbootImagesAfterTheReset) {
    // The Android-based unit with the project of the default package, whose images it streams.
    StartSimulator({"--profile", Profile(R"({"base": "android", "project": 46})").string()});
    // The default package's images, with the fastboot system image beside them.
    for (const auto& entry : fs::directory_iterator(fs::path(FLINTCAST_BIN_DIR) / ".." / "package" / "default")) {
        fs::copy_file(entry.path(), images / entry.path().filename());
    }
    const fs::path system = images / "system.img";
    WriteImage(system, 2 * 1024 * 1024 + 17, 5);
    const auto config = ConfigWith({{"DownloadItems/bCDROM", "0"}, {"DownloadItems/bFastbootSystemImage", "1"}});
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, config, "run", {"--image-folder", images.string()}));
    EXPECT_EQ(WaitFor(run), 0) << Output();
    const std::string out = Output();
    EXPECT_NE(out.find("Download system successfully-----------"), std::string::npos) << out;
    EXPECT_NE(out.find("PASS"), std::string::npos);
    ExpectPartition("system", system);
}

}  // namespace
}  // namespace flintcast::testing
