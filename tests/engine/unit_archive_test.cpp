// The unit archive file: its bytes exactly, the round trip, and the refusal of every kind of
// damage before anything of it is trusted.
#include <gtest/gtest.h>

#include <fstream>

#include "codec/sha256.h"
#include "devkit/temp_dir.h"
#include "engine/unit_archive.h"

namespace flintcast::engine::archive {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

void Append(std::vector<uint8_t>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

std::vector<uint8_t> WithDigest(std::vector<uint8_t> body) {
    const auto digest = sha256::Of(body);
    body.insert(body.end(), digest.begin(), digest.end());
    return body;
}

UnitArchive Sample() {
    UnitArchive unit;
    unit.unitTag = "SN[A1]";
    unit.items.push_back({Kind::Identity, 3, "IMEI_1", Bytes({'8', '6'})});
    unit.items.push_back({Kind::Nv, 550, "", std::vector<uint8_t>(128, 0xA5)});
    unit.items.push_back({Kind::RfNv, 6503, "", Bytes({1, 2, 3})});
    unit.items.push_back({Kind::EfsDir, 0, "/nvm", {}});
    unit.items.push_back({Kind::EfsFile, 0, "/nvm/x", Bytes({0x7E, 0x7D})});
    return unit;
}

// The encoding of Sample(), written out field by field.
std::vector<uint8_t> SampleBody() {
    std::vector<uint8_t> b;
    Append(b, "FCUNITAR");
    for (int v : {1, 0, 6, 0}) b.push_back(static_cast<uint8_t>(v));  // version 1, tag length 6
    Append(b, "SN[A1]");
    for (int v : {5, 0, 0, 0}) b.push_back(static_cast<uint8_t>(v));  // five records
    // identity value 3 "IMEI_1", 2 bytes
    for (int v : {1, 3, 0, 6, 0}) b.push_back(static_cast<uint8_t>(v));
    Append(b, "IMEI_1");
    for (int v : {2, 0, 0, 0, 0x38, 0x36}) b.push_back(static_cast<uint8_t>(v));  // "86"
    // NV 550 (0x0226), no name, 128 bytes
    for (int v : {2, 0x26, 0x02, 0, 0, 128, 0, 0, 0}) b.push_back(static_cast<uint8_t>(v));
    b.insert(b.end(), 128, 0xA5);
    // RF NV 6503 (0x1967), 3 bytes
    for (int v : {3, 0x67, 0x19, 0, 0, 3, 0, 0, 0, 1, 2, 3}) b.push_back(static_cast<uint8_t>(v));
    // directory /nvm
    for (int v : {4, 0, 0, 4, 0}) b.push_back(static_cast<uint8_t>(v));
    Append(b, "/nvm");
    for (int v : {0, 0, 0, 0}) b.push_back(static_cast<uint8_t>(v));
    // file /nvm/x, 2 bytes
    for (int v : {5, 0, 0, 6, 0}) b.push_back(static_cast<uint8_t>(v));
    Append(b, "/nvm/x");
    for (int v : {2, 0, 0, 0, 0x7E, 0x7D}) b.push_back(static_cast<uint8_t>(v));
    return b;
}

TEST(UnitArchiveFormat, EncodesFieldByFieldAndReadsItBack) {
    const auto bytes = Encode(Sample());
    EXPECT_EQ(bytes, WithDigest(SampleBody()));
    const auto decoded = Decode(bytes);
    ASSERT_TRUE(decoded.archive) << decoded.error;
    EXPECT_EQ(*decoded.archive, Sample());

    // Saved and loaded through a file, as the run and restore-archive use it.
    testing::TempDir dir;
    std::string error;
    ASSERT_TRUE(Save(dir.path() / kFileName, Sample(), error)) << error;
    const auto loaded = Load(dir.path() / kFileName);
    ASSERT_TRUE(loaded.archive) << loaded.error;
    EXPECT_EQ(*loaded.archive, Sample());
    EXPECT_EQ(ItemLabel(Sample().items[1]), "NV 550");
    EXPECT_TRUE(LabelMatches(Sample().items[2], "rf:6503"));
    EXPECT_TRUE(LabelMatches(Sample().items[4], "EFS file /nvm/x"));
    EXPECT_TRUE(LabelMatches(Sample().items[0], "imei_1"));
}

TEST(UnitArchiveFormat, RefusesDamageWithItsReason) {
    const auto good = WithDigest(SampleBody());
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    auto flipped = good;
    flipped[60] ^= 0x01;
    cases.push_back({"one bit changed", flipped, "check sum"});
    cases.push_back({"cut short", {good.begin(), good.begin() + 50}, "check sum"});
    cases.push_back({"empty", {}, "not a unit archive"});
    auto magic = good;
    magic[0] = 'X';
    cases.push_back({"other magic", magic, "not a unit archive"});

    // Damage that keeps a good digest: the contents themselves are checked as well.
    auto body = SampleBody();
    body[8] = 2;
    cases.push_back({"version 2", WithDigest(body), "format version 2"});
    body = SampleBody();
    body[18] = 6;  // six records announced, five present
    cases.push_back({"record missing", WithDigest(body), "cut short"});
    body = SampleBody();
    body.push_back(0);
    cases.push_back({"bytes behind the records", WithDigest(body), "behind its last record"});
    UnitArchive twice = Sample();
    twice.items.push_back(twice.items[1]);
    cases.push_back({"an item twice", Encode(twice), "appears twice"});
    UnitArchive escape = Sample();
    escape.items[4].name = "/nvm/../../etc/x";
    cases.push_back({"a path that climbs out", Encode(escape), "not valid"});
    UnitArchive shortNv = Sample();
    shortNv.items[1].data.resize(127);
    cases.push_back({"a short NV item", Encode(shortNv), "128 bytes"});
    UnitArchive misnamed = Sample();
    misnamed.items[0].name = "IMEI";
    cases.push_back({"an identity value under another key", Encode(misnamed), "named"});
    UnitArchive kind = Sample();
    kind.items[2].kind = static_cast<Kind>(9);
    cases.push_back({"an unknown kind", Encode(kind), "unknown"});

    for (const auto& c : cases) {
        const auto decoded = Decode(c.bytes);
        EXPECT_FALSE(decoded.archive) << c.what;
        EXPECT_NE(decoded.error.find(c.reason), std::string::npos) << c.what << ": " << decoded.error;
    }
}

TEST(UnitArchiveFormat, AFailedSaveLeavesTheEarlierFile) {
    testing::TempDir dir;
    std::string error;
    ASSERT_TRUE(Save(dir.path() / kFileName, Sample(), error));
    // A folder that does not exist: nothing is written, the reason is given.
    EXPECT_FALSE(Save(dir.path() / "missing" / kFileName, Sample(), error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_TRUE(Load(dir.path() / kFileName).archive);
}

}  // namespace
}  // namespace flintcast::engine::archive
