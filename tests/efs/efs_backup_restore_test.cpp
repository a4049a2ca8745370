// User-data backup and restore and the part-of-EFS update against the simulated device.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "engine/efs_directory.h"
#include "engine/efs_part_of_efs.h"
#include "engine/efs_user_data.h"
#include "tests/efs/efs_sim_rig.h"

namespace flintcast::testing {
namespace {

using nlohmann::json;

json File(const std::string& path, const std::string& hex) { return {{"path", path}, {"hex", hex}}; }
json Text(const std::string& path, const std::string& text) { return {{"path", path}, {"text", text}}; }
json Dir(const std::string& path) { return {{"path", path}, {"dir", true}}; }

json UserTree() {
    return json::array({Dir("/nvm"), Dir("/nvm/num"), File("/nvm/num/888", PatternHex(2976, 1)), Dir("/wifi"),
                        Text("/wifi/empty.bin", ""), Dir("/user"), Dir("/user/cfg"), Text("/user/cfg/a.dat", "alpha"),
                        Dir("/user/cfg/sub"), File("/user/cfg/sub/b.dat", PatternHex(1000, 3)),
                        Text("/user/cfg/sub/prefs.dat", "device preferences")});
}

std::map<fs::path, std::pair<std::string, fs::file_time_type>> Snapshot(const fs::path& folder) {
    std::map<fs::path, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) files[e.path()] = {ReadText(e.path()), e.last_write_time()};
    }
    return files;
}

class UserDataTest : public ::testing::Test {
protected:
    EfsRig rig{UserTree()};
    config::ProjectConfig config;
    engine::EfsUserData userData{rig.efs, config};

    void SetUp() override {
        ASSERT_TRUE(rig.ready()) << rig.sim.log();
        config.userDataDirs = {"/user/cfg"};
        config.userDataFiles = {"/nvm/num/888", "/missing/x.dat", "/wifi/empty.bin"};
        userData.SetBackupFolder(rig.backup.path().string());
    }
    fs::path Copy(const std::string& devicePath) const { return rig.backup.path() / "EFS" / devicePath; }
};

TEST_F(UserDataTest, ListsNestedFilesLeavesOutPrefsAndDropsMissingFiles) {
    userData.EnumDirAndMakeDir();
    ASSERT_TRUE(rig.rig.reporter.ok()) << rig.rig.reporter.statusText();
    EXPECT_EQ(userData.listing().directories, std::vector<std::string>{"user/cfg/sub"});
    const std::vector<std::string> files{"/nvm/num/888", "/wifi/empty.bin", "user/cfg/a.dat", "user/cfg/sub/b.dat"};
    EXPECT_EQ(userData.userDataFiles(), files);
    ASSERT_EQ(userData.userDataEntries().size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(fs::path(userData.userDataEntries()[i]), Copy(files[i].front() == '/' ? files[i].substr(1) : files[i]));
    }
    EXPECT_TRUE(fs::is_directory(Copy("user/cfg")));
    EXPECT_TRUE(fs::is_directory(Copy("user/cfg/sub")));
    EXPECT_TRUE(fs::is_directory(Copy("nvm/num")));
    EXPECT_FALSE(fs::exists(Copy("missing"))) << "a file the device lacks gets no folder";
    EXPECT_TRUE(rig.rig.posted("Enum dir:/user/cfg"));
    EXPECT_TRUE(rig.rig.posted("Enum dir:user/cfg/sub"));
}

TEST_F(UserDataTest, RoundTripRestoresAWipedTreeAndLeavesTheBackupAlone) {
    const auto before = rig.sim.Tree();
    ASSERT_TRUE(before.count("/user/cfg/sub/b.dat"));
    userData.EnumDirAndMakeDir();
    userData.BackupUserDataFiles();
    ASSERT_TRUE(rig.rig.reporter.ok()) << rig.rig.reporter.statusText();
    EXPECT_EQ(ReadText(Copy("nvm/num/888")), PatternBytes(2976, 1));
    EXPECT_EQ(ReadText(Copy("user/cfg/sub/b.dat")), PatternBytes(1000, 3));
    EXPECT_EQ(ReadText(Copy("user/cfg/a.dat")), "alpha");
    EXPECT_TRUE(fs::exists(Copy("wifi/empty.bin")));
    EXPECT_EQ(fs::file_size(Copy("wifi/empty.bin")), 0u);
    EXPECT_FALSE(fs::exists(Copy("user/cfg/sub/prefs.dat")));
    EXPECT_EQ(userData.userDataSizes(), (std::vector<uint32_t>{2976, 0, 5, 1000}));
    // 512-byte reads: 6 for 2,976 bytes, 1 for 5, none for the empty file, 2 for 1,000.
    EXPECT_EQ(rig.sim.Requests("diag.efs.read"), 9u);
    EXPECT_TRUE(rig.rig.posted("user/cfg/sub/b.dat successfully."));

    // The update wipes the user's files and folders.
    for (const char* dir : {"/user/cfg/sub", "/user/cfg", "/user"}) {
        ASSERT_EQ(engine::RemoveEfsDir(rig.efs, dir), engine::remove_dir::kDone) << dir;
    }
    ASSERT_EQ(rig.efs.RemoveEfsFile("/nvm/num/888"), 0);
    ASSERT_EQ(rig.efs.RemoveEfsFile("/wifi/empty.bin"), 0);
    const auto backupBefore = Snapshot(rig.backup.path());
    const uint64_t writesBefore = rig.sim.Requests("diag.efs.write");

    userData.RestoreUserDataFiles();
    ASSERT_TRUE(rig.rig.reporter.ok()) << rig.rig.reporter.statusText();
    auto expected = before;
    expected.erase("/user/cfg/sub/prefs.dat");  // never backed up
    EXPECT_EQ(rig.sim.Tree(), expected);
    // 1,488-byte writes: 2 for 2,976 bytes, 1 for 5, none for the empty file, 1 for 1,000.
    EXPECT_EQ(rig.sim.Requests("diag.efs.write") - writesBefore, 4u);
    EXPECT_TRUE(rig.rig.posted("/nvm/num/888 file OK"));
    EXPECT_EQ(Snapshot(rig.backup.path()), backupBefore) << "a restore only reads the backup";
}

TEST_F(UserDataTest, ResumedRunRestoresFromTheCopiesOfAnEarlierRun) {
    userData.EnumDirAndMakeDir();
    userData.BackupUserDataFiles();
    ASSERT_TRUE(rig.rig.reporter.ok());
    const auto before = rig.sim.Tree();
    ASSERT_EQ(engine::RemoveEfsDir(rig.efs, "/user/cfg/sub"), engine::remove_dir::kDone);
    ASSERT_EQ(rig.efs.RemoveEfsFile("/nvm/num/888"), 0);

    engine::EfsUserData resumed(rig.efs, config);
    resumed.SetBackupFolder(rig.backup.path().string());
    ASSERT_TRUE(resumed.LoadFromMirror());
    EXPECT_EQ(resumed.userDataFiles().size(), 4u);
    resumed.RestoreUserDataFiles();
    ASSERT_TRUE(rig.rig.reporter.ok()) << rig.rig.reporter.statusText();
    auto expected = before;
    expected.erase("/user/cfg/sub/prefs.dat");
    EXPECT_EQ(rig.sim.Tree(), expected);
}

TEST(EfsListing, DirectoryOf300EntriesIsListedWhole) {
    json tree = json::array({Dir("/big")});
    for (int i = 0; i < 300; ++i) tree.push_back(Text(fmt::format("/big/f{:03}", i), fmt::format("entry {}", i)));
    EfsRig rig(tree);
    ASSERT_TRUE(rig.ready()) << rig.sim.log();
    config::ProjectConfig config;
    config.userDataDirs = {"/big"};
    engine::EfsUserData userData(rig.efs, config);
    userData.SetBackupFolder(rig.backup.path().string());
    userData.EnumDirAndMakeDir();
    userData.BackupUserDataFiles();
    ASSERT_TRUE(rig.rig.reporter.ok()) << rig.rig.reporter.statusText();
    ASSERT_EQ(userData.userDataFiles().size(), 300u);
    EXPECT_EQ(userData.userDataFiles().back(), "big/f299");
    EXPECT_EQ(ReadText(rig.backup.path() / "EFS/big/f299"), "entry 299");
}

TEST(PartOfEfs, RemovesCreatesAndAddsFiles) {
    EfsRig rig(json::array({Dir("/pe"), Dir("/pe/keep"), Text("/pe/keep/x", "x"), Dir("/pe/keep/inner"),
                            Dir("/pe/plain"), Text("/pe/plain/f1", "1"), Text("/pe/plain/f2", "2"),
                            Text("/pe/old.txt", "old")}));
    ASSERT_TRUE(rig.ready()) << rig.sim.log();
    const fs::path staged = rig.backup.path() / "add.bin";
    std::ofstream(staged, std::ios::binary) << PatternBytes(1489, 9);

    config::ProjectConfig config;
    config.removeFiles = {"/pe/old.txt"};
    config.removeDirs = {"/pe/plain"};
    config.createDirs = {"/pe/new", "/pe/keep"};  // the second exists already: accepted
    config.addFiles = {"/pe/new/add.bin"};
    engine::ApplyPartOfEfs(rig.efs, config, {{staged.string(), 1489}});
    ASSERT_TRUE(rig.rig.reporter.ok()) << rig.rig.reporter.statusText();
    auto tree = rig.sim.Tree();
    EXPECT_FALSE(tree.count("/pe/old.txt"));
    EXPECT_FALSE(tree.count("/pe/plain"));
    EXPECT_FALSE(tree.count("/pe/plain/f1"));
    EXPECT_EQ(tree["/pe/new"], "dir");
    EXPECT_EQ(rig.sim.Requests("diag.efs.write"), 2u) << "1,488 bytes, then 1";
    EXPECT_TRUE(rig.rig.posted("Download file P030......"));
    // Read the written file back through the client.
    uint32_t size = 0;
    ASSERT_EQ(rig.efs.OpenEfsFileForRead("/pe/new/add.bin", size), 0);
    ASSERT_EQ(size, 1489u);
    ASSERT_EQ(rig.efs.ReadEfsFile((rig.backup.path() / "back.bin").string(), size), 0);
    EXPECT_EQ(rig.efs.CloseEfsFile(), 0);
    EXPECT_EQ(ReadText(rig.backup.path() / "back.bin"), PatternBytes(1489, 9));

    // A directory with a subdirectory is left whole.
    config = {};
    config.removeDirs = {"/pe/keep"};
    engine::ApplyPartOfEfs(rig.efs, config, {});
    ASSERT_EQ(rig.rig.errors().size(), 1u);
    EXPECT_NE(rig.rig.errors()[0].find("[EFS] Could not remove subdirectories"), std::string::npos);
    tree = rig.sim.Tree();
    EXPECT_TRUE(tree.count("/pe/keep/x") && tree.count("/pe/keep/inner"));
}

TEST(PartOfEfs, RemovesOnlyFilesOpenToEveryone) {
    // 0644 and 0444 files are the unit's own: they stay, and so does their folder. The
    // device hands out its own handles (from 3), which every request must name.
    json owned = Text("/pe/mixed/owned", "o");
    owned["permissions"] = "0x1A4";
    json sealed = Text("/pe/mixed/sealed", "s");
    sealed["permissions"] = "0x124";
    EfsRig rig(json::array({Dir("/pe"), Text("/pe/mixed/shared", "1"), owned, sealed}));
    ASSERT_TRUE(rig.ready()) << rig.sim.log();
    config::ProjectConfig config;
    config.removeDirs = {"/pe/mixed"};
    engine::ApplyPartOfEfs(rig.efs, config, {});
    ASSERT_EQ(rig.rig.errors().size(), 1u) << rig.rig.reporter.statusText();
    EXPECT_NE(rig.rig.errors()[0].find("[EFS] Fail to remove the root of folder"), std::string::npos)
        << rig.rig.errors()[0];
    const auto tree = rig.sim.Tree();
    EXPECT_FALSE(tree.count("/pe/mixed/shared"));
    EXPECT_TRUE(tree.count("/pe/mixed/owned"));
    EXPECT_TRUE(tree.count("/pe/mixed/sealed"));
    EXPECT_EQ(rig.sim.Requests("diag.efs.unlink"), 1u);
}

TEST(PartOfEfs, MissingStagedFileIsAnError) {
    EfsRig rig(json::array({Dir("/pe")}));
    ASSERT_TRUE(rig.ready()) << rig.sim.log();
    config::ProjectConfig config;
    config.addFiles = {"/pe/a.bin"};
    engine::ApplyPartOfEfs(rig.efs, config, {});
    ASSERT_EQ(rig.rig.errors().size(), 1u);
    EXPECT_NE(rig.rig.errors()[0].find("not staged: /pe/a.bin"), std::string::npos);
}

}  // namespace
}  // namespace flintcast::testing
