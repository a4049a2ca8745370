// A resumed worker checks the earlier run's backup before any port is opened: a folder outside
// the backup root, a missing or incomplete at.bak or a missing nv.bak ends the run with one
// clear error, and the folder is left exactly as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <mutex>

#include "engine/comms_thread.h"
#include "engine/device_data_service.h"
#include "devkit/fake_directory.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

struct NoDevices : testing::FakeDirectory {
    NoDevices() { MakeEmpty(*this); }
};

constexpr const char* kGoodAtBak =
    "[BACKUP]\nbSN=1\nbIMEI=1\nbTESTINF=1\n[Data]\nSN=FC46R1000077\nIMEI=860046000000777\nTESTINF=CAL:PASS\n";

class ResumeWorkerTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    fs::path root = dir.path() / "Backup";
    fs::path folder = root / "2026_12_07/SN[FC46R1000077]IMEI[860046000000777]";

    void SetUp() override {
        fs::create_directories(folder / "EFS");
        // No device at all: a run that got as far as a port would fail on it with its own line.
        ::setenv("FLINTCAST_DEVICE_ROOT", (dir.path() / "devices").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("FLINTCAST_DEVICE_ROOT"); }

    // Runs a resumed worker on `stored`; returns its lines (kind, text).
    std::vector<std::pair<int, std::string>> Resume(const fs::path& stored) {
        platform::Clock clock(0.001);
        NoDevices directory;
        engine::DeviceDataService data;
        std::mutex mutex;
        std::vector<std::pair<int, std::string>> lines;
        engine::WorkerHooks hooks;
        hooks.reporter.OnStatus = [&](int32_t, int32_t, int32_t kind, const std::string& text) {
            std::lock_guard lock(mutex);
            lines.emplace_back(kind, text);
        };
        hooks.reporter.OnErrorText = [&](int32_t, const std::string& text) {
            std::lock_guard lock(mutex);
            lines.emplace_back(2, text);
        };
        engine::WorkerSetup setup;
        setup.diagPort = "ttyUSB0";
        setup.config.projectType = 46;
        setup.config.bRestore = true;
        setup.config.bEFS = true;
        setup.backupRoot = (root / "2026_12_08").string();
        setup.resumeRun = true;
        setup.resumeBackupFolder = stored.string();
        setup.resumeBackupRoot = root.string();
        engine::TCommsThread worker(clock, directory, &data, setup, hooks);
        worker.Resume();
        worker.Join();
        return lines;
    }

    static std::string OnlyError(const std::vector<std::pair<int, std::string>>& lines) {
        std::string error;
        int errors = 0;
        for (const auto& [kind, text] : lines) {
            EXPECT_EQ(text.find("ready"), std::string::npos) << "a port was opened: " << text;
            EXPECT_NE(text, "PASS");
            if (kind == 2) {
                error = text;
                ++errors;
            }
        }
        EXPECT_EQ(errors, 1);
        return error;
    }

    std::map<std::string, std::string> Contents() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder)) {
            if (!e.is_regular_file()) {
                files[e.path().string()] = "<folder>";
                continue;
            }
            std::ifstream in(e.path(), std::ios::binary);
            files[e.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }
};

TEST_F(ResumeWorkerTest, FolderOutsideTheBackupRootIsRefused) {
    fs::create_directories(dir.path() / "home");
    std::ofstream(dir.path() / "home/at.bak") << kGoodAtBak;
    std::ofstream(dir.path() / "home/nv.bak") << std::string(136, '\0');
    const auto error = OnlyError(Resume(root / "../home"));
    EXPECT_NE(error.find("Cannot resume: "), std::string::npos) << error;
    EXPECT_NE(error.find("is not inside"), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(dir.path() / "home/at.bak"));
}

TEST_F(ResumeWorkerTest, MissingOrIncompleteBackupFilesEndTheRunAndChangeNothing) {
    auto missingAt = OnlyError(Resume(folder));
    EXPECT_NE(missingAt.find("at.bak"), std::string::npos) << missingAt;

    std::ofstream(folder / "at.bak") << "[BACKUP]\nbSN=1\n[Data]\nSN=FC46R1000077\n";
    auto incomplete = OnlyError(Resume(folder));
    EXPECT_NE(incomplete.find("does not hold the IMEI"), std::string::npos) << incomplete;

    std::ofstream(folder / "at.bak") << kGoodAtBak;
    const auto before = Contents();
    auto missingNv = OnlyError(Resume(folder));
    EXPECT_NE(missingNv.find("nv.bak is missing"), std::string::npos) << missingNv;
    EXPECT_EQ(Contents(), before);

    auto gone = OnlyError(Resume(root / "2026_12_07/SN[gone]"));
    EXPECT_NE(gone.find("does not exist"), std::string::npos) << gone;
}

}  // namespace
}  // namespace flintcast
