// A run of a package folder whose image no longer matches the package's manifest: refused as a
// bad package before the unit is asked anything.
#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "tests/run/update_run_fixture.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

class PackageManifestRunTest : public testing::UpdateRunFixture {
protected:
    fs::path package = dir.path() / "package";

    int RunProgram(const std::string& program, const std::vector<std::string>& args) {
        platform::ChildProcess child;
        EXPECT_TRUE(child.Start(fs::path(FLINTCAST_BIN_DIR) / program, args, dir.path() / "tool.out"));
        return WaitFor(child, 60);
    }
};

TEST_F(PackageManifestRunTest, AnImageThatDoesNotMatchIsRefusedBeforeTheUnitIsTouched) {
    ASSERT_EQ(RunProgram("flintcast-mkpackage", {"--out", package.string(), "--project", "46", "--image-kib", "64",
                                                 "--config"}),
              0)
        << testing::ReadText(dir.path() / "tool.out");
    ASSERT_EQ(RunProgram("flintcast", {"package-manifest", package.string()}), 0)
        << testing::ReadText(dir.path() / "tool.out");
    {
        std::fstream amss(package / "amss.mbn", std::ios::binary | std::ios::in | std::ios::out);
        amss.seekg(1000);
        const char byte = static_cast<char>(amss.get());
        amss.seekp(1000);
        amss.put(static_cast<char>(byte ^ 0x01));
    }
    StartSimulator();
    const nlohmann::json before = DeviceState()["model"];

    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, package / "Config.ini", "run", {"--image-folder", package.string()}));
    EXPECT_EQ(WaitFor(run), 3) << Output();
    EXPECT_NE(Output().find("Image " + (package / "amss.mbn").string() + " does not match the package manifest"),
              std::string::npos)
        << Output();
    EXPECT_EQ(DeviceState()["model"]["requests"], before["requests"]);
    EXPECT_EQ(DeviceState()["model"], before);
}

}  // namespace
}  // namespace flintcast
