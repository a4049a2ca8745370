// The streaming protocol requests against the fake programmer: acknowledgement
// checks, retries under refused, dropped and corrupted replies, the session rules.
#include <gtest/gtest.h>

#include "engine/download_progress.h"
#include "engine/streaming_download.h"
#include "engine/streaming_messages.h"
#include "tests/streaming/fake_device.h"

namespace flintcast::testing {
namespace {

using engine::StreamingDownload;

TEST(StreamingMessages, RequestLayouts) {
    const auto hello = engine::streaming::BuildHello();
    ASSERT_EQ(hello.size(), 36u);
    EXPECT_EQ(hello[0], 0x01);
    EXPECT_EQ(std::string(hello.begin() + 1, hello.begin() + 33), "QCOM fast download protocol host");
    EXPECT_EQ((Bytes{hello[33], hello[34], hello[35]}), (Bytes{3, 2, 1}));

    const Bytes data(1024, 0xAB);
    const auto write = engine::streaming::BuildStreamWrite(0x400, data);
    EXPECT_EQ((Bytes(write.begin(), write.begin() + 5)), (Bytes{0x07, 0x00, 0x04, 0x00, 0x00}));
    EXPECT_EQ(write.size(), 1029u);

    // A negative acknowledgement or an error report carries 0x00 in byte 1 as
    // well; neither opens an image. The open answer with a status other than 0 is a refusal.
    EXPECT_TRUE(engine::streaming::IsOpenAccepted(Bytes{0x1C, 0x00}));
    EXPECT_FALSE(engine::streaming::IsOpenAccepted(Bytes{0x1C, 0x01}));
    EXPECT_FALSE(engine::streaming::IsOpenAccepted(Bytes{0x1C}));
    EXPECT_FALSE(engine::streaming::IsOpenAccepted(Bytes{0x03, 0x00, 0x05}));
    EXPECT_FALSE(engine::streaming::IsOpenAccepted(Bytes{0x0D, 0x00, 0x00, 0x00, 0x00}));
}

class StreamWriteTest : public ::testing::Test {
protected:
    DeviceBench bench{46};
    engine::DownloadProgress progress;
    StreamingDownload streaming{bench.ctx, progress};
};

TEST_F(StreamWriteTest, AcceptsEchoedAddressesWhateverTheirLowByte) {
    // 1,000-byte blocks put the second block at 0x3E8: the echoed low byte is
    // not 0, and the acknowledgement is still the right one.
    const Bytes block = Pattern(1000);
    EXPECT_EQ(streaming.StreamWrite(0, block), 0);
    EXPECT_EQ(streaming.StreamWrite(1000, block), 0);
    // Address bytes 7E and 7D travel stuffed in the acknowledgement.
    EXPECT_EQ(streaming.StreamWrite(0x007E7D00, block), 0);
    EXPECT_EQ(bench.count("Re_transmit data"), 0u);
    EXPECT_TRUE(bench.errors.empty());
}

TEST_F(StreamWriteTest, RepliesSplitAcrossReadsAreAccepted) {
    bench.device->splitReplies = true;
    EXPECT_EQ(streaming.StreamWrite(2048, Pattern(1024)), 0);
    EXPECT_EQ(bench.count("Re_transmit data"), 0u);
}

TEST_F(StreamWriteTest, WrongEchoDroppedAndCorruptedAcksAreRetried) {
    bench.device->override = [](const Bytes&, int index) -> std::optional<Bytes> {
        if (index == 0) return Framed({0x08, 0x00, 0x08, 0x00, 0x00});  // another block's address
        if (index == 1) return Bytes{};                                  // dropped
        if (index == 2) {
            Bytes bad = Framed({0x08, 0x00, 0x04, 0x00, 0x00});
            bad[6] ^= 0x01;  // check sequence broken
            return bad;
        }
        if (index == 3) return Framed({0x0D, 0x01, 0x00, 0x00, 0x00});
        return std::nullopt;
    };
    EXPECT_EQ(streaming.StreamWrite(0x400, Pattern(1024)), 0);
    EXPECT_EQ(bench.count("Re_transmit data"), 4u);
    EXPECT_TRUE(bench.hasLineStarting("Return value has a mistake: 7E 08 00 08 00 00"));
    EXPECT_TRUE(bench.hasLineStarting("Return value has a mistake: 00 00 00 00 00 00 00 00 00"));
}

TEST_F(StreamWriteTest, GivesUpAfterTwentyFiveAttempts) {
    bench.device->override = [](const Bytes&, int) -> std::optional<Bytes> { return Bytes{}; };
    EXPECT_EQ(streaming.StreamWrite(0, Pattern(16)), 1);
    EXPECT_EQ(bench.count("Re_transmit data"), 24u);
}

TEST_F(StreamWriteTest, RequestsRetryOnNakDropAndCorruption) {
    int hellos = 0;
    bench.device->override = [&hellos](const Bytes& r, int index) -> std::optional<Bytes> {
        if (r[0] == 0x01) {
            ++hellos;
            if (index == 0) {
                Bytes bad = Framed({0x02, 'Q'});
                bad[bad.size() - 2] ^= 0x40;  // a corrupted hello answer still starts with 02
                return bad;
            }
        }
        if (r[0] == 0x1B && index == 0) return Framed({0x03, 0x00, 0x05});  // refused open
        if (r[0] == 0x17 && index < 2) return Bytes{};                       // security answer lost
        return std::nullopt;
    };
    EXPECT_EQ(streaming.SendHello(), 0);
    EXPECT_EQ(hellos, 2);
    EXPECT_EQ(streaming.SendSecurityMode(), 0);
    EXPECT_EQ(streaming.OpenImage(0x05, {}), 0);
    auto codes = bench.device->codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x17), 3);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x1B), 2);
}

TEST_F(StreamWriteTest, PartitionTableOverrideAndFileLimits) {
    streaming.partitionTablePath = bench.writeFile("partition.mbn", Pattern(100)).string();
    bench.device->partitionStatus = 1;  // the device holds another table
    EXPECT_EQ(streaming.SendPartitionTable(), 0);
    const auto requests = bench.device->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0][1], 0x00);
    EXPECT_EQ(requests[1][1], 0x01);
    EXPECT_EQ(bench.count("Sending override existing table command..."), 1u);

    streaming.partitionTablePath = bench.writeFile("big.mbn", Pattern(512)).string();
    EXPECT_EQ(streaming.SendPartitionTable(), -1);
    ASSERT_EQ(bench.errors.size(), 1u);
    EXPECT_EQ(bench.errors[0].rfind("ERROR, BIN file length error: " + streaming.partitionTablePath, 0), 0u);
    EXPECT_EQ(bench.device->requests().size(), 2u);
}

TEST(StreamingSession, Project35SkipsSecurityAndPartitionTable) {
    DeviceBench bench(35);
    engine::DownloadProgress progress;
    StreamingDownload streaming(bench.ctx, progress);
    streaming.OpenSession();
    EXPECT_EQ(bench.device->codes(), (std::vector<uint8_t>{0x01}));
    EXPECT_TRUE(bench.errors.empty());
}

TEST(StreamingSession, FastbootImagesSendTheOverrideAtOnce) {
    DeviceBench bench(46);
    engine::DownloadProgress progress;
    StreamingDownload streaming(bench.ctx, progress);
    streaming.fastbootImagesSelected = true;
    streaming.partitionTablePath = bench.writeFile("partition.mbn", Pattern(64)).string();
    streaming.OpenSession();
    const auto requests = bench.device->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2][0], 0x19);
    EXPECT_EQ(requests[2][1], 0x01);
    EXPECT_EQ(bench.count("Partition table ok"), 1u);
}

}  // namespace
}  // namespace flintcast::testing
