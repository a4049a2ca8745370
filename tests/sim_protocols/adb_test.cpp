// adbd as a host meets it: message headers checked (magic, length) before any data byte, the
// connection banner, stream flow control (one WRTE in flight until the host's OKAY), and the
// sync service reading requests cut anywhere, refusing oversized paths and data pieces.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "sim/protocols/adb_transport.h"

namespace flintcast::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Str(const std::string& s) { return {s.begin(), s.end()}; }

Bytes Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

Bytes Request(const char* id, const Bytes& body) {
    Bytes out(id, id + 4);
    const auto len = Le32(static_cast<uint32_t>(body.size()));
    out.insert(out.end(), len.begin(), len.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<AdbMessage> Decode(const std::vector<std::vector<uint8_t>>& encoded) {
    AdbMessageDecoder d;
    std::vector<AdbMessage> out;
    for (const auto& e : encoded) EXPECT_EQ(d.Feed(e, out), AdbMessageDecoder::Status::Ok);
    return out;
}

TEST(AdbMessages, HeaderIsCheckedBeforeTheData) {
    const auto good = EncodeAdbMessage(adb_cmd::kOpen, 7, 0, Str("sync:"));
    ASSERT_EQ(good.size(), 24u + 5u);
    EXPECT_EQ(Bytes(good.begin() + 16, good.begin() + 20), Le32('s' + 'y' + 'n' + 'c' + ':'));
    AdbMessageDecoder d;
    std::vector<AdbMessage> out;
    for (uint8_t b : good) ASSERT_EQ(d.Feed(std::span(&b, 1), out), AdbMessageDecoder::Status::Ok);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].arg0, 7u);
    EXPECT_EQ(out[0].data, Str("sync:"));

    auto badMagic = good;
    badMagic[20] ^= 1;
    AdbMessageDecoder d2;
    EXPECT_EQ(d2.Feed(badMagic, out), AdbMessageDecoder::Status::BadMagic);
    // A header announcing more than any host may send is refused from the header alone.
    auto tooLong = EncodeAdbMessage(adb_cmd::kWrte, 1, 1);
    const auto len = Le32(kAdbMaxAccepted + 1);
    std::copy(len.begin(), len.end(), tooLong.begin() + 12);
    AdbMessageDecoder d3;
    EXPECT_EQ(d3.Feed(tooLong, out), AdbMessageDecoder::Status::TooLong);
    EXPECT_EQ(d3.Feed(good, out), AdbMessageDecoder::Status::TooLong);
}

class AdbTransportTest : public ::testing::Test {
protected:
    AndroidFiles files;
    AdbIdentity identity{{{"ro.product.model", "VAR35"}, {"ro.product.name", "var35"}}};
    AdbTransport transport{files, identity, nullptr, nullptr};

    std::vector<AdbMessage> Send(uint32_t cmd, uint32_t a0, uint32_t a1, const Bytes& data = {}) {
        AdbTransport::Output out;
        EXPECT_TRUE(transport.Feed(EncodeAdbMessage(cmd, a0, a1, data), out));
        return Decode(out.messages);
    }
    // Connects and opens the sync service as host stream 5; returns the unit's stream id.
    uint32_t OpenSync() {
        const auto cnxn = Send(adb_cmd::kCnxn, kAdbVersion, 4096, Str("host::\0"));
        EXPECT_EQ(cnxn.at(0).command, adb_cmd::kCnxn);
        const auto okay = Send(adb_cmd::kOpen, 5, 0, Str(std::string("sync:") + '\0'));
        EXPECT_EQ(okay.at(0).command, adb_cmd::kOkay);
        EXPECT_EQ(okay.at(0).arg1, 5u);
        return okay.at(0).arg0;
    }
};

TEST_F(AdbTransportTest, ConnectsWithoutAuthenticationAndRefusesOtherServices) {
    EXPECT_TRUE(Send(adb_cmd::kOpen, 5, 0, Str("sync:")).empty());  // nothing before CNXN
    const auto cnxn = Send(adb_cmd::kCnxn, kAdbVersion, 1024 * 1024, Str("host::"));
    ASSERT_EQ(cnxn.size(), 1u);
    EXPECT_EQ(cnxn[0].arg1, kAdbMaxPayload);
    EXPECT_EQ(std::string(cnxn[0].data.begin(), cnxn[0].data.end()),
              "device::ro.product.name=var35;ro.product.model=VAR35;");
    for (const char* service : {"shell:", "reboot:", "tcpip:5555"}) {
        const auto r = Send(adb_cmd::kOpen, 9, 0, Str(service));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].command, adb_cmd::kClse) << service;
        EXPECT_EQ(r[0].arg1, 9u);
    }
    const auto shell = Send(adb_cmd::kOpen, 10, 0, Str("shell:getprop ro.product.model"));
    ASSERT_EQ(shell.size(), 2u);
    EXPECT_EQ(shell[1].command, adb_cmd::kWrte);
    EXPECT_EQ(shell[1].data, Str("VAR35\n"));
    // The close comes after the host acknowledged the output.
    const auto close = Send(adb_cmd::kOkay, 10, shell[0].arg0);
    ASSERT_EQ(close.size(), 1u);
    EXPECT_EQ(close[0].command, adb_cmd::kClse);
}

TEST_F(AdbTransportTest, PushThenPullInPiecesWithFlowControl) {
    const uint32_t local = OpenSync();
    Bytes content(10000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 13);
    // SEND with the file in two DATA pieces, the whole stream cut at odd places.
    Bytes stream = Request("SEND", Str("/sdcard/a/b.bin,33188"));
    stream = Cat(stream, Request("DATA", Bytes(content.begin(), content.begin() + 3000)));
    stream = Cat(stream, Request("DATA", Bytes(content.begin() + 3000, content.end())));
    stream = Cat(Cat(stream, Str("DONE")), Le32(1700000000));
    std::vector<AdbMessage> replies;
    for (size_t at = 0; at < stream.size(); at += 777) {
        const Bytes part(stream.begin() + static_cast<long>(at),
                         stream.begin() + static_cast<long>(std::min(stream.size(), at + 777)));
        for (auto& m : Send(adb_cmd::kWrte, 5, local, part)) replies.push_back(std::move(m));
    }
    ASSERT_FALSE(replies.empty());
    EXPECT_EQ(replies.back().command, adb_cmd::kWrte);
    EXPECT_EQ(replies.back().data, Cat(Str("OKAY"), Le32(0)));
    ASSERT_NE(files.Find("/sdcard/a/b.bin"), nullptr);
    EXPECT_EQ(files.Find("/sdcard/a/b.bin")->data, content);
    EXPECT_EQ(files.Find("/sdcard/a/b.bin")->mode, 0644u);
    EXPECT_TRUE(files.Find("/sdcard/a")->directory);
    Send(adb_cmd::kOkay, 5, local);

    // RECV: 10,000 bytes plus framing leave in 4,096-byte WRTEs, the next only after OKAY.
    auto r = Send(adb_cmd::kWrte, 5, local, Request("RECV", Str("/sdcard/a/b.bin")));
    ASSERT_EQ(r.size(), 2u);  // OKAY for the host's WRTE, one WRTE of ours
    Bytes received = r[1].data;
    EXPECT_EQ(received.size(), 4096u);
    while (true) {
        const auto next = Send(adb_cmd::kOkay, 5, local);
        if (next.empty()) break;
        ASSERT_EQ(next.size(), 1u);
        received = Cat(received, next[0].data);
    }
    const Bytes expected = Cat(Cat(Cat(Str("DATA"), Le32(10000)), content), Cat(Str("DONE"), Le32(0)));
    EXPECT_EQ(received, expected);
}

TEST_F(AdbTransportTest, SyncRefusesWhatItCannotFollow) {
    files.Write("/system/x", Str("abc"), 0644, 5);
    const uint32_t local = OpenSync();
    auto last = [&](const Bytes& bytes) {
        auto r = Send(adb_cmd::kWrte, 5, local, bytes);
        Send(adb_cmd::kOkay, 5, local);
        return r.empty() ? Bytes() : r.back().data;
    };
    EXPECT_EQ(last(Request("STAT", Str("/system/x"))),
              Cat(Cat(Cat(Str("STAT"), Le32(0100644)), Le32(3)), Le32(5)));
    EXPECT_EQ(last(Request("STAT", Str("/nope"))), Cat(Cat(Cat(Str("STAT"), Le32(0)), Le32(0)), Le32(0)));
    const Bytes fail = last(Request("RECV", Str("/nope")));
    EXPECT_EQ(std::string(fail.begin(), fail.begin() + 4), "FAIL");
    EXPECT_EQ(std::string(fail.begin() + 8, fail.end()), "No such file or directory");
    // A path longer than any path is refused from its length; the service then ends.
    Bytes tooLong = Cat(Str("RECV"), Le32(kSyncMaxPath + 1));
    auto r = Send(adb_cmd::kWrte, 5, local, tooLong);
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(std::string(r[1].data.begin() + 8, r[1].data.end()), "path too long");
    EXPECT_EQ(Send(adb_cmd::kOkay, 5, local).at(0).command, adb_cmd::kClse);
    EXPECT_EQ(transport.openStreams(), 0u);

    const uint32_t second = OpenSync();
    r = Send(adb_cmd::kWrte, 5, second, Cat(Request("SEND", Str("/sdcard/y,420")), Cat(Str("DATA"), Le32(kSyncMaxData + 1))));
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(std::string(r[1].data.begin() + 8, r[1].data.end()), "data piece too long");
    EXPECT_EQ(files.Find("/sdcard/y"), nullptr);
}

struct CutAfter : SyncLinkFaults {
    std::optional<uint64_t> at;
    std::optional<uint64_t> DisconnectAfter() override { return at; }
};

TEST(AdbSyncFaults, ThePlugIsPulledPartWayThroughAPull) {
    AndroidFiles files;
    files.Write("/f", Bytes(200000, 0x5A), 0644, 0);
    CutAfter cut;
    cut.at = 70000;
    AdbSyncService sync(files, nullptr, &cut);
    Bytes out;
    const auto r = sync.Feed(Request("RECV", Str("/f")), out);
    EXPECT_TRUE(r.disconnect);
    // One whole 64 KiB piece, then the next piece's header with only the bytes up to the cut.
    EXPECT_EQ(out.size(), 8u + 65536u + 8u + (70000u - 65536u));
    cut.at = 5;
    AdbSyncService push(files, nullptr, &cut);
    out.clear();
    const auto p = push.Feed(Cat(Request("SEND", Str("/g,420")), Request("DATA", Bytes(10, 1))), out);
    EXPECT_TRUE(p.disconnect);
    EXPECT_EQ(files.Find("/g"), nullptr);
    EXPECT_TRUE(out.empty());
}

TEST(AndroidFileTree, PathsAreNormalisedAndEscapesRefused) {
    AndroidFiles files;
    EXPECT_EQ(AndroidFiles::Normalize("//a///b/"), "/a/b");
    EXPECT_FALSE(AndroidFiles::Normalize("a/b"));
    EXPECT_FALSE(AndroidFiles::Normalize("/a/../b"));
    EXPECT_EQ(files.Write("/a/b", Str("x"), 0644, 0), "");
    EXPECT_EQ(files.Write("/a/b/c", Str("x"), 0644, 0), "Not a directory");
    EXPECT_EQ(files.Write("/a", Str("x"), 0644, 0), "Is a directory");
    EXPECT_EQ(files.Write("/a/../etc", Str("x"), 0644, 0), "Invalid path");
    EXPECT_FALSE(files.Remove("/a"));  // not empty
    EXPECT_TRUE(files.Remove("/a/b"));
    EXPECT_EQ(files.ToJson().size(), 0u);
}

}  // namespace
}  // namespace flintcast::sim
