// The device model: path handling, hashes, version markers, RAM and flash limits, and the
// state-file export.
#include <cstring>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sim/model/device_model.h"
#include "sim/model/sha256.h"
#include "devkit/temp_dir.h"

namespace flintcast::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(EfsTreeTest, PathsAreNormalisedAndEscapesRefused) {
    EXPECT_EQ(EfsTree::Normalize("a//b/"), "/a/b");
    EXPECT_EQ(EfsTree::Normalize("/"), "/");
    EXPECT_EQ(EfsTree::Normalize(""), std::nullopt);
    EXPECT_EQ(EfsTree::Normalize("/a/../b"), std::nullopt);
    EXPECT_EQ(EfsTree::Normalize("./a"), std::nullopt);
    EXPECT_EQ(EfsTree::Normalize(std::string(1024, 'x')), std::nullopt);

    EfsTree tree;
    ASSERT_TRUE(tree.AddFile("/a/b/c.dat", {1, 2}));
    EXPECT_TRUE(tree.Find("/a/b")->isDir);
    EXPECT_FALSE(tree.AddFile("/a/b/c.dat/d", {}));  // a file is no directory
    std::vector<std::string> names;
    ASSERT_EQ(tree.List("/", names), 0);
    EXPECT_EQ(names, std::vector<std::string>{"a"});
    EXPECT_EQ(tree.Write("/a/b/c.dat", 4, Bytes{9}.data(), 1), 0);
    EXPECT_EQ(tree.Find("/a/b/c.dat")->contents, (Bytes{1, 2, 0, 0, 9}));
    EXPECT_EQ(tree.UsedBytes(), 5u);
    EXPECT_EQ(tree.Write("/a/b/c.dat", 0xFFFFFF00u, Bytes{9}.data(), 1), efs_errno::kNoSpace);
}

TEST(Sha256Test, KnownDigests) {
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string abc = "abc";
    EXPECT_EQ(Sha256Hex(Bytes(abc.begin(), abc.end())),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha256Hex(Bytes(two.begin(), two.end())),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Fed in odd pieces, the digest is the same as in one go.
    Bytes big(1000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
    Sha256 pieces;
    pieces.Update(std::span(big).subspan(0, 63));
    pieces.Update(std::span(big).subspan(63, 2));
    pieces.Update(std::span(big).subspan(65));
    Sha256 whole;
    whole.Update(big);
    EXPECT_EQ(pieces.Finish(), whole.Finish());
}

Bytes WithMarker(size_t at, const std::string& text, bool nul = true, size_t size = 8192) {
    Bytes image(size, 0xFF);
    const std::string marked = std::string(kVersionMarker) + text;
    std::memcpy(image.data() + at, marked.data(), marked.size());
    if (nul) image[at + marked.size()] = 0;
    return image;
}

TEST(DeviceModelTest, VersionComesOnlyFromAWellFormedMarkerInTheFirstFourKiB) {
    DeviceModel model;
    model.softwareVersion = "OLD";
    EXPECT_FALSE(model.AdoptVersionFromAmss(WithMarker(4090, "V2")));  // marker starts too late
    EXPECT_FALSE(model.AdoptVersionFromAmss(WithMarker(10, "V2", false)));
    EXPECT_FALSE(model.AdoptVersionFromAmss(WithMarker(10, "V2\x01")));
    EXPECT_FALSE(model.AdoptVersionFromAmss(WithMarker(10, "")));
    EXPECT_FALSE(model.AdoptVersionFromAmss(WithMarker(10, std::string(200, 'A'))));
    Bytes tail(12);
    std::memcpy(tail.data(), "xxFCSWVER:V9", 12);  // no NUL before the end of the image
    EXPECT_FALSE(model.AdoptVersionFromAmss(tail));
    EXPECT_EQ(model.softwareVersion, "OLD");
    EXPECT_TRUE(model.AdoptVersionFromAmss(WithMarker(4000, "BD_V1.2")));
    EXPECT_EQ(model.softwareVersion, "BD_V1.2");
}

TEST(DeviceModelTest, DownloadRamIsCappedAndReadOnlyWhereWritten) {
    DmssRam ram;
    const Bytes data(100, 7);
    ASSERT_TRUE(ram.Write(4090, data.data(), data.size()));
    EXPECT_EQ(ram.Read(4090, 100), data);
    EXPECT_EQ(ram.Read(4089, 100), std::nullopt);
    EXPECT_EQ(ram.Ranges(), (std::vector<std::pair<uint32_t, uint32_t>>{{4090, 100}}));
    EXPECT_FALSE(ram.Write(0xFFFFFFF0u, data.data(), 32));
    Bytes page(DmssRam::kPageBytes, 1);
    size_t accepted = 0;
    for (uint32_t p = 0; p < DmssRam::kMaxPages + 4; ++p) {
        if (ram.Write(0x10000000u + p * DmssRam::kPageBytes, page.data(), page.size())) ++accepted;
    }
    EXPECT_LT(accepted, DmssRam::kMaxPages);
}

TEST(DeviceModelTest, FlashFilesAreNamedByKindAndGapsRefused) {
    flintcast::testing::TempDir dir;
    FlashStore store(dir.path());
    EXPECT_EQ(ImageKindFromOpen(0x0E, Bytes{'0', ':', 'F', 'T', 'L'}), std::nullopt);  // no NUL
    EXPECT_EQ(ImageKindFromOpen(0x0E, Bytes{'/', 'x', 0}), std::nullopt);
    EXPECT_EQ(ImageKindFromOpen(0x0E, Bytes{'0', ':', 'U', 'S', 'E', 'D', 'O', 'W', 'N', 'L', 'O', 'A', 'D', 0}),
              ImageKind::UseDownload);
    EXPECT_EQ(store.Write(0, Bytes{1}.data(), 1), FlashStore::WriteResult::NoImageOpen);
    store.Open(ImageKind::Cfgdata, {});
    const Bytes block(10, 3);
    EXPECT_EQ(store.Write(0, block.data(), 10), FlashStore::WriteResult::Ok);
    EXPECT_EQ(store.Write(11, block.data(), 10), FlashStore::WriteResult::Gap);
    EXPECT_EQ(store.Write(5, block.data(), 10), FlashStore::WriteResult::Ok);  // retransmission overlap
    EXPECT_EQ(store.Write(15, block.data(), FlashStore::kMaxImageBytes), FlashStore::WriteResult::TooLarge);
    EXPECT_EQ(store.Close(), ImageKind::Cfgdata);
    EXPECT_EQ(store.images().at(ImageKind::Cfgdata).size, 15u);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "cfgdata.bin"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u);  // no temporary file left behind
}

TEST(DeviceModelTest, StateExportListsWhatTestsCheck) {
    flintcast::testing::TempDir dir;
    DeviceModel model(dir.path());
    model.nv.Set({550, {0xAB}, NvStatus::Inactive});
    model.nv.SetRf({20208, {1, 2, 3}});
    model.efs.AddFile("/a.txt", {'a', 'b', 'c'});
    model.flash.Open(ImageKind::Amss, {1, 2});
    model.flash.Write(0, Bytes{1, 2, 3}.data(), 3);
    model.flash.Close();
    model.Count("diag.nv_read");
    model.Count("diag.nv_read");
    const nlohmann::json state = model.ToJson();
    EXPECT_EQ(state["nv_items"][0]["id"], 550);
    EXPECT_EQ(state["nv_items"][0]["status"], "inactive");
    EXPECT_EQ(state["nv_items"][0]["data"].get<std::string>().substr(0, 4), "ab00");
    EXPECT_EQ(state["rf_nv_items"][0]["data"], "010203");
    EXPECT_EQ(state["efs"][1]["path"], "/a.txt");
    EXPECT_EQ(state["efs"][1]["sha256"], "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(state["images"]["amss"]["size"], 3);
    EXPECT_EQ(state["images"]["amss"]["header_size"], 2);
    EXPECT_EQ(state["requests"]["diag.nv_read"], 2);
    EXPECT_TRUE(state["partition_table"].is_null());
}

}  // namespace
}  // namespace flintcast::sim
