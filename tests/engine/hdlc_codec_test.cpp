#include "codec/hdlc.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>

using namespace flintcast::hdlc;
using Bytes = std::vector<uint8_t>;

namespace {
uint16_t BytewiseCrc(std::span<const uint8_t> data) {
    uint16_t reg = kCrcInit;
    for (uint8_t b : data) reg = CrcUpdateByte(reg, b);
    return reg;
}
}  // namespace

TEST(HdlcCrc, CheckValueAndResidue) {
    std::string_view text = "123456789";
    Bytes data(text.begin(), text.end());
    EXPECT_EQ(CheckSequence(data), 0x906E);
    const uint16_t fcs = CheckSequence(data);
    data.push_back(static_cast<uint8_t>(fcs & 0xFF));
    data.push_back(static_cast<uint8_t>(fcs >> 8));
    EXPECT_EQ(CrcUpdate(kCrcInit, data), kGoodResidue);
}

TEST(HdlcCrc, SlicedMatchesBytewiseForEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    Bytes data(300);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    for (size_t start = 0; start < 9; ++start)
        for (size_t len = 0; len + start <= data.size(); len += 7) {
            std::span<const uint8_t> s(data.data() + start, len);
            ASSERT_EQ(CrcUpdate(kCrcInit, s), BytewiseCrc(s)) << start << "/" << len;
        }
}

TEST(HdlcEncode, KnownFramesAndStuffing) {
    EXPECT_EQ(EncodeFrame(Bytes{0x06}, true), (Bytes{0x7E, 0x06, 0x4E, 0x95, 0x7E}));
    EXPECT_EQ(EncodeFrame(Bytes{0x02}, true), (Bytes{0x7E, 0x02, 0x6A, 0xD3, 0x7E}));
    EXPECT_EQ(EncodeFrame(Bytes{0x06}, false), (Bytes{0x06, 0x4E, 0x95, 0x7E}));
    Bytes out;
    AppendStuffed(out, Bytes{0x01, 0x7E, 0x7D, 0x02});
    EXPECT_EQ(out, (Bytes{0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x02}));
}

TEST(HdlcEncode, CheckSequenceBytesAreStuffedToo) {
    // Search a payload whose check sequence contains a flag or escape byte.
    for (uint32_t v = 0; v < 0x10000; ++v) {
        Bytes p{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        const uint16_t fcs = CheckSequence(p);
        if ((fcs & 0xFF) != 0x7E && (fcs >> 8) != 0x7D) continue;
        Bytes frame = EncodeFrame(p, false);
        FrameDecoder d(false);
        size_t used = 0;
        ASSERT_EQ(d.feed(frame, used), FrameDecoder::Status::Frame);
        EXPECT_GT(frame.size(), 2u + 2u + 1u);  // at least one check byte was escaped
        return;
    }
    FAIL() << "no payload with an escaped check byte found";
}

TEST(HdlcDecode, AcknowledgementAndRepeatedFlags) {
    Bytes wire{0x7E, 0x7E, 0x7E, 0x02, 0x6A, 0xD3, 0x7E};
    FrameDecoder d;
    size_t used = 0;
    ASSERT_EQ(d.feed(wire, used), FrameDecoder::Status::Frame);
    EXPECT_EQ(used, wire.size());
    EXPECT_EQ(d.frame(), (Bytes{0x02, 0x6A, 0xD3}));
    EXPECT_EQ(d.payload().size(), 1u);
}

TEST(HdlcDecode, HuntDiscardsLeadingGarbageUnlessFlagOptional) {
    Bytes wire{0x11, 0x22, 0x02, 0x6A, 0xD3, 0x7E};
    FrameDecoder strict(true);
    size_t used = 0;
    EXPECT_EQ(strict.feed(wire, used), FrameDecoder::Status::NeedMore);
    FrameDecoder lax(false);
    EXPECT_EQ(lax.feed(Bytes{0x02, 0x6A, 0xD3, 0x7E}, used), FrameDecoder::Status::Frame);
}

TEST(HdlcDecode, ShortBadAndLongFrames) {
    size_t used = 0;
    FrameDecoder a;
    EXPECT_EQ(a.feed(Bytes{0x7E, 0x02, 0x6A, 0x7E}, used), FrameDecoder::Status::TooShort);
    FrameDecoder b;
    EXPECT_EQ(b.feed(Bytes{0x7E, 0x02, 0x6A, 0xD4, 0x7E}, used), FrameDecoder::Status::BadCrc);
    FrameDecoder c;
    Bytes big(5000, 0x41);
    big.insert(big.begin(), 0x7E);
    big.push_back(0x7E);
    EXPECT_EQ(c.feed(big, used), FrameDecoder::Status::TooLong);
    EXPECT_LE(c.frame().size(), kMaxReplyBytes);
    // After the overlong frame's closing flag the decoder recovers.
    size_t rest = 0;
    std::span<const uint8_t> tail(big.data() + used, big.size() - used);
    EXPECT_EQ(c.feed(tail, rest), FrameDecoder::Status::NeedMore);
    EXPECT_EQ(c.feed(Bytes{0x02, 0x6A, 0xD3, 0x7E}, used), FrameDecoder::Status::Frame);
}

TEST(HdlcDecode, RandomRoundTrips) {
    std::mt19937 rng(42);
    FrameDecoder d;
    for (int i = 0; i < 200; ++i) {
        Bytes p(rng() % 2000 + 1);
        for (auto& b : p) b = static_cast<uint8_t>(rng() % 4 == 0 ? 0x7E - (rng() & 1) : rng());
        Bytes wire = EncodeFrame(p, true);
        size_t used = 0;
        ASSERT_EQ(d.feed(wire, used), FrameDecoder::Status::Frame);
        ASSERT_EQ(Bytes(d.payload().begin(), d.payload().end()), p);
    }
}

// The chunked feed takes runs of plain bytes at once; whatever the chunking,
// it must report the same frames, failures and bytes as feeding one at a time.
TEST(HdlcDecode, ChunkedFeedMatchesBytewiseFeed) {
    std::mt19937 rng(11);
    Bytes stream;
    for (int f = 0; f < 200; ++f) {
        Bytes payload(rng() % 120);
        for (auto& b : payload) {
            const uint32_t r = rng() % 8;
            b = r == 0 ? 0x7E : r == 1 ? 0x7D : static_cast<uint8_t>(rng());
        }
        Bytes wire = EncodeFrame(payload, rng() % 2 == 0);
        if (rng() % 10 == 0) wire[rng() % wire.size()] ^= 0x01;  // some damaged frames
        stream.insert(stream.end(), wire.begin(), wire.end());
    }
    for (const size_t limit : {size_t{64}, kMaxReplyBytes}) {
        FrameDecoder one(false, limit);
        std::vector<std::pair<FrameDecoder::Status, Bytes>> want;
        for (uint8_t b : stream) {
            const auto s = one.feed(b);
            if (s != FrameDecoder::Status::NeedMore) want.emplace_back(s, one.frame());
        }
        FrameDecoder chunked(false, limit);
        std::vector<std::pair<FrameDecoder::Status, Bytes>> got;
        size_t pos = 0;
        while (pos < stream.size()) {
            const size_t len = std::min<size_t>(1 + rng() % 300, stream.size() - pos);
            std::span<const uint8_t> rest(stream.data() + pos, len);
            while (!rest.empty()) {
                size_t used = 0;
                const auto s = chunked.feed(rest, used);
                ASSERT_GT(used, 0u);
                if (s != FrameDecoder::Status::NeedMore) got.emplace_back(s, chunked.frame());
                rest = rest.subspan(used);
            }
            pos += len;
        }
        EXPECT_EQ(got, want) << "limit " << limit;
    }
}
