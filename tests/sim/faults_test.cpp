#include <gtest/gtest.h>

#include "sim/faults.h"
#include "sim/reply_writer.h"

namespace flintcast::sim {
namespace {

TEST(SimFaults, CountsOccurrencesAndFiresOnTheNthOrEveryTime) {
    Faults f;
    ASSERT_EQ(f.add("drop-reply:diag@3; delay-reply=250@*"), "");
    EXPECT_FALSE(f.fire(FaultKind::DropReply, "diag"));
    EXPECT_FALSE(f.fire(FaultKind::DropReply, "modem"));  // another port does not count
    EXPECT_FALSE(f.fire(FaultKind::DropReply, "diag"));
    EXPECT_TRUE(f.fire(FaultKind::DropReply, "diag"));
    EXPECT_FALSE(f.fire(FaultKind::DropReply, "diag"));  // spent after the third
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f.fire(FaultKind::DelayReply, "modem"), 250);
}

TEST(SimFaults, AtCommandsMatchByPrefixIgnoringCaseAndKeepTheirEqualsSign) {
    Faults f;
    ASSERT_EQ(f.add("at-error:AT+ZRVSN=0,7@*"), "");
    EXPECT_TRUE(f.fire(FaultKind::AtError, "at+zrvsn=0,7"));
    EXPECT_FALSE(f.fire(FaultKind::AtError, "AT+ZRVSN=0,5"));
    EXPECT_FALSE(f.fire(FaultKind::AtSilence, "AT+ZRVSN=0,7"));
}

TEST(SimFaults, NumericAndImageTargetsAreCanonical) {
    Faults f;
    ASSERT_EQ(f.add("nv-status:0x226=7;unplug-at:2.010;refuse:DMSS.Go@2"), "");
    EXPECT_EQ(f.fire(FaultKind::NvStatus, 550u), 7);
    EXPECT_TRUE(f.fire(FaultKind::UnplugAt, "2.10"));
    EXPECT_FALSE(f.fire(FaultKind::Refuse, "dmss.go"));
    EXPECT_TRUE(f.fire(FaultKind::Refuse, "dmss.go"));
}

TEST(SimFaults, RulesNamingARequestOrPersonalityCountOnlyThatAndLeaveThePortRulesAlone) {
    Faults f;
    ASSERT_EQ(f.add("drop-reply:diag.nv_write@2;drop-reply@3;no-return:download;at-late:AT+ZRVSN=1,5=900"), "");
    EXPECT_FALSE(f.fireNamed(FaultKind::DropReply, "diag.nv_write"));
    EXPECT_FALSE(f.fireNamed(FaultKind::DropReply, "diag.nv_read"));
    EXPECT_TRUE(f.fireNamed(FaultKind::DropReply, "diag.nv_write"));
    // The port-wide rule counts the port's replies only, not the named ones above.
    EXPECT_FALSE(f.fire(FaultKind::DropReply, "diag"));
    EXPECT_FALSE(f.fire(FaultKind::DropReply, "diag"));
    EXPECT_TRUE(f.fire(FaultKind::DropReply, "diag"));
    // A return into another personality, or a reset without one named, leaves it alone.
    EXPECT_FALSE(f.fire(FaultKind::NoReturn, ""));
    EXPECT_FALSE(f.fireNamed(FaultKind::NoReturn, "normal"));
    EXPECT_TRUE(f.fireNamed(FaultKind::NoReturn, "download"));
    // The value of a late AT answer follows the command's own '='.
    EXPECT_EQ(f.fire(FaultKind::AtLate, "AT+ZRVSN=1,5,\"FC46\""), 900);
}

TEST(SimFaults, ThrottleIsAStandingSettingThatDoesNotCount) {
    Faults f;
    ASSERT_EQ(f.add("throttle:download=1200000"), "");
    EXPECT_EQ(f.setting(FaultKind::Throttle, "download"), 1200000);
    EXPECT_EQ(f.setting(FaultKind::Throttle, "download"), 1200000);
    EXPECT_FALSE(f.setting(FaultKind::Throttle, "diag"));
}

TEST(SimFaults, BadSpecsAreRefusedWithAMessageAndAddNothing) {
    for (const char* bad : {"explode", "drop-reply@0", "drop-reply@x", "delay-reply", "throttle=0",
                            "nv-status:abc=5", "unplug-at:3", "unplug-at:0.1", "at-error", "drop-reply:usb",
                            "no-return:diag", "refuse", "delay-reply=-5", "at-late:AT+CGMR",
                            "unplug-on"}) {
        Faults f;
        const auto err = f.add(std::string("drop-reply;") + bad);
        EXPECT_FALSE(err.empty()) << bad;
        EXPECT_FALSE(f.fire(FaultKind::DropReply)) << "a bad spec must not add its good rules: " << bad;
    }
}

TEST(SimFaults, CorruptedCheckSequenceNeverMakesAFlagOrEscape) {
    for (int b = 0; b < 256; ++b) {
        if (b == 0x7E) continue;
        std::vector<uint8_t> frame{0x26, static_cast<uint8_t>(b), 0x7E};
        ASSERT_TRUE(CorruptFrameCheck(frame));
        EXPECT_NE(frame[1], b);
        EXPECT_NE(frame[1], 0x7E);
        EXPECT_NE(frame[1], 0x7D);
    }
    std::vector<uint8_t> notFramed{0x01, 0x02};
    EXPECT_FALSE(CorruptFrameCheck(notFramed));
}

}  // namespace
}  // namespace flintcast::sim
