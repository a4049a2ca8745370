// The start-up check against the operator's connection utility: which names each project takes,
// who is refused with what, and that the names stay held.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "controller/utility_conflict.h"
#include "devkit/temp_dir.h"

namespace flintcast::controller {
namespace {

using platform::InstanceLock;

class UtilityConflictTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
        ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_.empty()) ::unsetenv("XDG_RUNTIME_DIR");
        else ::setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
    }
    testing::TempDir dir_;
    std::string saved_;
};

TEST_F(UtilityConflictTest, NamesPerProject) {
    EXPECT_EQ(UtilityLockNames(46, 0).size(), 4u);
    EXPECT_EQ(UtilityLockNames(46, 0).back(), "inno setup quellmark sw");
    EXPECT_EQ(UtilityLockNames(42, 0).size(), 3u) << "the branded Japanese variant takes the three modem names";
    EXPECT_EQ(UtilityLockNames(3, 2).size(), 3u);
    EXPECT_EQ(UtilityLockNames(3, 0).size(), 4u) << "unmarked project 3 checks like the rest";
    for (const int wizard : {2, 6, 19, 41}) EXPECT_TRUE(UtilityLockNames(wizard, 0).empty()) << wizard;
}

TEST_F(UtilityConflictTest, FreeNamesAreTakenAndHeldUntilTheCheckEnds) {
    {
        const auto check = CheckOperatorUtility(46, 0);
        EXPECT_FALSE(check.refusal);
        EXPECT_EQ(check.held.size(), 4u);
        EXPECT_TRUE(InstanceLock::IsHeld("ZRVUSBModem_Mutex"));
        EXPECT_TRUE(InstanceLock::IsHeld("inno setup quellmark sw"));
        // A second tool started now finds the names taken.
        EXPECT_TRUE(CheckOperatorUtility(46, 0).refusal);
    }
    EXPECT_FALSE(InstanceLock::IsHeld("ZRVUSBModem_Mutex"));
}

TEST_F(UtilityConflictTest, RunningUtilityRefusesWithTheProjectsText) {
    const auto utility = InstanceLock::TryAcquire("Quellmark3G_BriskModem_ShowModem");
    ASSERT_TRUE(utility);

    const auto plain = CheckOperatorUtility(46, 0);
    ASSERT_TRUE(plain.refusal);
    EXPECT_EQ(plain.refusal->caption, "Warning");
    EXPECT_EQ(plain.refusal->text, "Utility is running,please exit the utility!");
    EXPECT_EQ(plain.busyName, "Quellmark3G_BriskModem_ShowModem");
    EXPECT_TRUE(plain.held.empty()) << "a refused start lets go of what it took";
    EXPECT_FALSE(InstanceLock::IsHeld("Mutex_EM_0_Modem"));

    const auto branded = CheckOperatorUtility(28, 0);
    ASSERT_TRUE(branded.refusal);
    EXPECT_EQ(branded.refusal->caption, "Netmarrow Software Update Tool");
    EXPECT_NE(branded.refusal->text.find("アップデートツール"), std::string::npos);

    const auto variant = CheckOperatorUtility(42, 0);
    ASSERT_TRUE(variant.refusal);
    EXPECT_EQ(variant.refusal->caption, "JDDアップデートツール V1.0");

    EXPECT_FALSE(CheckOperatorUtility(6, 0).refusal) << "project 6 starts its wizard instead";
}

TEST_F(UtilityConflictTest, InstallerLockStopsOnlyTheProjectsThatCheckIt) {
    const auto installer = InstanceLock::TryAcquire("inno setup quellmark sw");
    ASSERT_TRUE(installer);
    EXPECT_TRUE(CheckOperatorUtility(46, 0).refusal);
    EXPECT_FALSE(CheckOperatorUtility(42, 0).refusal);
}

}  // namespace
}  // namespace flintcast::controller
