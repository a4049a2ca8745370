#include <gtest/gtest.h>

#include "sim/at/at_modem.h"

namespace flintcast::sim {
namespace {

class AtModemTest : public ::testing::Test {
protected:
    Profile profile = DefaultProfile();
    ModemState state;
    Faults faults;
    AtModem modem{profile, state, &faults};

    void SetUp() override {
        state.identity = profile.identity;
        state.echo = true;
    }
    std::string Run(const std::string& in) { return modem.Feed(in).bytes; }
    // The value the tool takes from a positive reply: between the first ':' and the first "OK".
    static std::string ToolValue(const std::string& reply) {
        const auto ok = reply.find("OK");
        const auto colon = reply.find(':');
        if (ok == std::string::npos) return "<no OK>";
        if (colon == std::string::npos || colon > ok) return reply.substr(0, ok);
        return reply.substr(colon + 1, ok - colon - 1);
    }
};

TEST_F(AtModemTest, EchoesThenAnswersAndIdentityWritesReadBackBare) {
    EXPECT_EQ(Run("AT\r\n"), "AT\r\r\nOK\r\n\n");
    EXPECT_EQ(ToolValue(Run("AT+ZRVSN=0,5\r\n\r\n")), "FC46V0000001\r\n\r\n");
    EXPECT_EQ(Run("AT+ZRVSN=1,7,\"861111111111111\"\r\n").find("OK") != std::string::npos, true);
    EXPECT_EQ(state.identity["imei"], "861111111111111");
    EXPECT_EQ(ToolValue(Run("AT+ZRVSN=0,7\r\n")), "861111111111111\r\n\r\n");
    // Values may hold commas and colons.
    Run("AT+TESTINF2=\"ABC,UIT87:PASS\"\r\n");
    EXPECT_EQ(ToolValue(Run("AT+TESTINF2=?\r\n\r\n")), "ABC,UIT87:PASS\r\n\r\n");
    Run("AT+CUIT89=FAIL\r\n");
    EXPECT_EQ(ToolValue(Run("AT+CUIT89?\r\n")), "FAIL\r\n\r\n");
    EXPECT_EQ(ToolValue(Run("AT+GMI\r\n\r\n")), "QUELLMARK HOLDINGS LIMITED\r\n\r\n");
}

TEST_F(AtModemTest, VersionRepliesCarryTheMarkersTheProbeLooksFor) {
    const auto cgmr = Run("AT+CGMR\r\n\r\n");
    EXPECT_NE(cgmr.find("SWK0046V1.4.0\r\n\r\nOK"), std::string::npos) << cgmr;
    const auto ati = Run("ATI\r\n\r\n");
    const auto ver = ati.find("Ver.");
    const auto imei = ati.find("IMEI");
    ASSERT_NE(ver, std::string::npos);
    EXPECT_EQ(ati.substr(ver + 4, imei - ver - 4), "V1.4.0\r\n");
    EXPECT_NE(Run("AT+FLASHINFO\r\n\r\n").find("AT+FLASHINFO\r\r\nID:0XECA1"), std::string::npos);
    state.softwareVersion = "V1.5.0";
    EXPECT_NE(Run("ATI\r\n\r\n").find("Ver.V1.5.0\r\nIMEI"), std::string::npos);
}

TEST_F(AtModemTest, DiskModesAndTheirRefusals) {
    EXPECT_NE(Run("AT+DISK=?\r\n").find("7_"), std::string::npos);
    EXPECT_NE(Run("AT+DISK=7,\"YS\"\r\n").find("OK"), std::string::npos);
    EXPECT_TRUE(state.diagServiceOpen);
    EXPECT_NE(Run("AT+DISK=8,\"D2\"\r\n\r\n").find("OK"), std::string::npos);
    EXPECT_EQ(state.usbMode, "D2");
    EXPECT_NE(Run("AT+DISK=8,\"D9\"\r\n").find("ERROR"), std::string::npos);
    EXPECT_NE(Run("AT+DISK=3,\"CD\"\r\n").find("ERROR"), std::string::npos);
    profile.diskMode7 = false;
    EXPECT_EQ(Run("AT+DISK=?\r\n").find("7_"), std::string::npos);
    EXPECT_NE(Run("AT+DISK=7,\"NO\"\r\n").find("ERROR"), std::string::npos);
}

TEST_F(AtModemTest, MalformedCommandsAnswerErrorAndNoiseIsIgnored) {
    EXPECT_NE(Run("AT+ZRVSN=0,13\r\n").find("ERROR"), std::string::npos);  // no such item
    EXPECT_NE(Run("AT+ZRVSN=0\r\n").find("ERROR"), std::string::npos);
    EXPECT_NE(Run("AT+CFUN=9\r\n").find("ERROR"), std::string::npos);
    EXPECT_NE(Run("AT+NOSUCH\r\n").find("ERROR"), std::string::npos);
    EXPECT_EQ(Run("hello\r\n"), "hello\r\n");  // not a command: echo only
    std::string overlong(AtModem::kMaxLineBytes + 11, 'A');
    overlong.back() = '\r';
    EXPECT_NE(Run(overlong).find("ERROR"), std::string::npos);
    EXPECT_NE(Run("AT\r").find("OK"), std::string::npos);  // the overflow did not stick
    EXPECT_EQ(state.identity["sn"], "FC46V0000001");
}

TEST_F(AtModemTest, CommandsSplitAcrossReadsAndEchoOff) {
    EXPECT_EQ(Run("AT+CF"), "AT+CF");
    EXPECT_NE(Run("UN=5\r\n").find("OK"), std::string::npos);
    EXPECT_EQ(state.radio, 5);
    Run("ATE0\r");
    EXPECT_EQ(Run("AT+CFUN?\r\n"), "\r\n+CFUN: 5\r\n\r\nOK\r\n");
}

TEST_F(AtModemTest, AtFaultsAnswerErrorOrNothing) {
    ASSERT_EQ(faults.add("at-error:AT+ZRVSN=0,7@1;at-silence:AT+CGMR@*"), "");
    EXPECT_NE(Run("AT+ZRVSN=0,7\r\n").find("ERROR"), std::string::npos);
    EXPECT_NE(Run("AT+ZRVSN=0,7\r\n").find("OK"), std::string::npos);  // only the first
    EXPECT_EQ(Run("AT+CGMR\r\n"), "AT+CGMR\r\n");  // echo, then silence
}

TEST_F(AtModemTest, ResetCommandAsksForARestartAfterItsReply) {
    const auto out = modem.Feed("AT+ZRVRESET\r\n");
    EXPECT_TRUE(out.resetRequested);
    EXPECT_NE(out.bytes.find("OK"), std::string::npos);
}

}  // namespace
}  // namespace flintcast::sim
