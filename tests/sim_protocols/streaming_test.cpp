// The programmer's streaming download: session order, partition table, image writes with
// the address echo, what closing an image does to the device, and the fast transfer.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "sim/model/sha256.h"
#include "sim/protocols/diag_port_engine.h"
#include "devkit/temp_dir.h"
#include "tests/sim_protocols/sim_driver.h"
#include "devkit/files.h"

using flintcast::testing::ReadBytes;

namespace flintcast::sim::testing {
namespace {

Bytes Hello() {
    return Concat(Concat({0x01}, Text("QCOM fast download protocol host", false)), {0x03, 0x02, 0x01});
}

Bytes StreamWrite(uint32_t address, const Bytes& data) { return Concat(Concat({0x07}, Le32(address)), data); }

Bytes Image(size_t size, uint8_t seed = 1) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 31 + seed);
    return data;
}

class StreamingTest : public ::testing::Test {
protected:
    StreamingTest() {
        model.nv.Set({550, {0x01}, NvStatus::Done});
        model.efs.AddFile("/factory.cfg", {9, 9});
        model.CaptureFactory();
    }
    Bytes Do(const Bytes& payload, EngineOutput* out = nullptr) { return Ask(engine, payload, true, out); }
    void Greet() { ASSERT_EQ(Do(Hello())[0], 0x02); }
    // Writes an image the normal way and closes it; returns the close answer.
    Bytes WriteImage(const Bytes& open, const Bytes& data, size_t block = 1024, EngineOutput* closeOut = nullptr) {
        EXPECT_EQ(Do(open), (Bytes{0x1C, 0x00}));
        for (size_t at = 0; at < data.size(); at += block) {
            const Bytes part(data.begin() + at, data.begin() + std::min(data.size(), at + block));
            EXPECT_EQ(Do(StreamWrite(static_cast<uint32_t>(at), part)), Concat({0x08}, Le32(static_cast<uint32_t>(at))));
        }
        return Do({0x15}, closeOut);
    }

    flintcast::testing::TempDir state;
    DeviceModel model{state.path()};
    DiagPortEngine engine{model, Personality::Programmer};
};

TEST_F(StreamingTest, HelloAnswersWithTargetMagicAndWrongMagicIsAnError) {
    const Bytes wrong = Concat(Concat({0x01}, Text("QCOM fast download protocol hosT", false)), {0x03, 0x02, 0x01});
    EXPECT_EQ(Do(wrong)[0], 0x0D);
    const Bytes answer = Do(Hello());
    ASSERT_GE(answer.size(), 36u);
    EXPECT_EQ(answer[0], 0x02);
    EXPECT_EQ(std::string(answer.begin() + 1, answer.begin() + 33), "QCOM fast download protocol targ");
    EXPECT_EQ(Do({0x17, 0x01}), (Bytes{0x18}));
    EXPECT_EQ(Do({0x17, 0x07})[0], 0x0D);
}

TEST_F(StreamingTest, RequestsBeforeHelloOrOutOfOrderGetErrorReplies) {
    const Bytes early = Do({0x1B, 0x05});
    ASSERT_GE(early.size(), 5u);
    EXPECT_EQ(early[0], 0x0D);
    EXPECT_EQ(Le32At(early, 1), 0x0Fu);
    Greet();
    EXPECT_EQ(Le32At(Do(StreamWrite(0, {1, 2})), 1), 0x0Fu);  // no image open
    EXPECT_EQ(Le32At(Do({0x15}), 1), 0x0Fu);                   // nothing to close
    EXPECT_EQ(Le32At(Do({0x1B, 0x55}), 1), 0x14u);             // unknown image type
    EXPECT_EQ(Le32At(Do(Concat({0x1B, 0x0E}, Text("../../etc/x"))), 1), 0x14u);
    EXPECT_EQ(Do({0x1B, 0x05}), (Bytes{0x1C, 0x00}));
    EXPECT_EQ(Do({0x1B, 0x05}), (Bytes{0x1C, 0x00}));  // a repeat whose answer got lost
    EXPECT_EQ(model.flash.OpenCount(), 1u);
    EXPECT_EQ(Le32At(Do(StreamWrite(1024, {1})), 1), 0x02u);  // gap behind the start
    EXPECT_EQ(Le32At(Do({0x1B, 0x09}), 1), 0x0Fu);            // another image while one is open
    Bytes corrupt = Frame(StreamWrite(0, {1, 2, 3}), true);
    corrupt[3] ^= 0x40;
    EXPECT_EQ(Payloads(engine.Feed(corrupt)).at(0)[0], 0x0D);
}

TEST_F(StreamingTest, PartitionTableStatusesAndOverride) {
    Greet();
    const Bytes tableA(200, 0xA5), tableB(200, 0x5B);
    EXPECT_EQ(Do(Concat({0x19, 0x00}, tableA)), (Bytes{0x1A, 0x00}));
    EXPECT_EQ(Do(Concat({0x19, 0x00}, tableA)), (Bytes{0x1A, 0x00}));
    EXPECT_EQ(Do(Concat({0x19, 0x00}, tableB)), (Bytes{0x1A, 0x01}));
    EXPECT_EQ(*model.partitionTable, tableA);
    EXPECT_EQ(Do(Concat({0x19, 0x01}, tableB)), (Bytes{0x1A, 0x00}));
    EXPECT_EQ(*model.partitionTable, tableB);
    EXPECT_EQ(Do({0x19, 0x00}), (Bytes{0x1A, 0x02}));
    EXPECT_EQ(Do(Concat({0x19, 0x01}, Bytes(512, 1))), (Bytes{0x1A, 0x02}));
}

TEST_F(StreamingTest, StreamWriteAcknowledgementIsNineBytesEchoingTheAddress) {
    Greet();
    EXPECT_EQ(Do({0x1B, 0x05}), (Bytes{0x1C, 0x00}));
    EXPECT_EQ(Do(StreamWrite(0, Bytes(1024, 1)))[0], 0x08);
    const EngineOutput out = engine.Feed(Frame(StreamWrite(0x400, Bytes(1024, 2)), true));
    ASSERT_EQ(out.replies.size(), 1u);
    EXPECT_EQ(out.replies[0].bytes, (Bytes{0x7E, 0x08, 0x00, 0x04, 0x00, 0x00, 0x36, 0xF6, 0x7E}));
}

TEST_F(StreamingTest, ClosedImageIsStoredUnderItsKindWithSizeAndHash) {
    Greet();
    const Bytes data = Image(2049);
    EXPECT_EQ(WriteImage(Concat({0x1B, 0x04}, Bytes(80, 0x44)), data), (Bytes{0x16}));
    const FlashImage& image = model.flash.images().at(ImageKind::Oemsbl);
    EXPECT_TRUE(image.complete);
    EXPECT_EQ(image.size, 2049u);
    EXPECT_EQ(image.sha256, Sha256Hex(data));
    EXPECT_EQ(image.header, Bytes(80, 0x44));
    EXPECT_EQ(ReadBytes(state.path() / "flash" / "oemsbl.bin"), data);
    EXPECT_EQ(Do({0x15}), (Bytes{0x16}));  // a repeated close whose answer was lost
    EXPECT_EQ(Do({0x1B, 0x0E, '0', ':', 'F', 'T', 'L', 0x00}), (Bytes{0x1C, 0x00}));
    EXPECT_EQ(model.flash.OpenKind(), ImageKind::Ftl);
}

TEST_F(StreamingTest, AmssImageBringsItsSoftwareVersion) {
    Greet();
    model.softwareVersion = "OLD";
    Bytes amss = Image(5000);
    const std::string marker = "FCSWVER:BD_P673A2V1.0.0B09";
    std::copy(marker.begin(), marker.end(), amss.begin() + 700);
    amss[700 + marker.size()] = 0;
    EngineOutput out;
    EXPECT_EQ(WriteImage(Concat({0x1B, 0x05}, Bytes(40, 0x11)), amss, 1024, &out), (Bytes{0x16}));
    EXPECT_EQ(model.softwareVersion, "BD_P673A2V1.0.0B09");
    EXPECT_EQ(out.events, std::vector<DeviceEvent>{DeviceEvent::VersionChanged});
}

TEST_F(StreamingTest, EfsImageRestoresFactoryData) {
    model.nv.Write(550, {0x77});
    model.nv.Set({600, {0x01}, NvStatus::Done});
    model.nv.WriteRf(20208, {1, 2});
    model.efs.AddFile("/user/extra.dat", {1});
    Greet();
    EngineOutput out;
    EXPECT_EQ(WriteImage({0x1B, 0x09}, Image(3000), 1024, &out), (Bytes{0x16}));
    EXPECT_EQ(out.events, std::vector<DeviceEvent>{DeviceEvent::FactoryRestored});
    EXPECT_EQ(model.nv.Find(550)->data[0], 0x01);
    EXPECT_EQ(model.nv.Find(600), nullptr);
    EXPECT_EQ(model.nv.FindRf(20208), nullptr);
    EXPECT_EQ(model.efs.Find("/user/extra.dat"), nullptr);
    EXPECT_NE(model.efs.Find("/factory.cfg"), nullptr);
    EXPECT_EQ(model.factoryRestores(), 1u);
}

TEST_F(StreamingTest, ResetAndPowerOffAnswerThenRestart) {
    EngineOutput out;
    EXPECT_EQ(Do({0x0B}, &out), (Bytes{0x0C}));
    EXPECT_EQ(out.events, std::vector<DeviceEvent>{DeviceEvent::Reset});
    EXPECT_EQ(Do({0x11}, &out), (Bytes{0x12}));
    EXPECT_EQ(out.events, std::vector<DeviceEvent>{DeviceEvent::PowerOff});
}

struct UnplugAtSecondBlockOfSecondImage : ProtocolFaultHooks {
    bool UnplugDuringImage(uint32_t image, uint32_t block) override { return image == 2 && block == 2; }
};

TEST_F(StreamingTest, UnplugFaultCutsTheImageAndSilencesThePort) {
    UnplugAtSecondBlockOfSecondImage faults;
    DiagPortEngine faulty(model, Personality::Programmer, &faults);
    auto ask = [&](const Bytes& p, EngineOutput* out = nullptr) { return Ask(faulty, p, true, out); };
    ask(Hello());
    ask({0x1B, 0x0F});
    ask(StreamWrite(0, Bytes(1024, 1)));
    ask(StreamWrite(1024, Bytes(1024, 1)));
    ask({0x15});
    ask({0x1B, 0x11});
    EXPECT_EQ(ask(StreamWrite(0, Bytes(1024, 2)))[0], 0x08);
    EngineOutput out;
    EXPECT_TRUE(ask(StreamWrite(1024, Bytes(1024, 2)), &out).empty());
    EXPECT_EQ(out.events, std::vector<DeviceEvent>{DeviceEvent::Unplug});
    EXPECT_TRUE(model.flash.images().at(ImageKind::Dbl).complete);
    EXPECT_FALSE(model.flash.images().at(ImageKind::Fsbl).complete);
    EXPECT_EQ(model.flash.images().at(ImageKind::Fsbl).size, 1024u);
    EXPECT_TRUE(faulty.Feed(Frame({0x15}, true)).empty());
}

class FastTransferTest : public StreamingTest {
protected:
    // Announces a part and sends it in raw blocks; returns the transmit status answers.
    std::vector<Bytes> SendPart(const Bytes& image, uint32_t offset, uint32_t length, size_t block = 1024) {
        std::vector<Bytes> acks;
        const uint16_t check = hdlc::CheckSequence(image);
        const Bytes request = Concat(Concat(Concat({0x20}, Le32(offset)), Le32(length)),
                                     {static_cast<uint8_t>(check), static_cast<uint8_t>(check >> 8)});
        acks.push_back(Do(request));
        for (uint32_t at = 0; at < length; at += static_cast<uint32_t>(block)) {
            Bytes raw(image.begin() + offset + at, image.begin() + offset + std::min<uint32_t>(length, at + static_cast<uint32_t>(block)));
            raw.resize(block, 0);  // the last block is padded to a full block
            EngineOutput out = engine.Feed(raw);
            if (out.replies.empty() && engine.WantsIdle()) out = engine.OnIdle();
            const auto frames = Payloads(out);
            acks.push_back(frames.empty() ? Bytes{} : frames[0]);
        }
        return acks;
    }
    EngineOutput WriteFlash() {
        Bytes command = {0x21, 0x00, 0x00, 0x00, 0x00};
        const uint16_t fcs = hdlc::CheckSequence(command);
        command.push_back(static_cast<uint8_t>(fcs));
        command.push_back(static_cast<uint8_t>(fcs >> 8));
        return engine.Feed(command);
    }
};

TEST_F(FastTransferTest, PartsOfRawBlocksAreAcknowledgedAndFlashedAfterADelay) {
    Greet();
    const Bytes image = Image(5000);
    ASSERT_EQ(Do({0x1B, 0x09}), (Bytes{0x1C, 0x00}));
    for (uint32_t offset : {0u, 3000u}) {
        const uint32_t length = offset == 0 ? 3000 : 2000;
        const auto acks = SendPart(image, offset, length);
        for (const Bytes& ack : acks) {
            ASSERT_GE(ack.size(), 2u);
            EXPECT_EQ(ack[0], 0x23);
        }
        EXPECT_EQ(Le32At(acks.back(), 1), length);
        const EngineOutput flash = WriteFlash();
        ASSERT_EQ(flash.replies.size(), 1u);
        EXPECT_EQ(flash.replies[0].bytes[0], 0x7E);
        EXPECT_EQ(flash.replies[0].bytes[1], 0x22);
        EXPECT_GT(flash.replies[0].delayMs, 0u);
    }
    EXPECT_EQ(Do({0x15}), (Bytes{0x16}));
    EXPECT_EQ(ReadBytes(state.path() / "flash" / "efs.bin"), image);
}

TEST_F(FastTransferTest, BlocksShorterThanTheDeviceBlockEndAtAPause) {
    Greet();
    Do({0x1B, 0x80});
    const Bytes image = Image(1500);
    const auto acks = SendPart(image, 0, 1500, 512);
    ASSERT_EQ(acks.size(), 4u);
    EXPECT_EQ(Le32At(acks[1], 1), 512u);
    EXPECT_EQ(Le32At(acks[3], 1), 1500u);
    EXPECT_EQ(Payloads(WriteFlash()).at(0)[0], 0x22);
    EXPECT_EQ(Do({0x15}), (Bytes{0x16}));
    EXPECT_EQ(model.flash.images().at(ImageKind::Cfgdata).sha256, Sha256Hex(image));
}

TEST_F(FastTransferTest, TransmitResetDuringDataStartsThePartOver) {
    Greet();
    Do({0x1B, 0x05});
    const Bytes image = Image(3000);
    const uint16_t check = hdlc::CheckSequence(image);
    const Bytes checkBytes = {static_cast<uint8_t>(check), static_cast<uint8_t>(check >> 8)};
    Do(Concat(Concat(Concat({0x20}, Le32(0)), Le32(3000)), checkBytes));
    engine.Feed(Bytes(image.begin(), image.begin() + 1024));
    engine.Feed(Bytes(image.begin() + 1024, image.begin() + 1100));  // a round broken off
    const Bytes reset = Concat(Concat(Concat({0x24}, Le32(0)), Le32(3000)), checkBytes);
    EXPECT_TRUE(engine.Feed(Frame(reset)).empty());
    ASSERT_TRUE(engine.WantsIdle());
    EXPECT_EQ(Payloads(engine.OnIdle()).at(0), (Bytes{0x23, 0xFF, 0xFF, 0xFF, 0xFF}));
    // The next round sends the whole part again.
    const auto acks = SendPart(image, 0, 3000);
    EXPECT_EQ(Le32At(acks.back(), 1), 3000u);
    EXPECT_EQ(Payloads(WriteFlash()).at(0)[0], 0x22);
    EXPECT_EQ(Do({0x15}), (Bytes{0x16}));
    EXPECT_EQ(model.flash.images().at(ImageKind::Amss).size, 3000u);
}

TEST_F(FastTransferTest, WrongImageCheckValueFailsTheClose) {
    Greet();
    Do({0x1B, 0x13});
    Bytes image = Image(1024);
    SendPart(image, 0, 1024);
    WriteFlash();
    model.flash.Write(10, Bytes{0xFF}.data(), 1);  // the flash now differs from what was announced
    const Bytes close = Do({0x15});
    ASSERT_GE(close.size(), 5u);
    EXPECT_EQ(close[0], 0x0D);
    EXPECT_EQ(Le32At(close, 1), 0x0Au);
    EXPECT_FALSE(model.flash.images().at(ImageKind::RawAppsEfs).complete);
}

}  // namespace
}  // namespace flintcast::sim::testing
