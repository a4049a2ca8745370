// SHA-256 against the FIPS 180-4 examples, the manifest's text, and the check of an image
// folder against its manifest.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "codec/sha256.h"
#include "controller/package_manifest.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(Sha256Test, MatchesTheStandardsExamplesWhateverThePieces) {
    EXPECT_EQ(sha256::Hex(sha256::Of(Bytes(""))), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256::Hex(sha256::Of(Bytes("abc"))), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256::Hex(sha256::Of(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million "a", fed in pieces that straddle the 64-byte blocks every which way.
    const std::string million(1'000'000, 'a');
    sha256::Hasher hasher;
    size_t at = 0;
    for (size_t piece = 1; at < million.size(); piece = piece * 7 % 193 + 1) {
        const size_t take = std::min(piece, million.size() - at);
        hasher.Update(Bytes(std::string_view(million).substr(at, take)));
        at += take;
    }
    EXPECT_EQ(sha256::Hex(hasher.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // 55, 56 and 64 bytes: the padding that fits one block, and the two that need a second.
    EXPECT_EQ(sha256::Hex(sha256::Of(Bytes(std::string(55, 'a')))),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(sha256::Hex(sha256::Of(Bytes(std::string(56, 'a')))),
              "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(sha256::Hex(sha256::Of(Bytes(std::string(64, 'a')))),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(PackageManifestTest, AFolderMatchesItsManifestUntilAnImageChanges) {
    testing::TempDir dir;
    const fs::path folder = dir.path();
    Write(folder / "amss.mbn", std::string(5000, 'x'));
    Write(folder / "dsp1.mbn", "dsp");
    std::string error;
    ASSERT_EQ(controller::WriteManifest(folder, error), 2u) << error;
    const std::vector<std::string> used{"amss.mbn", "dsp1.mbn"};
    EXPECT_TRUE(controller::CheckPackageManifest(folder, used).ok());
    EXPECT_TRUE(controller::CheckPackageManifest(folder, used).present);

    // Same size, one byte changed; then cut short; then an image the manifest does not list.
    std::string changed(5000, 'x');
    changed.back() = 'y';
    Write(folder / "amss.mbn", changed);
    auto verdict = controller::CheckPackageManifest(folder, used);
    ASSERT_EQ(verdict.problems.size(), 1u);
    EXPECT_NE(verdict.problems[0].find((folder / "amss.mbn").string() + " does not match the package manifest: SHA-256"),
              std::string::npos)
        << verdict.problems[0];
    Write(folder / "amss.mbn", "x");
    verdict = controller::CheckPackageManifest(folder, {"amss.mbn", "dsp1.mbn", "dsp2.mbn"});
    ASSERT_EQ(verdict.problems.size(), 2u);
    EXPECT_NE(verdict.problems[0].find("Image dsp2.mbn is not listed"), std::string::npos) << verdict.problems[0];
    EXPECT_NE(verdict.problems[1].find("1 bytes, the manifest says 5000"), std::string::npos) << verdict.problems[1];

    // A manifest that is not one: refused with its line, never taken as "nothing listed".
    for (const char* bad : {"abc 12 amss.mbn\n", "# header\n\nzz\n",
                            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 0 ../etc/passwd\n",
                            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 -1 a\n"}) {
        Write(folder / "manifest.sha256", bad);
        verdict = controller::CheckPackageManifest(folder, {});
        ASSERT_EQ(verdict.problems.size(), 1u) << bad;
        EXPECT_NE(verdict.problems[0].find("cannot be read: line"), std::string::npos) << verdict.problems[0];
    }
    fs::remove(folder / "manifest.sha256");
    verdict = controller::CheckPackageManifest(folder, used);
    EXPECT_FALSE(verdict.present);
    EXPECT_TRUE(verdict.ok());
}

}  // namespace
}  // namespace flintcast
