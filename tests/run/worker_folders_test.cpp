// The worker's backup-folder helpers: device text never adds a folder level, a folder that
// cannot be made is reported once and aborts the step.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/reporter.h"
#include "engine/worker_folders.h"
#include "tests/support/temp_dir.h"

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

}  // namespace
}  // namespace flintcast
