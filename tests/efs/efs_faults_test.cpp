// Device answers the EFS operations must not be fooled by: answers without their closing flag,
// refused writes, unsafe names in a listing and a listing that breaks off.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "engine/efs_client.h"
#include "engine/efs_directory.h"
#include "engine/efs_user_data.h"
#include "tests/at/scripted_port.h"
#include "devkit/worker_rig.h"

namespace flintcast::testing {
namespace {

namespace efs = engine::efs;
// Slow enough that a loaded machine answers within the timed readers' limits.
constexpr double kScale = 0.02;
using Bytes = std::vector<uint8_t>;
// Answers one request payload with a reply payload (empty: silence).
using Device = std::function<Bytes(const Bytes& request)>;

using byte_order::PutLe32;
Bytes Head(const Bytes& request) { return Bytes(request.begin(), request.begin() + 4); }
uint16_t CommandOf(const Bytes& request) { return byte_order::Le16(request, 2); }

// A scripted device behind ttyUSB0 that decodes each request frame.
class ScriptedEfs {
public:
    ScriptedEfs(WorkerRig& rig, Device device, bool closingFlag = true)
        : port_(rig.root.path(), "ttyUSB0", [this, device, closingFlag](const std::string& chunk) {
              std::string answer;
              for (const char c : chunk) {
                  if (decoder_.feed(static_cast<uint8_t>(c)) != hdlc::FrameDecoder::Status::Frame) continue;
                  const auto p = decoder_.payload();
                  const Bytes reply = device(Bytes(p.begin(), p.end()));
                  if (reply.empty()) continue;
                  auto frame = hdlc::EncodeFrame(reply, false);
                  if (!closingFlag) frame.pop_back();
                  answer.append(frame.begin(), frame.end());
              }
              return answer;
          }) {
        rig.serial.diagPortName = "ttyUSB0";
        rig.serial.OpenDiagPort();
    }

private:
    hdlc::FrameDecoder decoder_{false};
    ScriptedPort port_;
};

Bytes Errno(const Bytes& request, uint32_t err) {
    Bytes r = Head(request);
    PutLe32(r, err);
    return r;
}

Bytes Entry(const Bytes& request, uint8_t type, uint16_t mode, const std::string& name) {
    Bytes r = Head(request);
    PutLe32(r, 1);                                    // handle
    r.insert(r.end(), request.begin() + 8, request.begin() + 12);  // sequence
    PutLe32(r, 0);                                    // error number
    PutLe32(r, type);
    PutLe32(r, mode);
    for (int i = 0; i < 4; ++i) PutLe32(r, 0);        // size and three times
    r.insert(r.end(), name.begin(), name.end());
    r.push_back(0);
    return r;
}

// A device whose directory "d" lists `names` (type, mode, name) and then ends; entry
// numbers past `answerUpTo` go unanswered.
Device Listing(std::vector<std::tuple<uint8_t, uint16_t, std::string>> names, uint32_t answerUpTo = 1000) {
    return [names, answerUpTo](const Bytes& req) -> Bytes {
        switch (CommandOf(req)) {
            case 0x0B: {
                Bytes r = Head(req);
                PutLe32(r, 1);
                PutLe32(r, 0);
                return r;
            }
            case 0x0C: {
                const uint32_t seq = efs::Le32At(req, 8);
                if (seq > answerUpTo) return {};
                if (seq > names.size()) return Entry(req, 0, 0, "");
                const auto& [type, mode, name] = names[seq - 1];
                return Entry(req, type, mode, name);
            }
            case 0x0D: return Errno(req, 0);
            default: return {};
        }
    };
}

TEST(EfsFaults, AnswersWithoutClosingFlagAreNeverAccepted) {
    WorkerRig rig(46, kScale);
    // A device that answers every status request "no such file", but never closes the frame.
    ScriptedEfs device(rig, [](const Bytes& req) { return Errno(req, efs::kErrNoEntry); }, false);
    engine::EfsClient efs(rig.ctx);
    EXPECT_EQ(efs.EfsPathMissing("/a"), 1) << "an unfinished answer keeps the file in the list";
    uint32_t size = 0;
    EXPECT_EQ(efs.OpenEfsFileForRead("/a", size), 1);
    EXPECT_TRUE(rig.reporter.ok());
}

TEST(EfsFaults, RefusedWriteIsAnErrorNotASuccess) {
    WorkerRig rig(46, kScale);
    ScriptedEfs device(rig, [](const Bytes& req) -> Bytes {
        switch (CommandOf(req)) {
            case 0x13: return Errno(req, 0);
            case 0x02: {
                Bytes r = Head(req);
                PutLe32(r, 0);
                PutLe32(r, 0);
                return r;
            }
            case 0x05: {  // handle 0 echoed, nothing written: the file system is full
                Bytes r = Head(req);
                PutLe32(r, 0);
                r.insert(r.end(), req.begin() + 8, req.begin() + 12);
                PutLe32(r, 0xFFFFFFFF);
                PutLe32(r, 28);
                return r;
            }
            default: return Errno(req, 0);
        }
    });
    TempDir dir;
    const auto pc = (dir.path() / "x.bin").string();
    std::ofstream(pc, std::ios::binary) << std::string(100, 'x');
    engine::EfsClient efs(rig.ctx);
    ASSERT_EQ(efs.OpenEfsFileForWrite("/x.bin"), 0);
    efs.StreamFileToEfs(pc, 100);
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("x.bin, fail to write block 1 of 1"), std::string::npos);
    size_t retries = 0;
    for (const auto& text : rig.texts()) retries += text == "Re-Downloading D032......";
    EXPECT_EQ(retries, 3u);
}

TEST(EfsFaults, UnsafeNamesFromTheDeviceStayOutOfTheBackup) {
    WorkerRig rig(46, kScale);
    ScriptedEfs device(rig, Listing({{1, 0x41FF, ".."},
                                     {1, 0x41FF, "."},
                                     {0, 0x81B6, "../../evil"},
                                     {0, 0x81B6, "sub\\x"},
                                     {0, 0x81B6, std::string("bad\x01")},
                                     {0, 0x8100, "owner-only"},  // mode low byte 0: still a file
                                     {0, 0x81B6, "ok.dat"}}));
    engine::EfsClient efs(rig.ctx);
    engine::EfsListing listing;
    EXPECT_EQ(engine::EnumEfsDir(efs, "/d", listing), 0);
    EXPECT_TRUE(listing.directories.empty());
    EXPECT_EQ(listing.files, (std::vector<std::string>{"d/owner-only", "d/ok.dat"}));
    size_t refused = 0;
    for (const auto& text : rig.texts()) refused += text.rfind("[EFS] Name refused", 0) == 0;
    EXPECT_EQ(refused, 4u);
    EXPECT_TRUE(rig.posted("[EFS] Name refused, not backed up: d/../../evil"));
}

TEST(EfsFaults, ListingThatBreaksOffIsAnError) {
    WorkerRig rig(46, kScale);
    ScriptedEfs device(rig, Listing({{0, 0x81B6, "a"}, {0, 0x81B6, "b"}}, 1));
    engine::EfsClient efs(rig.ctx);
    engine::EfsListing listing;
    EXPECT_EQ(engine::EnumEfsDir(efs, "/d", listing), -1);
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("[EFS] Fail to read directory:d"), std::string::npos);
}

TEST(EfsFaults, UnsafeConfiguredPathIsRefused) {
    WorkerRig rig(46, kScale);
    ScriptedEfs device(rig, [](const Bytes& req) { return Errno(req, 0); });
    engine::EfsClient efs(rig.ctx);
    config::ProjectConfig config;
    config.userDataDirs = {"/user/../../../outside"};
    TempDir backup;
    engine::EfsUserData userData(efs, config);
    userData.SetBackupFolder((backup.path() / "dev").string());
    userData.EnumDirAndMakeDir();
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("[EFS] Path refused"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(backup.path() / "outside"));
}

}  // namespace
}  // namespace flintcast::testing
