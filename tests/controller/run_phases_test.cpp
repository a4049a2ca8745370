// The phases of an update followed from its log lines: the lines of a simulated run of the
// default package, a failure, a stop, and the bytes behind the worker's progress bar.
#include "controller/run_phases.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace flintcast::controller {
namespace {

struct Seen {
    std::vector<std::string> started;
    std::vector<std::string> ended;  // "title:outcome:elapsed"
};

Seen Feed(PhaseTracker& tracker, const std::vector<std::pair<int, std::string>>& lines, uint32_t& now) {
    Seen seen;
    for (const auto& [kind, text] : lines) {
        now += 100;
        for (const auto& e : tracker.OnLine(kind, text, now)) {
            if (e.type == PhaseEvent::Type::Started) {
                seen.started.push_back(std::string(PhaseName(e.phase)) + ":" + e.title);
            } else {
                seen.ended.push_back(e.title + ":" + std::string(OutcomeName(e.outcome)) + ":" +
                                     std::to_string(e.elapsedMs) + (e.reason.empty() ? "" : ":" + e.reason));
            }
        }
    }
    return seen;
}

// The lines of a run of the default package with backup and restore, as the simulator gives them
// (repeated read and retry lines left out).
const std::vector<std::pair<int, std::string>> kDefaultRun = {
    {4, "Check......"}, {4, "Check......completely"}, {4, "Start succssfully"}, {4, "Port1 ready......"},
    {4, "Read......"}, {4, "Read SN"}, {4, "Backup NV......OK"}, {4, "Backup succssfully"},
    {4, "Receive device arrival after switch"}, {4, "Sending nop_cmd...0"}, {4, "downloading D001......"},
    {4, "Run DLOAD program successfully"}, {4, "Downloading dbl file"}, {4, "Downloading osbl file"},
    {4, "Downloading D003..."}, {4, "Re_transmit data"}, {4, "AMSSFile succssfully"},
    {4, "Downloading DSP1 header..."}, {4, "Downloading DSP2 header..."}, {4, "Downloading D009......"},
    {4, "Downloading Application EFS..."}, {1, "cefs_apps.mbn downloading, 32 blocks"}, {4, "Reset"},
    {4, "Reset or power off......"}, {4, "Receive device Arrival after reset"}, {4, "Restore NV Start."},
    {4, "Restore NV......OK"}, {4, "Read NV 20208......OK"}, {4, "Backup NV......OK"}, {4, "Restore SN"},
    {3, "PASS"},
};

TEST(RunPhases, ASimulatedRunGoesThroughEveryPhaseOnceInOrder) {
    PhaseTracker tracker;
    uint32_t now = 0;
    const Seen seen = Feed(tracker, kDefaultRun, now);
    EXPECT_EQ(seen.started, (std::vector<std::string>{
                                "checks:Checks", "backup:Backup", "boot-loader:Boot loader", "image:Image AMSS modem",
                                "image:Image DSP1", "image:Image DSP2", "image:Image FTL image",
                                "image:Image application EFS", "reset:Reset", "restore:Restore"}));
    // Each phase ends when the next starts (the backup with its own line), the last with the pass;
    // the counted image gets its file name; reads and backups after the images stay in the restore.
    ASSERT_EQ(seen.ended.size(), seen.started.size());
    EXPECT_EQ(seen.ended[0], "Checks:ok:400");
    EXPECT_EQ(seen.ended[1], "Backup:ok:300");
    EXPECT_EQ(seen.ended[7], "Image application EFS (cefs_apps.mbn):ok:200");
    EXPECT_EQ(seen.ended.back(), "Restore:ok:500");
    EXPECT_FALSE(tracker.current().has_value());
    EXPECT_TRUE(tracker.OnRunEnded(PhaseOutcome::Ok, now).empty());
}

TEST(RunPhases, AFailureEndsTheOpenPhaseWithItsLineAndAStopIsNotAFailure) {
    PhaseTracker tracker;
    uint32_t now = 0;
    Feed(tracker, {{4, "Start succssfully"}, {4, "Read SN"}, {2, "ERROR, Fail to read IMEI, Error code: 3"}}, now);
    ASSERT_TRUE(tracker.current().has_value());
    EXPECT_EQ(tracker.current()->phase, RunPhase::Backup);
    auto ended = tracker.OnRunEnded(PhaseOutcome::Failed, now + 50);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].outcome, PhaseOutcome::Failed);
    EXPECT_EQ(ended[0].reason, "ERROR, Fail to read IMEI, Error code: 3");
    EXPECT_EQ(ended[0].elapsedMs, 150u);  // from the first backup line

    // The next run starts afresh: its backup is a phase again, and a stop keeps no old reason.
    now = 1000;
    Feed(tracker, {{4, "Start succssfully"}, {4, "Read SN"}}, now);
    ended = tracker.OnRunEnded(PhaseOutcome::Stopped, now);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].phase, RunPhase::Backup);
    EXPECT_EQ(ended[0].outcome, PhaseOutcome::Stopped);
    EXPECT_EQ(ended[0].reason, "");
}

TEST(RunPhases, AnImagesOnlyRunHasNoBackupAndAPhaseIsNotReopenedByItsOwnRetries) {
    PhaseTracker tracker;
    uint32_t now = 0;
    const Seen seen = Feed(tracker,
                           {{4, "Start succssfully"}, {4, "Sending nop_cmd...0"}, {4, "Sending nop_cmd...1"},
                            {4, "Downloading dbl file"}, {4, "Downloading D003..."}, {4, "Downloading D003..."},
                            {4, "Reset or power off......"}, {3, "PASS"}},
                           now);
    EXPECT_EQ(seen.started, (std::vector<std::string>{"checks:Checks", "boot-loader:Boot loader",
                                                      "image:Image AMSS modem", "reset:Reset"}));
}

TEST(RunPhases, ImageBytesFollowTheBarThatReaches99WithTheLastByte) {
    EXPECT_EQ(ImageBytesDone(0, 100, 9900), 0u);
    EXPECT_EQ(ImageBytesDone(33, 100, 9900), 3300u);
    EXPECT_EQ(ImageBytesDone(99, 100, 9900), 9900u);
    EXPECT_EQ(ImageBytesDone(100, 100, 9900), 9900u);
    EXPECT_EQ(ImageBytesDone(50, 0, 9900), 0u);
}

}  // namespace
}  // namespace flintcast::controller
