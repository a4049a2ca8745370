// The worker's backup-folder helpers: device text never adds a folder level, a folder that
// cannot be made is reported once and aborts the step.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/reporter.h"
#include "engine/worker_folders.h"
#include "devkit/temp_dir.h"
#include "devkit/files.h"

using flintcast::testing::ReadText;

namespace flintcast {
namespace {

namespace fs = std::filesystem;

TEST(WorkerFoldersTest, DeviceTextCannotAddFolderLevels) {
    EXPECT_EQ(engine::SafeFolderName("SN[12/../34]IMEI[a*b?c\"d<e>f|g\\h]"), "SN[12_.._34]IMEI[a_b_c_d_e_f_g_h]");
    EXPECT_EQ(engine::SafeFolderName("SN[0123456789]"), "SN[0123456789]");
}

TEST(WorkerFoldersTest, CreateAndRemoveFolderPath) {
    testing::TempDir dir;
    engine::Reporter reporter;
    const std::string folder = (dir.path() / "Backup/SN[1]/EFS").string();
    engine::CreateFolderPath(reporter, folder);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(reporter.ok());

    std::ofstream(dir.path() / "Backup/SN[1]/nv.bak") << "x";
    // A link inside the tree is removed as a link; its target stays.
    std::ofstream(dir.path() / "keep.txt") << "keep";
    fs::create_symlink(dir.path() / "keep.txt", dir.path() / "Backup/SN[1]/link");
    EXPECT_TRUE(engine::RemoveFolder((dir.path() / "Backup/SN[1]/").string()));  // trailing "/" dropped
    EXPECT_FALSE(fs::exists(dir.path() / "Backup/SN[1]"));
    EXPECT_TRUE(fs::exists(dir.path() / "keep.txt"));
}

TEST(WorkerFoldersTest, UncreatableFolderLatchesOnceAndThrows) {
    testing::TempDir dir;
    std::ofstream(dir.path() / "file") << "x";  // a file where a folder level must go
    std::vector<std::string> errors;
    engine::ReporterHooks hooks;
    hooks.OnErrorText = [&errors](int32_t, const std::string& text) { errors.push_back(text); };
    engine::Reporter reporter(0, hooks);
    EXPECT_THROW(engine::CreateFolderPath(reporter, (dir.path() / "file/EFS").string()),
                 engine::FolderCreationError);
    EXPECT_THROW(engine::CreateFolderPath(reporter, (dir.path() / "file/WIFI").string()),
                 engine::FolderCreationError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("ERROR, Could not create folder!, Error code: ", 0), 0u) << errors[0];
    EXPECT_FALSE(reporter.ok());
}

TEST(WorkerFoldersTest, EarlierBackupIsMovedAsideUnderAFreeStampedName) {
    testing::TempDir dir;
    const std::string folder = (dir.path() / "SN[1]IMEI[2]").string();

    // Nothing there, or an empty folder: nothing to keep, nothing moved.
    auto none = engine::MoveAsideEarlierBackup(folder, "20261208-101500");
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.movedTo.empty());
    fs::create_directories(folder);
    auto empty = engine::MoveAsideEarlierBackup(folder, "20261208-101500");
    EXPECT_TRUE(empty.ok && empty.movedTo.empty());
    EXPECT_TRUE(fs::is_directory(folder));

    fs::create_directories(folder + "/EFS/nvm");
    std::ofstream(folder + "/at.bak") << "[BACKUP]\nbSN=1\n";
    std::ofstream(folder + "/EFS/nvm/888") << "user data";
    auto first = engine::MoveAsideEarlierBackup(folder, "20261208-101500");
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.movedTo, folder + ".20261208-101500");
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(ReadText(first.movedTo + "/at.bak"), "[BACKUP]\nbSN=1\n");
    EXPECT_EQ(ReadText(first.movedTo + "/EFS/nvm/888"), "user data");

    // A second backup within the same second must not land on the first one.
    fs::create_directories(folder);
    std::ofstream(folder + "/at.bak") << "second";
    auto second = engine::MoveAsideEarlierBackup(folder, "20261208-101500");
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.movedTo, folder + ".20261208-101500-2");
    EXPECT_EQ(ReadText(first.movedTo + "/at.bak"), "[BACKUP]\nbSN=1\n");
    EXPECT_EQ(ReadText(second.movedTo + "/at.bak"), "second");

    // A file (or link) standing at the folder's name is kept the same way.
    std::ofstream(folder) << "not a folder";
    auto file = engine::MoveAsideEarlierBackup(folder, "20261208-101501");
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(ReadText(file.movedTo), "not a folder");
}

TEST(WorkerFoldersTest, EarlierBackupIsNeverDeletedWhenNoNameIsFree) {
    testing::TempDir dir;
    const std::string folder = (dir.path() / "SN[1]").string();
    fs::create_directories(folder);
    std::ofstream(folder + "/nv.bak") << "only good copy";
    fs::create_directories(folder + ".20261208-101500");
    for (int n = 2; n <= engine::kAsideNameAttempts; ++n) {
        fs::create_directories(folder + ".20261208-101500-" + std::to_string(n));
    }
    auto result = engine::MoveAsideEarlierBackup(folder, "20261208-101500");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("Could not move the earlier backup"), std::string::npos) << result.error;
    EXPECT_EQ(ReadText(folder + "/nv.bak"), "only good copy");
    // The names that were taken are untouched too.
    EXPECT_TRUE(fs::is_empty(folder + ".20261208-101500"));
}

TEST(WorkerFoldersTest, BackupStampIsSortableLocalTime) {
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 7;
    when.tm_min = 5;
    when.tm_sec = 9;
    EXPECT_EQ(engine::BackupStamp(when), "20261208-070509");
}

TEST(WorkerFoldersTest, StoredBackupFolderMustBeAFolderStrictlyInsideTheRoot) {
    testing::TempDir dir;
    const fs::path root = dir.path() / "Backup";
    fs::create_directories(root / "2026_12_08/SN[1]");
    fs::create_directories(dir.path() / "BackupX/SN[2]");
    fs::create_directories(dir.path() / "elsewhere");
    fs::create_symlink(dir.path() / "elsewhere", root / "out");
    fs::create_symlink(root / "2026_12_08/SN[1]", root / "alias");
    std::ofstream(root / "file") << "x";

    EXPECT_FALSE(engine::StoredBackupFolderProblem((root / "2026_12_08/SN[1]").string(), root.string()));
    EXPECT_FALSE(engine::StoredBackupFolderProblem((root / "2026_12_08/SN[1]/").string(), root.string() + "/"));

    auto outside = [&](const fs::path& p) {
        auto problem = engine::StoredBackupFolderProblem(p.string(), root.string());
        return problem && problem->find("is not inside") != std::string::npos;
    };
    EXPECT_TRUE(outside(root));                                   // the root itself
    EXPECT_TRUE(outside(root / "2026_12_08/../.."));              // climbs out
    EXPECT_TRUE(outside(dir.path() / "BackupX/SN[2]"));           // a sibling sharing the prefix
    EXPECT_TRUE(outside(root / "out"));                           // a link leading out
    EXPECT_TRUE(outside("relative/SN[1]"));
    EXPECT_FALSE(engine::IsStrictlyInside("", root.string()));

    auto missing = engine::StoredBackupFolderProblem((root / "2026_12_08/SN[9]").string(), root.string());
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("does not exist"), std::string::npos);
    auto link = engine::StoredBackupFolderProblem((root / "alias").string(), root.string());
    ASSERT_TRUE(link);
    EXPECT_NE(link->find("is not a folder"), std::string::npos);
    EXPECT_TRUE(engine::StoredBackupFolderProblem((root / "file").string(), root.string()));
    EXPECT_TRUE(engine::StoredBackupFolderProblem("", root.string()));
}

}  // namespace
}  // namespace flintcast
