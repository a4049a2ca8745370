#include <gtest/gtest.h>

#include <algorithm>

#include "codec/hdlc.h"
#include "devkit/wait_until.h"
#include "devkit/worker_rig.h"
#include "engine/at_channel.h"
#include "platform/link_tally.h"
#include "engine/diag_exchange.h"
#include "engine/diag_mode.h"
#include "engine/diag_requests.h"
#include "tests/at/scripted_port.h"
#include "tests/support/scripted_exchange.h"

using namespace flintcast;
using flintcast::testing::ScriptedExchange;
using flintcast::testing::ScriptedPort;
using flintcast::testing::WorkerRig;

namespace {

// A modem that echoes nothing and answers "OK", or "ERROR" for the commands in `rejected`.
ScriptedPort::Responder Modem(std::vector<std::string> rejected = {}, std::string value = "") {
    return [rejected, value](const std::string& in) -> std::string {
        for (const auto& r : rejected) {
            if (in.find(r) != std::string::npos) return "\r\nERROR\r\n";
        }
        if (in.find("AT+DISK=?") != std::string::npos) return "\r\n+DISK: 0_,7_,8_\r\n\r\nOK\r\n";
        return value + "\r\nOK\r\n";
    };
}

struct AtFixture : ::testing::Test {
    WorkerRig rig{46, 0.05};
    std::unique_ptr<ScriptedPort> modem;
    std::unique_ptr<engine::AtChannel> at;

    void Start(ScriptedPort::Responder responder, int32_t project = 46) {
        rig.ctx.projectType = project;
        modem = std::make_unique<ScriptedPort>(rig.root.path(), "ttyUSB2", std::move(responder));
        rig.serial.modemPortName = "ttyUSB2";
        ASSERT_TRUE(rig.serial.OpenModemPort());
        at = std::make_unique<engine::AtChannel>(rig.ctx, rig.directory, engine::AtSettings{});
    }
    std::vector<std::string> Sent() { return modem->received(); }
};

}  // namespace

TEST_F(AtFixture, SendAtReturnsValueAndRejects) {
    Start(Modem({"AT+BAD"}, "AT+ZRVSN=0,5\r: 123"));
    std::string value;
    EXPECT_TRUE(at->SendAT("AT+ZRVSN=0,5\r\n\r\n", value));
    EXPECT_EQ(value, " 123\r\n");
    EXPECT_TRUE(rig.posted("Read......"));
    EXPECT_FALSE(at->SendAT("AT+BAD\r\n\r\n"));
    EXPECT_TRUE(rig.errors().empty()) << "a rejected command is a plain false";
}

TEST_F(AtFixture, SilentDeviceTimesOutWithoutMessage) {
    Start([](const std::string&) { return std::string(); });
    const uint32_t start = rig.clock.tickMs();
    EXPECT_FALSE(at->SendAT("AT\r\n\r\n"));
    const uint32_t took = rig.clock.tickMs() - start;
    EXPECT_GE(took, 7000u);
    EXPECT_LE(took, 10000u);
    EXPECT_TRUE(rig.errors().empty());
    EXPECT_FALSE(at->SendATValue("AT+CLLEN=", 7, "1", "Fail to write CLLEN"));
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Fail to write CLLEN"), std::string::npos);
}

TEST(AtChannelSplit, ReplySplitAcrossReadsIsJudgedWhole) {
    WorkerRig rig(46, 0.05);
    ScriptedPort modem(rig.root.path(), "ttyUSB2", [](const std::string& in) -> std::string {
        return in.find("AT+GMI") != std::string::npos ? "+GMI: MAKER" : "";
    });
    rig.serial.modemPortName = "ttyUSB2";
    ASSERT_TRUE(rig.serial.OpenModemPort());
    engine::AtChannel at(rig.ctx, rig.directory, engine::AtSettings{});
    // The rest of the reply follows once the tool has read the first part.
    const uint64_t readBefore = platform::ReadLinkTally().bytesRead;
    std::thread late([&] {
        flintcast::testing::WaitUntil(
            [&] { return platform::ReadLinkTally().bytesRead >= readBefore + std::string("+GMI: MAKER").size(); });
        modem.Send("\r\nOK\r\n");
    });
    std::string value;
    EXPECT_TRUE(at.SendAT("AT+GMI\r\n\r\n", value));
    late.join();
    EXPECT_EQ(value, " MAKER\r\n");
}

TEST_F(AtFixture, SendAtValueSelectors) {
    Start(Modem({"AT+CLLEN", "AT+ZRREQ", "AT+GMI", "AT+ZRVSN=1,5"}));
    EXPECT_TRUE(at->SendATValue("AT+CLLEN=", 7, "1", "x"));
    EXPECT_TRUE(rig.posted("Could not support command:CLLEN"));
    EXPECT_TRUE(at->SendATValue("AT+ZRREQ=", 8, "1", "x"));
    EXPECT_TRUE(at->SendATValue("AT+GMI=", 9, "M", "x"));
    EXPECT_TRUE(rig.posted("Could not support command:GMI"));
    EXPECT_FALSE(at->SendATValue("AT+ZRVSN=1,5,", 15, "v", "quiet"));
    EXPECT_TRUE(rig.errors().empty());
    EXPECT_FALSE(at->SendATValue("AT+ZRVSN=1,5,", 5, "SN1", "Fail to write SN"));
    EXPECT_EQ(rig.errors().size(), 1u);
    // The command is prefix, value, CR LF; the SIM lock unlocks outside mode 1.
    EXPECT_TRUE(at->SendATValue("AT+NWLSET=", 4, "", "Fail to write SIMLOCK to phone"));
    const auto sent = Sent();
    EXPECT_EQ(sent[sent.size() - 2], "AT+ZRVSN=1,5,SN1\r\n");
    EXPECT_EQ(sent.back(), "AT+NWLSET=0\r\n");
}

TEST_F(AtFixture, StartListPassesOverRejectedDiagAndStopsAtThirdLine) {
    Start(Modem({"AT+DIAG=1", "AT+THIRD"}));
    at->RunStartATList({"AT+DIAG=1\r\n\r\n", "AT+CFUN=5\r\n\r\n", "AT+THIRD\r\n\r\n", "AT+NEVER\r\n\r\n"});
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Fail to send command(start) :3,"), std::string::npos);
    for (const auto& s : Sent()) EXPECT_EQ(s.find("AT+NEVER"), std::string::npos);
}

TEST_F(AtFixture, StartListSkipsDiskSwitchAfterDiscoverySentIt) {
    Start(Modem());
    rig.directory.modeSwitchSent = true;
    at->RunStartATList({"AT+DISK=8,\"D1\"\r\n\r\n", "AT%SLEEP=oops\r\n\r\n", "AT+CFUN=5\r\n\r\n"});
    EXPECT_TRUE(rig.errors().empty());
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], "AT+CFUN=5\r\n\r\n");
}

TEST_F(AtFixture, EndListToleratesItsLinesAndReportsTheFailingLine) {
    Start(Modem({"AT+CDROM=1", "AT+ZRVRESET", "AT+DIAG=1"}));
    const uint32_t start = rig.clock.tickMs();
    at->RunEndATList({"AT+CDROM=1\r\n\r\n", "AT%SLEEP=1500\r\n\r\n", "AT+ZRVRESET\r\n\r\n", "AT+DIAG=1\r\n\r\n"});
    EXPECT_GE(rig.clock.tickMs() - start, 1500u);
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Fail to send command(end) :4[AT+DIAG=1\r\n\r\n]"), std::string::npos);
}

TEST_F(AtFixture, DiagServiceOpenedWhenModeSevenOffered) {
    Start(Modem());
    rig.serial.modem().close();
    EXPECT_TRUE(at->OpenDiagService());
    EXPECT_TRUE(rig.posted("Open diagnostic service successfully"));
    EXPECT_EQ(Sent().back(), "AT+DISK=7,\"YS\"\r\n");
    EXPECT_TRUE(at->CloseDiagService());
    EXPECT_TRUE(rig.posted("Close diagnostic service successfully"));
}

TEST_F(AtFixture, DiagServiceWithoutModemPortTouchesNoPort) {
    Start(Modem());
    rig.serial.modemPortName.clear();
    EXPECT_TRUE(at->OpenDiagService());
    EXPECT_TRUE(rig.posted("Diagnostic service in download mode was opened"));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(AtFixture, DiagServiceCloseOnSilentDeviceFails) {
    Start([](const std::string&) { return std::string(); });
    EXPECT_FALSE(at->CloseDiagService());
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Fail to read disk info3"), std::string::npos);
}

TEST_F(AtFixture, PersonalityGroupAWritesMakerFirstAndClosesService) {
    Start(Modem({"AT+DISK=1"}), 29);
    at->SwitchUsbPersonality(true, false);
    std::vector<std::string> sent = Sent();
    ASSERT_GE(sent.size(), 5u);
    EXPECT_EQ(sent[0], "AT+GMI=QUELLMARK HOLDINGS LIMITED\r\n\r\n");
    EXPECT_EQ(sent[1], "AT+DISK=0,\"HD\"\r\n\r\n");
    EXPECT_EQ(sent[2], "AT+DISK=1,\"RO\"\r\n\r\n");
    EXPECT_EQ(sent[3], "AT+DISK=8,\"D3\"\r\n\r\n") << "a failed command does not stop the row";
    EXPECT_EQ(sent[4], "AT+DISK=?\r\n");
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Fail to switch disk 1"), std::string::npos);
}

TEST_F(AtFixture, PersonalityOfProject35KeepsServiceOpen) {
    Start(Modem(), 35);
    at->SwitchUsbPersonality(false, true);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], "AT+DISK=8,\"D3\"\r\n\r\n");
}

TEST_F(AtFixture, NoPersonalitySwitchAfterAnError) {
    Start(Modem(), 13);
    rig.reporter.ShowError("earlier");
    at->SwitchUsbPersonality(true, true);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(AtFixture, ModeControlRequestsAndVersionLabel) {
    // The diagnostic port echoes each mode request as a device does.
    ScriptedPort diag(rig.root.path(), "ttyUSB0", [](const std::string& in) { return in; });
    Start(Modem());
    rig.serial.diagPortName = "ttyUSB0";
    rig.serial.OpenDiagPort();
    EXPECT_EQ(engine::SetDiagOffline(rig.ctx), 0);
    EXPECT_EQ(engine::SetDiagReset(rig.ctx), 0);
    EXPECT_TRUE(engine::SwitchDiagMode(rig.ctx));
    EXPECT_TRUE(rig.posted("switch successfully......"));
    const auto frames = diag.received();
    ASSERT_GE(frames.size(), 1u);
    EXPECT_EQ(static_cast<uint8_t>(frames[0][0]), 0x29);
    at->ShowDeviceVersion();
    EXPECT_EQ(rig.directory.versionLabel, "Version:SWK0046V1.4.0");
}

// The DIAG mode requests as the device sees them: each frame unstuffed-exact, no
// leading flag, closed by its flag; a device that echoes each request accepts it.
TEST_F(AtFixture, ModeRequestsAreSentByteForByte) {
    const auto frame = [](std::vector<uint8_t> payload) {
        const auto bytes = hdlc::EncodeFrame(payload, false);
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string offline = frame({0x29, 0x01, 0x00});
    const std::string reset = frame({0x29, 0x02, 0x00});
    const std::string modeSwitch = frame({0x4B, 0x04, 0x0E, 0x00});
    ScriptedExchange diag(rig.root.path(), "ttyUSB0", {{offline, offline}, {reset, reset}, {modeSwitch, modeSwitch}});
    Start(Modem());
    rig.serial.diagPortName = "ttyUSB0";
    rig.serial.OpenDiagPort();
    EXPECT_EQ(engine::SetDiagOffline(rig.ctx), 0);
    EXPECT_EQ(engine::SetDiagReset(rig.ctx), 0);
    EXPECT_TRUE(engine::SwitchDiagMode(rig.ctx));
    EXPECT_TRUE(diag.done()) << diag.mismatch() << " after " << diag.stepsDone() << " steps";
}

TEST_F(AtFixture, ModeControlGivesUpAfterTenAttempts) {
    ScriptedPort diag(rig.root.path(), "ttyUSB0", [](const std::string&) { return std::string(); });
    Start(Modem());
    rig.serial.diagPortName = "ttyUSB0";
    rig.serial.OpenDiagPort();
    EXPECT_EQ(engine::SetDiagReset(rig.ctx), -1);
    std::string wire;
    flintcast::testing::WaitUntil([&] {  // the last request may still be on its way
        wire.clear();
        for (const auto& chunk : diag.received()) wire += chunk;
        return std::count(wire.begin(), wire.end(), '\x7E') >= 10;
    });
    EXPECT_EQ(std::count(wire.begin(), wire.end(), '\x7E'), 10) << "ten requests, each closed by its flag";
    EXPECT_FALSE(engine::SwitchDiagMode(rig.ctx));
    EXPECT_TRUE(rig.posted("Fail to switch mode"));
}

// One exchange: the request goes out framed, and only a whole answer with a good check
// sequence comes back; a damaged one reads as no answer, so the caller asks again.
TEST_F(AtFixture, DiagExchangeTakesOnlyWholeAnswers) {
    const auto frame = [](std::vector<uint8_t> payload) {
        const auto bytes = hdlc::EncodeFrame(payload, false);
        return std::string(bytes.begin(), bytes.end());
    };
    const std::vector<uint8_t> buildId{0x7C, 0x02, 0, 0, 1, 0, 0, 0, 0x2A, 0, 0, 0, 0};
    std::string damaged = frame(buildId);
    damaged[damaged.size() - 2] ^= 0x01;
    const std::string request = frame({0x7C});
    ScriptedExchange diag(rig.root.path(), "ttyUSB0", {{request, damaged}, {request, frame(buildId)}});
    Start(Modem());
    rig.serial.diagPortName = "ttyUSB0";
    rig.serial.OpenDiagPort();
    EXPECT_FALSE(engine::DiagExchange(rig.ctx, engine::diag::ExtendedBuildIdRequest()).received());
    const auto answer = engine::DiagExchange(rig.ctx, engine::diag::ExtendedBuildIdRequest());
    const auto parsed = engine::diag::ParseExtendedBuildId(answer.payload());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->platform(), 0x2A);
    EXPECT_TRUE(diag.done()) << diag.mismatch();
}
