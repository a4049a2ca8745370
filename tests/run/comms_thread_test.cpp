// The worker's sequence where no device answers: what a stop before the start and a failure in
// the opening leave behind.
#include <gtest/gtest.h>

#include <mutex>

#include "engine/comms_thread.h"
#include "devkit/fake_directory.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

// A host that finds no device.
struct EmptyDirectory : testing::FakeDirectory {
    EmptyDirectory() { MakeEmpty(*this); }
};

struct Recorded {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;  // kind, text
    std::vector<int> progress;
    bool ended = false;
};

engine::WorkerHooks RecordingHooks(Recorded& r) {
    engine::WorkerHooks hooks;
    hooks.reporter.OnStatus = [&r](int32_t, int32_t, int32_t kind, const std::string& text) {
        std::lock_guard lock(r.mutex);
        r.lines.emplace_back(kind, text);
    };
    hooks.reporter.OnErrorText = [&r](int32_t, const std::string& text) {
        std::lock_guard lock(r.mutex);
        r.lines.emplace_back(2, text);
    };
    hooks.reporter.OnProgress = [&r](int32_t, int32_t position, int32_t) {
        std::lock_guard lock(r.mutex);
        r.progress.push_back(position);
    };
    hooks.reporter.OnEnd = [&r](int32_t) {
        std::lock_guard lock(r.mutex);
        r.ended = true;
    };
    return hooks;
}

TEST(CommsThreadTest, StopBeforeStartIsForgottenAndAFailedOpeningPostsNoPass) {
    testing::TempDir dir;
    platform::Clock clock(0.001);
    EmptyDirectory directory;
    Recorded rec;
    engine::WorkerSetup setup;
    setup.diagPort = "ttyUSB0";  // no such port under the empty device root
    setup.config.projectType = 46;
    setup.config.phoneProject = true;  // straight to the port opening
    setup.config.bAMSSFile = true;
    setup.images.totalBytes = 0;       // factor 99 for an empty set
    setup.backupRoot = dir.path().string();
    ::setenv("FLINTCAST_DEVICE_ROOT", dir.path().c_str(), 1);

    engine::TCommsThread worker(clock, directory, nullptr, setup, RecordingHooks(rec));
    EXPECT_FLOAT_EQ(worker.progressFactor(), 99.0f);
    worker.RequestStop();  // before the thread starts
    worker.Resume();
    worker.Join();
    ::unsetenv("FLINTCAST_DEVICE_ROOT");

    std::lock_guard lock(rec.mutex);
    EXPECT_TRUE(rec.ended);
    ASSERT_FALSE(rec.lines.empty());
    bool sawStart = false, sawPass = false, sawCommClosed = false;
    int errors = 0;
    for (const auto& [kind, text] : rec.lines) {
        sawStart |= text == "Start succssfully";
        sawPass |= text == "PASS";
        sawCommClosed |= text == "COMM Closed";
        errors += text.rfind("ERROR, ", 0) == 0;
    }
    EXPECT_FALSE(sawStart);  // suppressed by the early stop ...
    EXPECT_EQ(errors, 1);    // ... which was then cleared: the opening's failure latched
    EXPECT_NE(worker.errorCode(), 0);
    EXPECT_NE(worker.errorCode(), engine::kStopRequest);
    EXPECT_FALSE(sawPass);
    EXPECT_FALSE(sawCommClosed);  // the diagnostic port never opened
    ASSERT_FALSE(rec.progress.empty());
    EXPECT_EQ(rec.progress.front(), 0);
    for (int p : rec.progress) EXPECT_LT(p, 100);
}

}  // namespace
}  // namespace flintcast
