// The download-mode bootloader: byte-exact acknowledgements, the parameter answer, RAM
// writes, and GO that starts only a programmer made for this device.
#include <cstring>

#include <gtest/gtest.h>

#include "sim/protocols/diag_port_engine.h"
#include "tests/sim_protocols/sim_driver.h"

namespace flintcast::sim::testing {
namespace {

constexpr uint32_t kLoadAddress = 0x01000000;

Bytes Programmer(uint32_t project, size_t bodyBytes = 3000) {
    Bytes image(32 + bodyBytes);
    std::memcpy(image.data(), "FCPROG01", 8);
    const Bytes length = Le32(static_cast<uint32_t>(image.size()));
    std::copy(length.begin(), length.end(), image.begin() + 8);
    const Bytes proj = Le32(project);
    std::copy(proj.begin(), proj.end(), image.begin() + 12);
    for (size_t i = 32; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    const uint16_t fcs = hdlc::CheckSequence(std::span(image).subspan(32));
    image[16] = static_cast<uint8_t>(fcs);
    image[17] = static_cast<uint8_t>(fcs >> 8);
    return image;
}

Bytes WriteRequest(uint32_t address, const Bytes& data) {
    Bytes req{0x0F, static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
              static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
              static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
    return Concat(req, data);
}

Bytes Go(uint32_t address) {
    return {0x05, static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
}

const Bytes kAckWire = {0x7E, 0x02, 0x6A, 0xD3, 0x7E};

class DmssTest : public ::testing::Test {
protected:
    DmssTest() { model.settings.projectType = 46; }

    // Loads the programmer in blocks of 1,017 bytes as the tool does; true when all were acknowledged.
    bool Load(const Bytes& image) {
        for (size_t at = 0; at < image.size(); at += 1017) {
            const Bytes block(image.begin() + at, image.begin() + std::min(image.size(), at + 1017));
            const EngineOutput out = engine.Feed(Frame(WriteRequest(kLoadAddress + static_cast<uint32_t>(at), block), true));
            if (out.replies.size() != 1 || out.replies[0].bytes != kAckWire) return false;
        }
        return true;
    }
    std::vector<DeviceEvent> GoEvents(uint32_t address) {
        const EngineOutput out = engine.Feed(Frame(Go(address), true));
        EXPECT_EQ(out.replies.size(), 1u);
        if (!out.replies.empty()) {
            EXPECT_EQ(out.replies[0].bytes, kAckWire);
        }
        return out.events;
    }

    DeviceModel model;
    DiagPortEngine engine{model, Personality::Download};
};

TEST_F(DmssTest, NopIsAcknowledgedByteExact) {
    const EngineOutput out = engine.Feed(Bytes{0x7E, 0x06, 0x4E, 0x95, 0x7E});
    ASSERT_EQ(out.replies.size(), 1u);
    EXPECT_EQ(out.replies[0].bytes, kAckWire);
}

TEST_F(DmssTest, ParameterAnswerIsElevenBytesWithoutLeadingFlag) {
    for (uint16_t size : {uint16_t{0x1000}, uint16_t{0x4000}}) {
        model.settings.dmssMaxWriteSize = size;
        const EngineOutput out = engine.Feed(Frame({0x07}, true));
        ASSERT_EQ(out.replies.size(), 1u);
        const Bytes& wire = out.replies[0].bytes;
        ASSERT_EQ(wire.size(), 11u);
        EXPECT_EQ(wire[0], 0x08);
        EXPECT_EQ(wire[3], size >> 8);
        EXPECT_EQ(wire[4], 0x00);
        EXPECT_EQ(wire[10], 0x7E);
    }
}

TEST_F(DmssTest, ValidProgrammerStartsTheProgrammer) {
    const Bytes image = Programmer(46);
    ASSERT_TRUE(Load(image));
    EXPECT_EQ(*model.ram.Read(kLoadAddress, image.size()), image);
    EXPECT_EQ(GoEvents(kLoadAddress), std::vector<DeviceEvent>{DeviceEvent::ProgrammerRunning});
}

TEST_F(DmssTest, AnythingElseAtTheGoAddressCrashesTheDevice) {
    EXPECT_EQ(GoEvents(kLoadAddress), std::vector<DeviceEvent>{DeviceEvent::Crash});  // nothing loaded

    ASSERT_TRUE(Load(Programmer(45)));  // built for another project
    EXPECT_EQ(GoEvents(kLoadAddress), std::vector<DeviceEvent>{DeviceEvent::Crash});

    Bytes corrupt = Programmer(46);
    corrupt[100] ^= 0xFF;
    ASSERT_TRUE(Load(corrupt));
    EXPECT_EQ(GoEvents(kLoadAddress), std::vector<DeviceEvent>{DeviceEvent::Crash});

    model.ram.Clear();
    const Bytes whole = Programmer(46);
    ASSERT_TRUE(Load(Bytes(whole.begin(), whole.begin() + 2034)));  // cut short
    EXPECT_EQ(GoEvents(kLoadAddress), std::vector<DeviceEvent>{DeviceEvent::Crash});
    EXPECT_EQ(GoEvents(kLoadAddress + 1), std::vector<DeviceEvent>{DeviceEvent::Crash});
}

TEST_F(DmssTest, BadRequestsAreNakedWithTheirReasonCode) {
    auto nakReason = [&](const Bytes& wire) {
        const auto frames = Payloads(engine.Feed(wire));
        return frames.size() == 1 && frames[0].size() == 3 && frames[0][0] == 0x03 ? frames[0][2] : -1;
    };
    Bytes corrupt = Frame({0x06}, true);
    corrupt[1] = 0x07;
    EXPECT_EQ(nakReason(corrupt), 0x01);
    const EngineOutput fcsNak = engine.Feed(corrupt);
    EXPECT_EQ(fcsNak.replies[0].bytes, (Bytes{0x7E, 0x03, 0x00, 0x01, 0x21, 0x38, 0x7E}));

    Bytes mismatch = WriteRequest(kLoadAddress, Bytes(10, 1));
    mismatch.pop_back();
    EXPECT_EQ(nakReason(Frame(mismatch, true)), 0x03);
    model.settings.dmssMaxWriteSize = 0x1000;
    DiagPortEngine small(model, Personality::Download);
    const auto tooLarge = Payloads(small.Feed(Frame(WriteRequest(0, Bytes(0x1001, 1)), true)));
    ASSERT_EQ(tooLarge.size(), 1u);
    EXPECT_EQ(tooLarge[0], (Bytes{0x03, 0x00, 0x05}));
    EXPECT_EQ(nakReason(Frame(WriteRequest(0xFFFFFFF0, Bytes(32, 1)), true)), 0x02);  // wraps past 4 GiB
    EXPECT_EQ(nakReason(Frame({0x55}, true)), 0x06);
    EXPECT_EQ(nakReason(Frame({0x0F, 0x00}, true)), 0x04);
    EXPECT_TRUE(model.ram.empty());
}

TEST_F(DmssTest, RepeatedSwitchRequestIsRefusedAsAnUnknownCommand) {
    const EngineOutput out = engine.Feed(Frame({0x3A}));
    ASSERT_EQ(Payloads(out).size(), 1u);
    EXPECT_EQ(Payloads(out)[0], (Bytes{0x03, 0x00, 0x06}));
    EXPECT_TRUE(out.events.empty());
}

}  // namespace
}  // namespace flintcast::sim::testing
