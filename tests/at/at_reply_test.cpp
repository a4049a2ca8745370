#include <gtest/gtest.h>

#include "engine/at_reply.h"
#include "engine/usb_personality.h"

using namespace flintcast::engine;

TEST(AtReply, VerdictTestsOkBeforeError) {
    EXPECT_EQ(ClassifyAtReply("\r\nOK\r\n"), AtVerdict::Positive);
    EXPECT_EQ(ClassifyAtReply("\r\nERROR\r\n"), AtVerdict::Negative);
    EXPECT_EQ(ClassifyAtReply("+CME ERROR: OK"), AtVerdict::Positive);
    EXPECT_EQ(ClassifyAtReply("AT+CGMR\r\r\n"), AtVerdict::None);
}

TEST(AtReply, ValueLiesBetweenFirstColonAndOk) {
    EXPECT_EQ(AtReplyValue("AT+ZRVSN=0,5\r: 123\r\n\r\nOK"), " 123\r\n\r\n");
    EXPECT_EQ(AtReplyValue("OK"), "");
    EXPECT_EQ(AtReplyValue("12345\r\nOK"), "12345\r\n");
    // A colon only after "OK" is not part of the value.
    EXPECT_EQ(AtReplyValue("7\r\nOK\r\n+X: 1"), "7\r\n");
}

TEST(AtReply, ReplyTextEndsAtFirstZeroByte) {
    const uint8_t bytes[] = {'O', 'K', 0, 'E', 'R'};
    EXPECT_EQ(ReplyText(bytes), "OK");
}

TEST(AtReply, PauseLines) {
    EXPECT_TRUE(IsPauseLine("AT%SLEEP=1500\r\n\r\n"));
    EXPECT_EQ(PauseMilliseconds("AT%SLEEP=1500\r\n\r\n"), 1500u);
    EXPECT_EQ(PauseMilliseconds("AT%SLEEP = 20 \r\n\r\n"), 20u);
    EXPECT_EQ(PauseMilliseconds("AT%SLEEP\r\n\r\n"), std::nullopt);
    EXPECT_EQ(PauseMilliseconds("AT%SLEEP=\r\n\r\n"), std::nullopt);
    EXPECT_EQ(PauseMilliseconds("AT%SLEEP=1.5s\r\n\r\n"), std::nullopt);
    EXPECT_EQ(PauseMilliseconds("AT%SLEEP=-3\r\n\r\n"), std::nullopt);
    EXPECT_EQ(PauseMilliseconds("AT%SLEEP=99999999999\r\n\r\n"), std::nullopt);
}

TEST(UsbPersonality, TablesPerProject) {
    auto commands = [](PersonalityTable t, int p) {
        std::vector<std::string> out;
        for (const auto& c : PersonalityCommands(t, p)) out.push_back(std::string(c.command));
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(commands(PersonalityTable::Disk, 12),
              (V{"AT+DISK=0,\"HD\"\r\n\r\n", "AT+DISK=1,\"RO\"\r\n\r\n", "AT+DISK=8,\"D3\"\r\n\r\n"}));
    EXPECT_EQ(commands(PersonalityTable::CdRom, 28),
              (V{"AT+DISK=0,\"CD\"\r\n\r\n", "AT+DISK=1,\"RO\"\r\n\r\n", "AT+DISK=8,\"D3\"\r\n\r\n"}));
    EXPECT_EQ(commands(PersonalityTable::CdRom, 23), (V{"AT+DISK=0,\"CD\"\r\n\r\n", "AT+DISK=8,\"D2\"\r\n\r\n"}));
    EXPECT_EQ(commands(PersonalityTable::Disk, 39), (V{"AT+DISK=0,\"CD\"\r\n\r\n", "AT+DISK=8,\"D3\"\r\n\r\n"}));
    EXPECT_EQ(commands(PersonalityTable::CdRom, 34), (V{"AT+DISK=0,\"HD\"\r\n\r\n", "AT+DISK=8,\"D3\"\r\n\r\n"}));
    EXPECT_EQ(PersonalityCommands(PersonalityTable::CdRom, 34)[1].failureText, "Fail to switch disk 2");
    EXPECT_EQ(commands(PersonalityTable::Disk, 41), (V{"AT+CFGDATA=2,1,1\r\n\r\n"}));
    EXPECT_TRUE(PersonalityCommands(PersonalityTable::Disk, 46).empty());
    EXPECT_TRUE(PersonalityCommands(PersonalityTable::Disk, -1).empty());
    EXPECT_FALSE(IsPersonalityGroupA(19));
    EXPECT_TRUE(IsPersonalityGroupA(29));
}
