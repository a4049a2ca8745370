// Appending a whole block to a frame must give exactly what appending it byte by byte gives:
// the same stuffed content, check sequence and overflow point.
#include <gtest/gtest.h>

#include "codec/hdlc.h"
#include "engine/frame_layer.h"
#include "tests/engine/loopback_port.h"

using namespace flintcast;
using namespace flintcast::engine;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Mixed(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        // Every fourth byte a flag or an escape, so stuffing is exercised throughout.
        out[i] = (i % 4 == 0) ? static_cast<uint8_t>((x >> 16) & 1 ? 0x7E : 0x7D) : static_cast<uint8_t>(x >> 16);
    }
    return out;
}

struct Built {
    Bytes content;
    bool overflowed;
    Bytes wire;
};

class FrameBulkAppendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports.serial.projectType = 46;
        ports.serial.OpenDiagPort();
        ASSERT_TRUE(ports.serial.diagOpen());
    }

    // Builds prefix + block, the block appended whole (`bulk`) or byte by byte, then sends it.
    Built build(const Bytes& prefix, const Bytes& block, bool bulk, bool raw) {
        FrameLayer& f = ports.frames;
        f.BeginFrame();
        for (uint8_t b : prefix) raw ? f.AppendRawByte(b) : f.AppendByte(b);
        if (bulk) {
            raw ? f.AppendRawBytes(block) : f.AppendBytes(block);
        } else {
            for (uint8_t b : block) raw ? f.AppendRawByte(b) : f.AppendByte(b);
        }
        Built out{Bytes(f.content().begin(), f.content().end()), f.overflowed(), {}};
        if (raw) {
            f.FinishFrameRaw();
            f.SendRaw();
        } else {
            f.FinishFrame();
            f.SendFramed();
        }
        out.wire = ports.drainDiag();
        return out;
    }

    void expectSame(const Bytes& prefix, const Bytes& block, bool raw) {
        const Built bulk = build(prefix, block, true, raw);
        const Built single = build(prefix, block, false, raw);
        EXPECT_EQ(bulk.content, single.content);
        EXPECT_EQ(bulk.overflowed, single.overflowed);
        EXPECT_EQ(bulk.wire, single.wire);
    }

    flintcast::testing::LoopbackPorts ports;
};

}  // namespace

TEST_F(FrameBulkAppendTest, BlockMatchesEncodedFrameAndBytewiseAppend) {
    const Bytes head = {0x07, 0x00, 0x04, 0x00, 0x00};
    const Bytes block = Mixed(1024, 3);
    const Built bulk = build(head, block, true, false);
    Bytes payload = head;
    payload.insert(payload.end(), block.begin(), block.end());
    EXPECT_FALSE(bulk.overflowed);
    EXPECT_EQ(bulk.wire, hdlc::EncodeFrame(payload, true));
    expectSame(head, block, false);
    expectSame({}, {}, false);
    expectSame({0x7D}, {0x7E}, false);
}

TEST_F(FrameBulkAppendTest, RawBlockMatchesBytewiseAppend) {
    const Bytes block = Mixed(2048, 9);
    const Built bulk = build({}, block, true, true);
    EXPECT_EQ(Bytes(bulk.wire.begin(), bulk.wire.begin() + 2048), block);  // no stuffing in the raw form
    expectSame({0x21}, block, true);
}

TEST_F(FrameBulkAppendTest, BlocksAtTheFrameLimitOverflowWhereBytewiseAppendDoes) {
    // Blocks that fit only unstuffed, that straddle the limit, and that end right at it.
    const size_t room = FrameLayer::kMaxContent;
    for (const size_t prefix : {room - 1024, room - 600, room - 2, room}) {
        SCOPED_TRACE(prefix);
        const Bytes before(prefix, 0x11);
        expectSame(before, Bytes(700, 0x7E), false);
        expectSame(before, Bytes(512, 0x11), false);
        expectSame(before, Mixed(1024, 5), false);
        expectSame(before, Mixed(1024, 5), true);
    }
    const Built full = build(Bytes(room - 2, 0x11), Bytes(2, 0x7E), true, false);
    EXPECT_TRUE(full.overflowed);
    EXPECT_EQ(full.wire, (Bytes{0x7E, 0x03, 0x00, 0x03, 0x33, 0x1B, 0x7E}));
}
