// Request bytes, answer decoding and the PC layout of the EFS copies.
#include <gtest/gtest.h>

#include "engine/efs_mirror.h"
#include "engine/efs_requests.h"

using namespace flintcast::engine;

namespace {
std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }
}  // namespace

TEST(EfsRequests, AreByteExact) {
    using V = std::vector<uint8_t>;
    EXPECT_EQ(efs::StatFsRequest(), (V{0x4B, 0x13, 0x13, 0x00, 0x00}));
    EXPECT_EQ(efs::OpenForWriteRequest("/a"),
              (V{0x4B, 0x13, 0x02, 0x00, 0x41, 0x02, 0x00, 0x00, 0xB6, 0x01, 0x00, 0x00, '/', 'a', 0x00}));
    EXPECT_EQ(efs::OpenForReadRequest("/a"),
              (V{0x4B, 0x13, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x01, 0x00, 0x00, '/', 'a', 0x00}));
    // File and directory requests name the handle the device's open answer gave.
    EXPECT_EQ(efs::ReadRequest(3, 512),
              (V{0x4B, 0x13, 0x04, 0x00, 3, 0, 0, 0, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00}));
    const V data{0x7E, 0x7D};
    EXPECT_EQ(efs::WriteRequest(0x104, 1488, data),
              (V{0x4B, 0x13, 0x05, 0x00, 4, 1, 0, 0, 0xD0, 0x05, 0, 0, 0x7E, 0x7D}));
    EXPECT_EQ(efs::CloseRequest(5), (V{0x4B, 0x13, 0x03, 0x00, 5, 0, 0, 0}));
    EXPECT_EQ(efs::MakeDirRequest("d"), (V{0x4B, 0x13, 0x09, 0x00, 0xFF, 0x01, 'd', 0x00}));
    EXPECT_EQ(efs::RemoveDirRequest("d"), (V{0x4B, 0x13, 0x0A, 0x00, 'd', 0x00}));
    EXPECT_EQ(efs::UnlinkRequest("f"), (V{0x4B, 0x13, 0x08, 0x00, 'f', 0x00}));
    EXPECT_EQ(efs::OpenDirRequest("d"), (V{0x4B, 0x13, 0x0B, 0x00, 'd', 0x00}));
    EXPECT_EQ(efs::CloseDirRequest(3), (V{0x4B, 0x13, 0x0D, 0x00, 3, 0, 0, 0}));
    EXPECT_EQ(efs::StatRequest("f"), (V{0x4B, 0x13, 0x0F, 0x00, 'f', 0x00}));
    // Entry numbers up to 255 look as a single byte; past it the field carries on counting,
    // so a long listing never wraps back to its start.
    EXPECT_EQ(efs::ReadDirRequest(1, 7), (V{0x4B, 0x13, 0x0C, 0x00, 1, 0, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(efs::ReadDirRequest(4, 300), (V{0x4B, 0x13, 0x0C, 0x00, 4, 0, 0, 0, 0x2C, 0x01, 0, 0}));
}

TEST(EfsRequests, DirectoryEntriesDecodeSafely) {
    std::vector<uint8_t> reply(40, 0);
    reply[0] = 0x4B, reply[1] = 0x13, reply[2] = 0x0C;
    reply[16] = 0;
    reply[20] = 0x00, reply[21] = 0x81;  // a file readable by its owner only: low mode byte 0
    for (uint8_t b : Bytes("a.dat")) reply.push_back(b);
    reply.push_back(0);
    reply.insert(reply.end(), {0xAA, 0xBB, 0x7E});  // check sequence and flag
    const auto entry = efs::DecodeDirEntry(reply, 3);
    EXPECT_EQ(entry.name, Bytes("a.dat"));
    EXPECT_TRUE(entry.isFile());
    EXPECT_FALSE(entry.isEnd()) << "a real file must not end the listing";

    // A name without its closing 0x00 stops at the check sequence; a short answer has no name.
    std::vector<uint8_t> unterminated(reply.begin(), reply.begin() + 45);
    unterminated.insert(unterminated.end(), {0xAA, 0xBB, 0x7E});
    EXPECT_EQ(efs::DecodeDirEntry(unterminated, 3).name, Bytes("a.dat"));
    const auto shortEntry = efs::DecodeDirEntry(std::vector<uint8_t>{0x4B, 0x13, 0x0C}, 3);
    EXPECT_TRUE(shortEntry.name.empty());
    EXPECT_TRUE(shortEntry.isEnd());
    EXPECT_EQ(efs::Le32At(std::vector<uint8_t>{1, 2}, 0), 0x0201u) << "bytes past the end read as 0";
}

TEST(EfsMirror, CopiesStayInsideTheEfsFolder) {
    EXPECT_EQ(MirrorPathOf("/b/SN[1]", "/a/b/c.dat"), "/b/SN[1]/EFS/a/b/c.dat");
    EXPECT_EQ(MirrorPathOf("/b", "user/cfg/a.dat"), "/b/EFS/user/cfg/a.dat");
    EXPECT_EQ(MirrorPathOf("/b", "//user//cfg/"), "/b/EFS/user/cfg");
    EXPECT_EQ(MirrorPathOf("/b", "/"), "/b/EFS");
    EXPECT_EQ(MirrorParentOf("/b/EFS/a/c.dat"), "/b/EFS/a");
    for (const char* bad : {"", "/a/../../etc/passwd", "..", "/a/./b", "/a/b\n"}) {
        EXPECT_FALSE(MirrorPathOf("/b", bad).has_value()) << bad;
    }
}

TEST(EfsMirror, ListedNamesAreJudgedBeforeUse) {
    EXPECT_EQ(CheckEntryName(Bytes("a.dat")), EntryName::Usable);
    EXPECT_EQ(CheckEntryName(Bytes("..a")), EntryName::Usable);
    EXPECT_EQ(CheckEntryName(Bytes("caf\xC3\xA9")), EntryName::Usable);
    EXPECT_EQ(CheckEntryName(Bytes(".")), EntryName::Self);
    for (const std::string& bad : std::vector<std::string>{"..", "../x", "a/b", "a\\b", "", std::string("a\x01", 2), "\xC3", "\xC0\xAF",
                                  "\xED\xA0\x80", "\xFF"}) {
        EXPECT_EQ(CheckEntryName(Bytes(bad)), EntryName::Refused) << PrintableName(Bytes(bad));
    }
    EXPECT_EQ(PrintableName(Bytes("a\\\x01")), "a\\x5C\\x01");
}
