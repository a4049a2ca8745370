#include "engine/reporter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

using namespace flintcast::engine;

namespace {

struct Captured {
    std::vector<std::string> errors;
    std::vector<std::tuple<int32_t, int32_t, int32_t, std::string>> statuses;
    ReporterHooks hooks() {
        ReporterHooks h;
        h.OnStatus = [this](int32_t slot, int32_t code, int32_t kind, const std::string& text) {
            statuses.emplace_back(slot, code, kind, text);
        };
        h.OnErrorText = [this](int32_t, const std::string& text) { errors.push_back(text); };
        return h;
    }
};

}  // namespace

TEST(ReporterLatch, FirstErrorWinsAndLaterOnesAddNoLine) {
    Captured cap;
    Reporter r(2, cap.hooks());
    r.ShowError("Could not open COMM port", 5);
    r.ShowError("Fail to connect serial port", 13);
    ASSERT_EQ(cap.errors.size(), 1u);
    EXPECT_EQ(cap.errors[0], "ERROR, Could not open COMM port, Error code: 5");
    EXPECT_EQ(r.error(), 5);
    EXPECT_EQ(r.statusText(), "ERROR, Could not open COMM port, Error code: 5");
}

TEST(ReporterLatch, ErrorWithoutSystemCodeShowsZeroAndLatches31) {
    Captured cap;
    Reporter r(0, cap.hooks());
    errno = 0;
    r.ShowError("[Dload] Fail to Read IMEI");
    ASSERT_EQ(cap.errors.size(), 1u);
    EXPECT_EQ(cap.errors[0], "ERROR, [Dload] Fail to Read IMEI, Error code: 0");
    EXPECT_EQ(r.error(), kErrorWithoutSystemCode);
    EXPECT_FALSE(r.ok());
}

TEST(ReporterLatch, TakesErrnoAtTheMomentOfTheCall) {
    Reporter r;
    errno = EACCES;
    r.ShowError("x");
    EXPECT_EQ(r.error(), EACCES);
    EXPECT_EQ(r.statusText(), "ERROR, x, Error code: " + std::to_string(EACCES));
}

TEST(ReporterLatch, StopBeforeRunStartIsForgottenAndStopBlocksLaterErrors) {
    Captured cap;
    Reporter r(0, cap.hooks());
    r.RequestStop();
    EXPECT_TRUE(r.stopRequested());
    r.BeginRun();
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.statusText(), "");

    r.RequestStop();
    r.ShowError("Could not get platform type.", 0);
    EXPECT_TRUE(cap.errors.empty());  // a stopped run shows no error line
    EXPECT_EQ(r.error(), kStopRequest);
}

TEST(ReporterLatch, WorksWithoutHooksAndAlwaysClearsCommErrors) {
    Reporter r;
    int clears = 0;
    r.setCommErrorClearer([&] { ++clears; });
    r.ShowStatus(LineClass::Ordinary, "Port2 ready......");
    EXPECT_EQ(r.statusText(), "Port2 ready......");
    r.ShowError("one", 0);
    r.ShowError("two", 0);
    EXPECT_EQ(clears, 2);  // cleared also for the error that adds no line
    EXPECT_EQ(r.statusText(), "ERROR, one, Error code: 0");
    r.ClearError();
    EXPECT_TRUE(r.ok());
    r.SetProgress(5, 100);
    r.NotifyEnd();
}

TEST(ReporterLines, ClassesCarryTheirCodeAndKindPairs) {
    Captured cap;
    Reporter r(7, cap.hooks());
    r.ShowStatus(LineClass::Progress, "Sending nop_cmd...");
    r.ShowStatus(LineClass::Ordinary, "Start succssfully");
    r.ShowStatus(LineClass::Setup, "Opened......");
    r.ShowStatus(LineClass::FailureNotice, "COMM Closed");
    r.ShowStatus(LineClass::Pass, "PASS");
    using T = std::tuple<int32_t, int32_t, int32_t, std::string>;
    const std::vector<T> want = {T{7, 5, 0, "Sending nop_cmd..."}, T{7, 8, 1, "Start succssfully"},
                                 T{7, 0, 0, "Opened......"}, T{7, 1, 2, "COMM Closed"}, T{7, 8, 3, "PASS"}};
    EXPECT_EQ(cap.statuses, want);
    EXPECT_TRUE(r.ok());  // a failure notice leaves the latch alone
}
