#include "engine/frame_layer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "codec/hdlc.h"
#include "devkit/wait_until.h"
#include "platform/link_tally.h"
#include "tests/engine/loopback_port.h"

using namespace flintcast;
using namespace flintcast::engine;
using Bytes = std::vector<uint8_t>;

namespace {

class FrameLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports.serial.projectType = 46;
        ports.serial.OpenDiagPort();
        ASSERT_TRUE(ports.serial.diagOpen());
        ports.lines.clear();
    }
    void build(const Bytes& payload) {
        ports.frames.BeginFrame();
        ports.frames.AppendBytes(payload);
        ports.frames.FinishFrame();
    }
    flintcast::testing::LoopbackPorts ports;
};

Bytes WithFcs(Bytes payload) {
    const uint16_t fcs = hdlc::CheckSequence(payload);
    payload.push_back(static_cast<uint8_t>(fcs & 0xFF));
    payload.push_back(static_cast<uint8_t>(fcs >> 8));
    return payload;
}

}  // namespace

TEST_F(FrameLayerTest, SendFramedPutsKnownFrameOnTheWire) {
    build({0x06});
    ports.frames.SendFramed();
    EXPECT_EQ(ports.drainDiag(), (Bytes{0x7E, 0x06, 0x4E, 0x95, 0x7E}));
    EXPECT_EQ(ports.frames.lastWriteCount(), 5);

    build({0x06});
    ports.frames.SendTerminated();
    EXPECT_EQ(ports.drainDiag(), (Bytes{0x06, 0x4E, 0x95, 0x7E}));
    EXPECT_EQ(ports.frames.lastWriteCount(), 4);
}

TEST_F(FrameLayerTest, StuffsFlagAndEscapeInPayloadAndCheckSequence) {
    build({0x7E, 0x01, 0x7D, 0x5E});
    const Bytes content(ports.frames.content().begin(), ports.frames.content().end());
    ASSERT_GE(content.size(), 6u);
    EXPECT_EQ(Bytes(content.begin(), content.begin() + 6), (Bytes{0x7D, 0x5E, 0x01, 0x7D, 0x5D, 0x5E}));
    EXPECT_EQ(content, [] {
        Bytes e = hdlc::EncodeFrame(Bytes{0x7E, 0x01, 0x7D, 0x5E}, false);
        e.pop_back();
        return e;
    }());

    // Search a two-byte payload whose check sequence holds 0x7E or 0x7D and
    // check that it is stuffed like payload.
    bool found = false;
    for (int v = 0; v < 0x10000 && !found; ++v) {
        const Bytes p{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)};
        if (hdlc::NeedsEscape(p[0]) || hdlc::NeedsEscape(p[1])) continue;
        const uint16_t fcs = hdlc::CheckSequence(p);
        if (!hdlc::NeedsEscape(static_cast<uint8_t>(fcs & 0xFF)) && !hdlc::NeedsEscape(static_cast<uint8_t>(fcs >> 8)))
            continue;
        found = true;
        build(p);
        ports.frames.SendFramed();
        const Bytes wire = ports.drainDiag();
        EXPECT_EQ(wire, hdlc::EncodeFrame(p, true));
        EXPECT_EQ(wire.size(), 7u);  // 7E, two payload bytes, one plain and one stuffed FCS byte, 7E
    }
    EXPECT_TRUE(found);
}

TEST_F(FrameLayerTest, OverlongFrameBecomesTheFixedSixByteFrame) {
    ports.frames.BeginFrame();
    for (int i = 0; i < 40000; ++i) ports.frames.AppendByte(0x11);
    EXPECT_TRUE(ports.frames.overflowed());
    EXPECT_EQ(ports.frames.length(), FrameLayer::kMaxContent);
    ports.frames.FinishFrame();
    ports.frames.SendTerminated();
    EXPECT_EQ(ports.drainDiag(), (Bytes{0x03, 0x00, 0x03, 0x33, 0x1B, 0x7E}));
    // The fixed frame is itself well-formed: 03 00 03 with its check sequence.
    EXPECT_EQ(hdlc::CheckSequence(Bytes{0x03, 0x00, 0x03}), 0x1B33);

    // A stuffed pair is refused one byte earlier than a plain byte.
    ports.frames.BeginFrame();
    for (size_t i = 0; i < FrameLayer::kMaxContent - 1; ++i) ports.frames.AppendByte(0x11);
    ports.frames.AppendByte(0x7E);
    EXPECT_TRUE(ports.frames.overflowed());
    EXPECT_EQ(ports.frames.length(), FrameLayer::kMaxContent - 1);

    ports.frames.BeginFrame();
    EXPECT_FALSE(ports.frames.overflowed());
    for (int i = 0; i < 40000; ++i) ports.frames.AppendRawByte(0x22);
    ports.frames.FinishFrameRaw();
    EXPECT_TRUE(ports.frames.SendRaw());
    EXPECT_EQ(ports.drainDiag(), (Bytes{0x03, 0x00, 0x03, 0x33, 0x1B, 0x7E}));
}

TEST_F(FrameLayerTest, RawFrameCarriesUnstuffedCheckSequenceWithoutFlag) {
    ports.frames.BeginFrame();
    for (uint8_t b : {0x21, 0x00, 0x00, 0x00, 0x00}) ports.frames.AppendRawByte(b);
    ports.frames.FinishFrameRaw();
    EXPECT_TRUE(ports.frames.SendRaw());
    const Bytes want = WithFcs({0x21, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(ports.drainDiag(), want);
    EXPECT_EQ(ports.frames.lastWriteCount(), 7);
}

TEST_F(FrameLayerTest, FramedSendLargerThanItsStagingAreaIsRefused) {
    ports.frames.BeginFrame();
    for (int i = 0; i < 2100; ++i) ports.frames.AppendByte(0x7E);  // 4,200 stuffed bytes
    ports.frames.FinishFrame();
    ports.frames.SendFramed();
    EXPECT_TRUE(ports.drainDiag().empty());
    EXPECT_EQ(ports.frames.lastWriteCount(), 0);
    ASSERT_FALSE(ports.lines.empty());
    EXPECT_NE(ports.lines.back().text.find("too long"), std::string::npos);
}

TEST_F(FrameLayerTest, ReadersClassifyReplies) {
    ports.sendDiag({0x7E, 0x02, 0x6A, 0xD3, 0x7E});
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyAck);

    ports.sendDiag(hdlc::EncodeFrame(Bytes{0x03, 0x00, 0x05}, true));
    EXPECT_EQ(ports.frames.ReadReply(), 5);

    ports.sendDiag({0x7E, 0x7E, 0x7E, 0x02, 0x6A, 0xD3, 0x7E});  // repeated flags are skipped
    EXPECT_EQ(ports.frames.ReadReply(), kReplyAck);

    ports.sendDiag(hdlc::EncodeFrame(Bytes{0x12, 0x7E, 0x7D, 0x34}, true));
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyOther);
    EXPECT_EQ(ports.frames.replyLength(), 6u);
    EXPECT_EQ(Bytes(ports.frames.replyBuffer().begin(), ports.frames.replyBuffer().begin() + 4),
              (Bytes{0x12, 0x7E, 0x7D, 0x34}));

    ports.sendDiag({0x7E, 0x02, 0x6A, 0xD4, 0x7E});
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyBadCrc);
    ports.sendDiag({0x7E, 0x02, 0x7E});
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyTooShort);
    ports.sendDiag({0x7E, 0x02, 0x6A, 0x7E});
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyTooShort);

    // Garbage before the flag is discarded by the flag-led readers.
    ports.sendDiag({0x55, 0xAA, 0x02, 0x7E, 0x02, 0x6A, 0xD3, 0x7E});
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyAck);
}

TEST_F(FrameLayerTest, OverlongReplyStopsAtTheBufferEnd) {
    ports.clock.setScale(1.0);  // thousands of one-byte reads must not race the time limit
    Bytes big(5000, 0x41);
    ports.sendDiagInBackground(hdlc::EncodeFrame(big, true));
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyTooLong);
    EXPECT_EQ(ports.frames.replyLength(), FrameLayer::kReplyBufferBytes);
    ports.joinWriter();
    ports.serial.diag().purge();

    ports.sendDiagInBackground(hdlc::EncodeFrame(big, true));
    EXPECT_EQ(ports.frames.ReadDiagReply(), kReplyTooLong);
    ports.joinWriter();
    ports.serial.diag().purge();

    // Exactly 4,096 unstuffed bytes (payload plus check sequence) still fit.
    ports.sendDiagInBackground(hdlc::EncodeFrame(Bytes(4094, 0x7D), false));
    EXPECT_EQ(ports.frames.ReadDiagReply(), 4096u);
}

TEST_F(FrameLayerTest, DiagReaderAcceptsReplyWithoutLeadingFlag) {
    const Bytes payload{0x4B, 0x13, 0x00, 0x00, 0x7E};
    ports.sendDiag(hdlc::EncodeFrame(payload, false));
    EXPECT_EQ(ports.frames.ReadDiagReply(), payload.size() + 2);
    EXPECT_EQ(ports.frames.replyBuffer()[4], 0x7E);

    ports.sendDiag(hdlc::EncodeFrame(payload, true));
    EXPECT_EQ(ports.frames.ReadDiagReply(), payload.size() + 2);
}

TEST_F(FrameLayerTest, TimedReadersEndAtTheirLimitOnTheScaledClock) {
    // Scale 0.01: the 5,000 ms limit passes in about 50 real ms.
    const auto t0 = std::chrono::steady_clock::now();
    const uint32_t tick0 = ports.clock.tickMs();
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyTimedOut);
    EXPECT_GE(ports.clock.tickMs() - tick0, kReplyLimitMs);
    EXPECT_EQ(ports.frames.ReadDiagReply(), kDiagReplyTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));

    // A frame that starts but never closes also times out, and a byte after
    // an escape that never comes is not taken from the read filler.
    ports.sendDiag({0x7E, 0x02, 0x7D});
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyTimedOut);
    EXPECT_EQ(ports.frames.replyLength(), 1u);
}

TEST_F(FrameLayerTest, ReplyArrivingLateButWithinFiveSecondsIsRead) {
    ports.clock.setScale(0.2);
    const uint32_t tick0 = ports.clock.tickMs();
    std::thread device([&] {
        // The device answers once the reader's clock is past 2,500 ms, half way to its limit.
        flintcast::testing::WaitUntil([&] { return ports.clock.tickMs() - tick0 >= 2500; });
        ports.sendDiag({0x7E, 0x02, 0x6A, 0xD3, 0x7E});
    });
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyAck);
    device.join();
}

TEST_F(FrameLayerTest, UntimedReaderEndsWhenTheErrorIsLatched) {
    ports.clock.setScale(0.1);
    const int64_t readNs = platform::ReadLinkTally().readNs;
    std::thread controller([&] {
        // The stop comes while the reader waits: once its first read has come back empty.
        flintcast::testing::WaitUntil([&] { return platform::ReadLinkTally().readNs > readNs; });
        ports.reporter.RequestStop();
    });
    EXPECT_EQ(ports.frames.ReadReply(), kReplyLatched);
    controller.join();
}

TEST_F(FrameLayerTest, LatchedErrorStillLetsTimedReaderRunToItsLimit) {
    ports.reporter.RequestStop();
    const uint32_t tick0 = ports.clock.tickMs();
    EXPECT_EQ(ports.frames.ReadReplyTimed(), kReplyTimedOut);
    EXPECT_GE(ports.clock.tickMs() - tick0, kReplyLimitMs);
}
