// The EFS2 service as the tool's backup, restore and part-of-EFS flows use it, with the
// answer layouts the tool reads, and its refusals of malformed requests.
#include <gtest/gtest.h>

#include "sim/protocols/diag_port_engine.h"
#include "tests/sim_protocols/sim_driver.h"

namespace flintcast::sim::testing {
namespace {

Bytes Efs(uint8_t cmd, const Bytes& body = {}) { return Concat({0x4B, 0x13, cmd, 0x00}, body); }
Bytes Path(const std::string& path) { return Text(path); }

class EfsTest : public ::testing::Test {
protected:
    EfsTest() {
        model.efs.AddFile("/user/cfg/a.dat", Bytes(1000, 0x5A));
        model.efs.AddDir("/user/cfg/sub");
        model.efs.AddFile("/user/cfg/sub/prefs.dat", {1, 2, 3});
    }
    uint32_t Errno(const Bytes& answer, size_t at = 4) { return Le32At(answer, at); }

    DeviceModel model;
    DiagPortEngine engine{model, Personality::Diagnostic};
};

TEST_F(EfsTest, StatReportsErrnoModeSizeAndLinkCount) {
    const Bytes file = Ask(engine, Efs(0x0F, Path("/user/cfg/a.dat")));
    ASSERT_GE(file.size(), 20u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0x4B, 0x13, 0x0F, 0x00}));
    EXPECT_EQ(Errno(file), 0u);
    EXPECT_EQ(Le32At(file, 8), 0x81B6u);
    EXPECT_EQ(file[11], 0);
    EXPECT_EQ(Le32At(file, 12), 1000u);
    EXPECT_EQ(file[16], 1);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x0F, Path("/user/none")))), 2u);
}

TEST_F(EfsTest, ReadsAFileInBlocksThroughTheHandleItWasGiven) {
    const Bytes open = Ask(engine, Efs(0x02, Concat(Concat(Le32(0), Le32(0x124)), Path("/user/cfg/a.dat"))));
    EXPECT_EQ(Le32At(open, 4), 3u);  // the first handle the file system gives out
    EXPECT_EQ(Le32At(open, 8), 0u);
    // Handle 0 is no open file.
    EXPECT_EQ(Errno(Ask(engine, Efs(0x04, Concat(Concat(Le32(0), Le32(512)), Le32(0)))), 16), 9u);
    size_t total = 0;
    for (uint32_t offset : {0u, 512u}) {
        const Bytes read = Ask(engine, Efs(0x04, Concat(Concat(Le32(3), Le32(512)), Le32(offset))));
        ASSERT_GE(read.size(), 20u);
        EXPECT_EQ(Le32At(read, 4), 3u);
        EXPECT_EQ(Le32At(read, 8), offset);
        EXPECT_EQ(Le32At(read, 12), read.size() - 20);
        for (size_t i = 20; i < read.size(); ++i) ASSERT_EQ(read[i], 0x5A);
        total += read.size() - 20;
    }
    EXPECT_EQ(total, 1000u);
    // A directory opened meanwhile takes the next handle; a closed one is given out again.
    const Bytes dir = Ask(engine, Efs(0x0B, Path("/user/cfg")));
    EXPECT_EQ(Le32At(dir, 4), 4u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x03, Le32(3)))), 0u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x03, Le32(3)))), 9u);  // already closed
    const Bytes stale = Ask(engine, Efs(0x04, Concat(Concat(Le32(3), Le32(512)), Le32(0))));
    EXPECT_EQ(Errno(stale, 16), 9u);
    const Bytes again = Ask(engine, Efs(0x02, Concat(Concat(Le32(0), Le32(0x124)), Path("/user/cfg/a.dat"))));
    EXPECT_EQ(Le32At(again, 4), 3u);
}

TEST_F(EfsTest, WritesAFileTheWayTheRestoreDoes) {
    EXPECT_EQ(Errno(Ask(engine, Efs(0x13, Path("")))), 0u);
    const Bytes open = Ask(engine, Efs(0x02, Concat(Concat(Le32(0x241), Le32(0x1B6)), Path("/user/cfg/a.dat"))));
    EXPECT_EQ(Le32At(open, 4), 3u);
    EXPECT_EQ(Le32At(open, 8), 0u);
    EXPECT_EQ(model.efs.Find("/user/cfg/a.dat")->contents.size(), 0u);  // truncated
    const Bytes first(1488, 0x01), second(12, 0x02);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x05, Concat(Concat(Le32(3), Le32(0)), first))), 16), 0u);
    const Bytes w2 = Ask(engine, Efs(0x05, Concat(Concat(Le32(3), Le32(1488)), second)));
    EXPECT_EQ(Le32At(w2, 4), 3u);
    EXPECT_EQ(Le32At(w2, 12), 12u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x03, Le32(3)))), 0u);
    const auto& contents = model.efs.Find("/user/cfg/a.dat")->contents;
    ASSERT_EQ(contents.size(), 1500u);
    EXPECT_EQ(contents[1487], 0x01);
    EXPECT_EQ(contents[1488], 0x02);

    // Creating in a missing directory fails with "no such entry" and no handle.
    const Bytes orphan = Ask(engine, Efs(0x02, Concat(Concat(Le32(0x241), Le32(0x1B6)), Path("/nowhere/x"))));
    EXPECT_EQ(Le32At(orphan, 4), 0xFFFFFFFFu);
    EXPECT_EQ(Le32At(orphan, 8), 2u);
}

TEST_F(EfsTest, ListsADirectoryWithTypeModeAndNameAtTheirOffsets) {
    const Bytes open = Ask(engine, Efs(0x0B, Path("user/cfg")));  // leading slash dropped by the tool
    ASSERT_EQ(open.size(), 12u);
    EXPECT_EQ(Le32At(open, 4), 3u);  // the first handle the file system gives out
    std::vector<std::pair<std::string, uint8_t>> seen;
    for (uint32_t seq = 1;; ++seq) {
        const Bytes entry = Ask(engine, Efs(0x0C, Concat(Le32(3), Le32(seq))));
        ASSERT_GE(entry.size(), 41u);
        EXPECT_EQ(entry[3], 0);
        EXPECT_EQ(Le32At(entry, 4), 3u);
        EXPECT_EQ(entry.back(), 0);
        const std::string name(entry.begin() + 40, entry.end() - 1);
        if (entry[16] == 0 && entry[20] == 0) {
            EXPECT_TRUE(name.empty());
            break;
        }
        seen.emplace_back(name, entry[21]);
        ASSERT_LT(seq, 10u);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, uint8_t>>{{"a.dat", 0x81}, {"sub", 0x41}}));
    EXPECT_EQ(Errno(Ask(engine, Efs(0x0D, Le32(3)))), 0u);
    const Bytes missing = Ask(engine, Efs(0x0B, Path("/none")));
    EXPECT_EQ(missing[4], 0);
    EXPECT_EQ(Le32At(missing, 8), 2u);
}

TEST_F(EfsTest, DirectoryAndFileRemovalFollowTheFileSystemRules) {
    EXPECT_EQ(Errno(Ask(engine, Efs(0x09, Concat({0xFF, 0x01}, Path("/user/cfg"))))), 6u);  // exists
    EXPECT_EQ(Errno(Ask(engine, Efs(0x09, Concat({0xFF, 0x01}, Path("/user/new"))))), 0u);
    EXPECT_EQ(model.efs.Find("/user/new")->mode, 0x41FFu);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x09, Concat({0xFF, 0x01}, Path("/a/b"))))), 2u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x0A, Path("/user/cfg/sub")))), 39u);  // not empty
    EXPECT_EQ(Errno(Ask(engine, Efs(0x08, Path("/user/cfg/sub/prefs.dat")))), 0u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x0A, Path("/user/cfg/sub")))), 0u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x08, Path("/user/cfg/sub")))), 2u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x08, Path("/user/cfg")))), 21u);
    EXPECT_EQ(Errno(Ask(engine, Efs(0x08, Path("/user/../user/cfg/a.dat")))), 22u);
}

TEST_F(EfsTest, MalformedEfsRequestsAreRefused) {
    const Bytes noNul = Efs(0x0F, Text("/user", false));
    EXPECT_EQ(Ask(engine, noNul), Concat({0x14}, noNul));
    const Bytes shortRead = Efs(0x04, Le32(0));
    EXPECT_EQ(Ask(engine, shortRead), Concat({0x15}, shortRead));
    const Bytes unknown = Efs(0x77);
    EXPECT_EQ(Ask(engine, unknown), Concat({0x13}, unknown));
    EXPECT_EQ(model.Counter("diag.efs.stat"), 1u);
}

}  // namespace
}  // namespace flintcast::sim::testing
