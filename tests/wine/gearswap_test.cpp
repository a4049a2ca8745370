// The mode switch program under Wine: its dialog comes up, it walks the drive letters and the
// disk interfaces, finds no card (Wine has no USB disk to offer) and closes by itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/wine/wine_rig.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

// Every gearswap.log in the prefix's drive C.
std::vector<fs::path> GearswapLogs() {
    std::vector<fs::path> logs;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(testing::WineRig::Prefix() / "drive_c" / "users", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->path().filename() == "gearswap.log") logs.push_back(it->path());
    return logs;
}

TEST(WineGearswap, TheDialogProgramSearchesAndClosesByItselfWhenNoCardIsAttached) {
    testing::WineRig rig;
    ASSERT_TRUE(rig.ready) << "no usable Wine prefix at " << testing::WineRig::Prefix();
    for (const auto& log : GearswapLogs()) fs::remove(log);
    // A dialog that stayed open would run into the limit and be stopped (-1).
    const fs::path out = rig.dir.path() / "gearswap.out";
    EXPECT_EQ(rig.RunWindows("flintcast-gearswap.exe", {}, out), 0) << testing::ReadText(out);
    // It writes its log only when the dialog failed or a disk took the command.
    const auto logs = GearswapLogs();
    EXPECT_TRUE(logs.empty()) << testing::ReadText(logs.front());
}

}  // namespace
}  // namespace flintcast
