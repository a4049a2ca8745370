// The fastboot bootloader as a client meets it: the network framing with lengths checked before
// any byte is taken, strict command forms, downloads bounded by max-download-size, whole and
// chunked flashes whose partition content is exactly the bytes sent, in order.
#include <gtest/gtest.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/model/sha256.h"
#include "sim/protocols/fastboot_session.h"
#include "devkit/temp_dir.h"

namespace flintcast::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using Kind = FastbootCommand::Kind;

Bytes Data(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(FastbootFraming, HandshakeThenLengthPrefixedPacketsSplitAnywhere) {
    FastbootStreamDecoder d;
    std::vector<FastbootPiece> pieces;
    const Bytes cmd = FastbootPacket(std::string("getvar:product"));
    Bytes stream = Cat({'F', 'B', '0', '1'}, cmd);
    stream = Cat(stream, FastbootPacket(std::string()));
    // Fed one byte at a time: the header straddles feeds, the body comes in pieces.
    std::string body;
    int completed = 0;
    for (uint8_t b : stream) {
        pieces.clear();
        ASSERT_EQ(d.Feed(std::span(&b, 1), pieces), FastbootStreamDecoder::Status::Ok);
        for (const auto& p : pieces) {
            body.append(p.bytes.begin(), p.bytes.end());
            if (p.first && completed == 0) {
                EXPECT_EQ(p.packetLength, 14u);
            }
            completed += p.last;
        }
    }
    EXPECT_EQ(d.clientVersion(), 1);
    EXPECT_EQ(body, "getvar:product");
    EXPECT_EQ(completed, 2);  // the command and the empty packet
    EXPECT_EQ(FastbootPacket(std::string("OKAY")), (Bytes{0, 0, 0, 0, 0, 0, 0, 4, 'O', 'K', 'A', 'Y'}));
    EXPECT_EQ(FastbootHandshakeReply(), (Bytes{'F', 'B', '0', '1'}));
}

TEST(FastbootFraming, RefusesWhatIsNotTheHandshake) {
    for (const std::string bad : {"GET ", "FBx1", "FB00", "fb01"}) {
        FastbootStreamDecoder d;
        std::vector<FastbootPiece> pieces;
        const Bytes b(bad.begin(), bad.end());
        EXPECT_EQ(d.Feed(b, pieces), FastbootStreamDecoder::Status::BadHandshake) << bad;
        EXPECT_EQ(d.Feed(FastbootPacket(std::string("getvar:product")), pieces),
                  FastbootStreamDecoder::Status::BadHandshake);
        EXPECT_TRUE(pieces.empty());
    }
}

TEST(FastbootCommandParser, ExactFormsOnly) {
    auto c = ParseFastbootCommand("download:00001000");
    EXPECT_EQ(c.kind, Kind::Download);
    EXPECT_EQ(c.size, 0x1000u);
    EXPECT_EQ(ParseFastbootCommand("download:0AbCdEf1").size, 0x0ABCDEF1u);
    for (const char* bad : {"download:1000", "download:000010000", "download:0000100g", "download:"})
        EXPECT_EQ(ParseFastbootCommand(bad).kind, Kind::Malformed) << bad;

    c = ParseFastbootCommand("mutilflash:1:system");
    EXPECT_EQ(c.kind, Kind::ChunkFlash);
    EXPECT_EQ(c.name, "system");
    EXPECT_TRUE(c.lastChunk);
    EXPECT_FALSE(ParseFastbootCommand("mutilflash:0:boot").lastChunk);
    for (const char* bad : {"mutilflash:2:boot", "mutilflash:0:", "mutilflash:boot", "mutilflash:01:boot", "flash:",
                            "flash:bo ot", "getvar:"})
        EXPECT_EQ(ParseFastbootCommand(bad).kind, Kind::Malformed) << bad;

    EXPECT_EQ(ParseFastbootCommand("flash:boot").kind, Kind::Flash);
    EXPECT_EQ(ParseFastbootCommand("continue").kind, Kind::Continue);
    EXPECT_EQ(ParseFastbootCommand("continue ").kind, Kind::Unknown);
    EXPECT_EQ(ParseFastbootCommand("oem unlock").kind, Kind::Unknown);
    EXPECT_EQ(ParseFastbootCommand(std::string(5000, 'a')).kind, Kind::Malformed);
}

class FastbootSessionTest : public ::testing::Test {
protected:
    flintcast::testing::TempDir dir;
    PartitionStore partitions{dir.path() / "p", {{"boot", 64 * 1024}, {"system", 256 * 1024}}};
    FastbootSettings settings;
    FastbootSession session{settings, partitions, nullptr, nullptr};

    void SetUp() override {
        settings.product = "VAR35";
        settings.maxDownloadSize = 0x10000;
        FastbootOutput out;
        ASSERT_TRUE(session.Feed(Bytes{'F', 'B', '0', '1'}, out));
        ASSERT_EQ(out.raw.size(), 1u);
    }

    std::vector<std::string> Send(const Bytes& packet) {
        FastbootOutput out;
        EXPECT_TRUE(session.Feed(packet, out));
        return out.replies;
    }
    std::vector<std::string> Command(const std::string& text) { return Send(FastbootPacket(text)); }

    // download, the data in packets of `packet` bytes, then `flash`; every reply in order.
    std::vector<std::string> Write(const std::string& flash, const Bytes& image, size_t packet = 4096) {
        auto replies = Command(fmt::format("download:{:08x}", image.size()));
        for (size_t at = 0; at < image.size(); at += packet) {
            const auto n = std::min(packet, image.size() - at);
            for (auto& r : Send(FastbootPacket(std::span(image).subspan(at, n)))) replies.push_back(r);
        }
        for (auto& r : Command(flash)) replies.push_back(r);
        return replies;
    }

    std::string Sha(const std::string& name) { return partitions.ToJson()[name]["sha256"].get<std::string>(); }
};

TEST_F(FastbootSessionTest, AnswersVariablesAndRefusesUnknownOnes) {
    EXPECT_EQ(Command("getvar:product"), std::vector<std::string>{"OKAYVAR35"});
    EXPECT_EQ(Command("getvar:max-download-size"), std::vector<std::string>{"OKAY0x00010000"});
    EXPECT_EQ(Command("getvar:partition-size:system"), std::vector<std::string>{"OKAY0x40000"});
    EXPECT_EQ(Command("getvar:nonsense"), std::vector<std::string>{"FAILunknown variable"});
    EXPECT_EQ(Command("getvar:partition-size:modem"), std::vector<std::string>{"FAILunknown variable"});
    EXPECT_EQ(Command("oem unlock"), std::vector<std::string>{"FAILunknown command"});
    EXPECT_EQ(Command("download:1000")[0].substr(0, 4), "FAIL");
    EXPECT_EQ(Command("getvar:all").back(), "OKAY");
}

TEST_F(FastbootSessionTest, WholeFlashStoresExactlyTheBytesSent) {
    const Bytes image = Data(4096, 3);
    EXPECT_EQ(Write("flash:boot", image), (std::vector<std::string>{"DATA00001000", "OKAY", "OKAY"}));
    EXPECT_EQ(partitions.ToJson()["boot"]["size"], 4096);
    EXPECT_EQ(Sha("boot"), Sha256Hex(image));
    // The download is used up: a second flash without data is refused.
    EXPECT_EQ(Command("flash:boot")[0], "FAILno image downloaded");
}

TEST_F(FastbootSessionTest, ChunksAreAppendedInOrderAndTheNextSeriesStartsAnew) {
    const Bytes a = Data(30000, 1), b = Data(20000, 2), c = Data(10000, 3);
    EXPECT_EQ(Write("mutilflash:0:system", a, 7000).back(), "OKAY");
    EXPECT_EQ(Write("mutilflash:0:system", b).back(), "OKAY");
    EXPECT_EQ(Write("mutilflash:1:system", c).back(), "OKAY");
    EXPECT_EQ(partitions.ToJson()["system"]["size"], 60000);
    EXPECT_EQ(Sha("system"), Sha256Hex(Cat(Cat(a, b), c)));
    EXPECT_EQ(Write("mutilflash:1:system", c).back(), "OKAY");
    EXPECT_EQ(Sha("system"), Sha256Hex(c));
}

TEST_F(FastbootSessionTest, RefusesOversizedAndUnknownWithAReason) {
    EXPECT_EQ(Command("download:00010001"), std::vector<std::string>{"FAILdata too large"});
    EXPECT_EQ(Command("download:00000000")[0].substr(0, 4), "FAIL");
    EXPECT_EQ(Write("flash:modem", Data(100, 1)).back(), "FAILpartition 'modem' does not exist");
    // Bigger than the partition although within max-download-size.
    EXPECT_EQ(Write("flash:boot", Data(0x10000, 1)).back(), "OKAY");
    EXPECT_EQ(Write("mutilflash:0:boot", Data(0x10000, 1)).back(), "OKAY");
    EXPECT_EQ(Write("mutilflash:1:boot", Data(1, 1)).back(), "FAILimage too large for partition 'boot'");
}

TEST_F(FastbootSessionTest, LengthsAreCheckedBeforeTheBytes) {
    // A command packet announcing more than a command may hold is skipped whole.
    Bytes header{0, 0, 0, 0, 0, 0, 0x20, 0};  // 8192 bytes announced
    auto replies = Send(Cat(header, Bytes(100, 'a')));
    EXPECT_EQ(replies, std::vector<std::string>{"FAILcommand too long"});
    EXPECT_TRUE(Send(Bytes(8092, 'a')).empty());
    EXPECT_EQ(Command("getvar:product"), std::vector<std::string>{"OKAYVAR35"});
    // A data packet bigger than what is left of the download voids it.
    EXPECT_EQ(Command("download:00000010")[0], "DATA00000010");
    EXPECT_EQ(Send(FastbootPacket(Data(17, 0))), std::vector<std::string>{"FAILmore data than the download announced"});
    EXPECT_EQ(Command("flash:boot")[0], "FAILno image downloaded");
    EXPECT_EQ(Command(""), std::vector<std::string>{"FAILempty command"});
}

TEST_F(FastbootSessionTest, InfoLinesComeBeforeTheOkayWhenTheProfileAsks) {
    settings.infoLines = true;
    const auto replies = Write("flash:boot", Data(10, 1));
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_EQ(replies[2], "INFOerasing 'boot'...");
    EXPECT_EQ(replies[3], "INFOwriting 'boot'...");
    EXPECT_EQ(replies[4], "OKAY");
}

}  // namespace
}  // namespace flintcast::sim
