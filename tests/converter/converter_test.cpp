// The converter library, loaded the way the tool loads it, checked against
// objcopy on the same HEX files and against every kind of bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "converter/ravelin.h"
#include "platform/dynamic_library.h"
#include "tests/converter/hex_text.h"
#include "devkit/temp_dir.h"
#include "devkit/files.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;

class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library_.open(std::string(FLINTCAST_BIN_DIR) + "/libravelin.so")) << library_.lastError();
        ravelin_ = reinterpret_cast<RavelinFunction>(library_.symbol("Ravelin"));
        lastMessage_ = reinterpret_cast<RavelinLastMessageFunction>(library_.symbol("RavelinLastMessage"));
        ASSERT_NE(ravelin_, nullptr);
        ASSERT_NE(lastMessage_, nullptr);
    }

    // Converts `text`; returns the library's result and leaves its output in bin().
    int convert(const std::string& text) {
        WriteText(hex(), text);
        return ravelin_(hex().c_str(), bin().c_str());
    }
    std::string message() const { return lastMessage_(); }

    // The independent converter's output for the same HEX text.
    std::vector<uint8_t> objcopy(const std::string& text) {
        const fs::path in = dir_.path() / "objcopy.hex";
        const fs::path out = dir_.path() / "objcopy.bin";
        WriteText(in, text);
        const std::string command =
            fmt::format("objcopy -I ihex -O binary --gap-fill=0xff '{}' '{}'", in.string(), out.string());
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadBytes(out);
    }

    void expectSameAsObjcopy(const std::string& text) {
        ASSERT_EQ(convert(text), 1) << message();
        const std::vector<uint8_t> ours = ReadBytes(bin());
        const std::vector<uint8_t> theirs = objcopy(text);
        ASSERT_FALSE(theirs.empty());
        EXPECT_EQ(ours.size(), theirs.size());
        EXPECT_TRUE(ours == theirs);
    }

    void expectFailure(const std::string& text, const std::string& expected) {
        EXPECT_EQ(convert(text), 0);
        EXPECT_EQ(message(), expected);
        EXPECT_FALSE(fs::exists(bin())) << "nothing may be written on failure";
    }

    fs::path hex() const { return dir_.path() / "in.hex"; }
    fs::path bin() const { return dir_.path() / "out.bin"; }

    TempDir dir_;
    platform::DynamicLibrary library_;
    RavelinFunction ravelin_ = nullptr;
    RavelinLastMessageFunction lastMessage_ = nullptr;
};

// HEX text with the image `bytes` at 0x00800000 in records of the given lengths (cycled).
std::string Chunked(const std::vector<uint8_t>& bytes, const std::vector<std::size_t>& lengths) {
    HexText hexText;
    hexText.linearBase(0x0080);
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < bytes.size(); ++i) {
        const std::size_t n = std::min(lengths[i % lengths.size()], bytes.size() - offset);
        hexText.data(static_cast<uint16_t>(offset),
                     std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                          bytes.begin() + static_cast<std::ptrdiff_t>(offset + n)));
        offset += n;
    }
    return hexText.record(5, 0, {0x00, 0x80, 0x00, 0x00}).end().str();
}

TEST_F(ConverterTest, MatchesObjcopyForRecordLayouts) {
    const auto image = Pattern(5000, 1);
    expectSameAsObjcopy(Chunked(image, {16}));
    expectSameAsObjcopy(Chunked(image, {32}));
    // Short records in the middle and 2-byte data records: placed by address.
    expectSameAsObjcopy(Chunked(image, {16, 8, 2, 16, 3, 16, 2}));
}

TEST_F(ConverterTest, MatchesObjcopyAcrossExtendedAddresses) {
    // Linear base change to the next 64 KiB, leaving a gap that objcopy fills the same way.
    HexText linear;
    linear.linearBase(0x0080).data(0x0000, Pattern(16, 2)).linearBase(0x0081).data(0x0000, Pattern(16, 3));
    expectSameAsObjcopy(linear.end().str());

    // Segment bases, and a gap that must read 0xFF.
    HexText segment;
    segment.segmentBase(0x1000).data(0x0000, Pattern(16, 4)).segmentBase(0x1002).data(0x0010, Pattern(10, 5));
    expectSameAsObjcopy(segment.end().str());
    const auto bytes = ReadBytes(bin());
    ASSERT_EQ(bytes.size(), 0x30u + 10u);
    EXPECT_EQ(bytes[0x10], 0xFF);
    EXPECT_EQ(bytes[0x2F], 0xFF);
}

TEST_F(ConverterTest, AcceptsLowerCaseAndCrLf) {
    std::string text = Chunked(Pattern(64, 6), {16});
    std::string lower;
    for (const char c : text) {
        if (c == '\n') lower += "\r\n";
        else lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    expectSameAsObjcopy(lower);
}

TEST_F(ConverterTest, SixteenThenEightByteRecordGivesTwentyFourBytes) {
    const auto a = Pattern(16, 7);
    const auto b = Pattern(8, 8);
    ASSERT_EQ(convert(HexText().linearBase(0x0080).data(0, a).data(16, b).record(5, 0, {0x00, 0x80, 0x00, 0x00}).end().str()), 1);
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(ReadBytes(bin()), expected);
    EXPECT_EQ(message(), "");
}

TEST_F(ConverterTest, ImageStartsAtTheLoadAddressNotAtTheFirstData) {
    // The tool loads the image at the base; data 0x20 above it must land 0x20 into the file.
    ASSERT_EQ(convert(HexText().linearBase(0x0080).data(0x20, Pattern(4, 9)).end().str()), 1);
    const auto bytes = ReadBytes(bin());
    ASSERT_EQ(bytes.size(), 0x24u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[0x20], Pattern(4, 9)[0]);
}

TEST_F(ConverterTest, MalformedTextGetsItsNumberedMessage) {
    const std::string good = HexText().linearBase(0x0080).data(0, Pattern(16, 1)).str();
    expectFailure(good, "1:*.Hex");
    expectFailure(good + ":10000000ZZ\n:00000001FF\n", "2:*.Hex");
    expectFailure(good + ":100\n:00000001FF\n", "2:*.Hex");   // half a pair
    expectFailure(good + ": 0000000\n:00000001FF\n", "2:*.Hex");  // blank inside a record
    expectFailure(good + ":000000\n:00000001FF\n", "3:*.Hex");
    expectFailure(good + ":1000100001020304FF\n:00000001FF\n", "4:*.Hex");  // count beyond the record
    expectFailure(good + HexText().record(6, 0, {1}).end().str(), "6:*.Hex");
    expectFailure(HexText().linearBase(0x0080).raw(":0400000001020304F1\n").end().str(), "7:*.Hex");
    expectFailure("garbage" + good + ":00000001FF\n", "output bin file length was wrong");
    expectFailure(HexText().linearBase(0x0080).end().str(), "output bin file length was wrong");
}

TEST_F(ConverterTest, UnknownRecordTypeDoesNotPassAsATruncatedImage) {
    // Data after the unknown record would be lost; the conversion must fail instead.
    expectFailure(HexText().linearBase(0x0080).data(0, Pattern(16, 1)).record(9, 0, {}).data(16, Pattern(16, 2)).end().str(),
                  "6:*.Hex");
}

TEST_F(ConverterTest, AddressesThatGoBackwardsOrOverlapAreRefused) {
    expectFailure(HexText().linearBase(0x0080).data(0x10, Pattern(16, 1)).data(0x00, Pattern(16, 2)).end().str(), "8:*.Hex");
    expectFailure(HexText().linearBase(0x0080).data(0x00, Pattern(16, 1)).data(0x08, Pattern(16, 2)).end().str(), "8:*.Hex");
    expectFailure(HexText().linearBase(0x0080).data(0, Pattern(16, 1)).linearBase(0x007F).data(0, Pattern(16, 2)).end().str(),
                  "8:*.Hex");
}

TEST_F(ConverterTest, LimitsOfInputOutputAndRecordCount) {
    // Data ending exactly at 409,600 bytes is accepted; one byte more is not.
    HexText edge;
    edge.linearBase(0x0080).linearBase(0x0086).data(0x3FFF, {0xAB});  // 0x63FFF + 1 = 409,600
    ASSERT_EQ(convert(edge.end().str()), 1) << message();
    EXPECT_EQ(ReadBytes(bin()).size(), 409600u);
    fs::remove(bin());
    expectFailure(HexText().linearBase(0x0080).linearBase(0x0086).data(0x4000, {0xAB}).end().str(), "5:*.Hex");

    // 25,601 one-byte data records (well under the input limit) are too many.
    HexText many;
    many.linearBase(0x0080);
    for (uint32_t i = 0; i < 25601; ++i) many.data(static_cast<uint16_t>(i), {0x11});
    expectFailure(many.end().str(), "5:*.Hex");

    // One byte over the input limit.
    std::string big = Chunked(Pattern(16, 1), {16});
    big.insert(0, std::string(819201 - big.size(), '\n'));
    ASSERT_EQ(big.size(), 819201u);
    EXPECT_EQ(convert(big), 0);
    EXPECT_EQ(message(), "Hex file is larger than 819200 bytes:" + hex().string());
}

TEST_F(ConverterTest, FileProblemsNameThePath) {
    const fs::path missing = dir_.path() / "missing.hex";
    EXPECT_EQ(ravelin_(missing.c_str(), bin().c_str()), 0);
    EXPECT_EQ(message(), "read file size was wrong:" + missing.string());

    WriteText(hex(), Chunked(Pattern(32, 1), {16}));
    const fs::path noFolder = dir_.path() / "no" / "such" / "out.bin";
    EXPECT_EQ(ravelin_(hex().c_str(), noFolder.c_str()), 0);
    EXPECT_EQ(message(), "Can't create bin file:" + noFolder.string());

    // A successful conversion replaces an existing file and clears the old message.
    WriteText(bin(), std::string(100000, 'x'));
    EXPECT_EQ(ravelin_(hex().c_str(), bin().c_str()), 1);
    EXPECT_EQ(ReadBytes(bin()).size(), 32u);
    EXPECT_EQ(message(), "");
}

}  // namespace
}  // namespace flintcast::testing

namespace flintcast::testing {
namespace {

TEST_F(ConverterTest, DefaultPackageProgrammerMatchesObjcopy) {
    const fs::path programmer = fs::path(FLINTCAST_BIN_DIR).parent_path() / "package" / "default" / "NPRG6260.hex";
    if (!fs::exists(programmer)) GTEST_SKIP() << "this build embeds another package folder";
    std::ifstream in(programmer, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    expectSameAsObjcopy(text);
    const auto bytes = ReadBytes(bin());
    ASSERT_GE(bytes.size(), 32u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "FCPROG01");
}

}  // namespace
}  // namespace flintcast::testing
