// NV operations against a scripted diagnostic port: request counts, the command list, restores
// of good and bad backup files, RF answers, the item 20208 correction and the stop request.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "engine/nv_items.h"
#include "tests/nv/fake_diag.h"
#include "devkit/files.h"

using flintcast::testing::ReadBytes;

using namespace flintcast;
using namespace flintcast::engine;
using flintcast::testing::Bytes;
using flintcast::testing::FakeDiag;
using flintcast::testing::WorkerRig;
namespace fs = std::filesystem;

namespace {

// A device that answers NV and RF NV requests through `nv` and `rf`, and echoes mode switches.
struct Device {
    std::function<Bytes(const Bytes&)> nv = [](const Bytes& r) { return flintcast::testing::NvAnswer(r, 0); };
    std::function<Bytes(const Bytes&)> rf = [](const Bytes& r) { return flintcast::testing::RfAnswer(r, 0, {1, 2, 3}); };
    Bytes operator()(const Bytes& r) const {
        if (r.size() == 4 && r[0] == 0x4B && r[1] == 0x04) return flintcast::testing::ModeSwitchEcho();
        if (r[0] == 0x26 || r[0] == 0x27) return nv(r);
        if (r[0] == 0x4B && r[1] == 0x0B) return rf(r);
        return {0x13};
    }
};

struct NvRig {
    WorkerRig rig{46, 0.05};
    FakeDiag diag;
    NvItems nv{rig.ctx};
    fs::path nvBak = rig.root.path() / "nv.bak";
    fs::path nv1Bak = rig.root.path() / "nv1.bak";

    explicit NvRig(Device device = Device()) : diag(rig, device) {
        nv.SetBackupPaths(nvBak.string(), nv1Bak.string());
    }
    std::vector<Bytes> sent(uint8_t first) {
        std::vector<Bytes> out;
        for (auto& r : diag.requests()) {
            if (r[0] == first && !(r.size() == 4 && r[1] == 0x04)) out.push_back(r);
        }
        return out;
    }
};

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes NvRecord(uint16_t id, uint8_t fill) {
    Bytes r{static_cast<uint8_t>(id & 0xFF), static_cast<uint8_t>(id >> 8)};
    r.resize(130, fill);
    return r;
}

}  // namespace

TEST(NvRequestLoop, WrongFirstByteGetsTheLimitOfIdenticalRequests) {
    Device refusing;
    refusing.nv = [](const Bytes& r) { Bytes a = flintcast::testing::NvAnswer(r, 0); a[0] = 0x13; return a; };
    {
        NvRig t(refusing);
        t.rig.config.lteType = "";
        t.nv.BuildNvLists();
        t.nv.BackupNvItems();
        const auto reads = t.sent(0x26);
        ASSERT_EQ(reads.size(), 99u);
        EXPECT_EQ(reads.front(), reads.back());
        ASSERT_EQ(t.rig.errors().size(), 1u);
        EXPECT_EQ(t.rig.errors()[0], "ERROR, [141]NV_THERM_I:Fail to backup NV, Error code: 0");
    }
    {
        NvRig t(refusing);
        t.nv.WriteNvCommand("550", "01");
        EXPECT_EQ(t.sent(0x27).size(), 50u);
        ASSERT_EQ(t.rig.errors().size(), 1u);
        EXPECT_NE(t.rig.errors()[0].find("[550]:Fail to write NV"), std::string::npos);
    }
}

TEST(NvCommandList, WritesItemsAndRefusesBadEntries) {
    {
        NvRig t;
        t.rig.config.nvCommandList = {"550:01,0A,FF", "551:7F 80"};
        t.nv.WriteNvCommandList();
        const auto writes = t.sent(0x27);
        ASSERT_EQ(writes.size(), 2u);
        Bytes want = {0x27, 0x26, 0x02, 0x01, 0x0A, 0xFF};
        want.resize(133, 0);
        EXPECT_EQ(writes[0], want);
        EXPECT_EQ(writes[1][3], 0x7F);
        EXPECT_EQ(writes[1][4], 0x80);
        EXPECT_TRUE(t.rig.posted("[550]Write NV......OK"));
        EXPECT_TRUE(t.rig.errors().empty());
    }
    const std::string many = [] {
        std::string s = "00";
        for (int i = 1; i < 129; ++i) s += ",00";
        return s;
    }();
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{":01"}, "NVID is not contained in the configration!"},
        {{"55001"}, "NVID is not contained in the configration!"},
        {{"550:"}, "NVData is is incorrect!"},
        {{"550:1,0A"}, "String to hex failed!"},
        {{"550:01,,02"}, "String to hex failed!"},
        {{"550:" + many}, "NVData length is incorrect!"},
        {{"NV550:01"}, "NVID is not a number: NV550"},
        {{"70000:01"}, "NVID is not a number: 70000"},
        // Once an error is latched the later entries are parsed, not written.
        {{"550:ZZ", "551:01"}, "String to hex failed!"},
    };
    for (const auto& [list, text] : bad) {
        NvRig t;
        t.rig.config.nvCommandList = list;
        t.nv.WriteNvCommandList();
        EXPECT_TRUE(t.sent(0x27).empty()) << list[0];
        ASSERT_EQ(t.rig.errors().size(), 1u) << list[0];
        EXPECT_NE(t.rig.errors()[0].find(text), std::string::npos) << t.rig.errors()[0];
    }
}

TEST(NvRestore, InactiveItemIsLoggedAndTheRestGoesOn) {
    Device device;
    device.nv = [](const Bytes& r) { return flintcast::testing::NvAnswer(r, r[1] == 11 ? 5 : 0); };
    NvRig t(device);
    Bytes file;
    for (uint16_t id : {10, 11, 12}) {
        const Bytes rec = NvRecord(id, static_cast<uint8_t>(id));
        file.insert(file.end(), rec.begin(), rec.end());
    }
    WriteFile(t.nvBak, file);
    t.nv.RestoreNvItems();
    const auto writes = t.sent(0x27);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2][1], 12);
    EXPECT_EQ(writes[2][3], 12);
    EXPECT_TRUE(t.rig.posted("[11]:status Error Received:Item inactive"));
    EXPECT_TRUE(t.rig.posted("Restore NV......OK"));
    EXPECT_TRUE(t.rig.errors().empty());
    EXPECT_EQ(ReadBytes(t.nvBak), file);
}

TEST(NvRestore, BadBackupFilesGiveClearMessagesAndStayUnchanged) {
    struct Case {
        Bytes nvBak;
        std::string error;  // empty: no error
        std::string line;
    };
    Bytes oversized;
    for (int i = 0; i < 1501; ++i) {
        const Bytes rec = NvRecord(static_cast<uint16_t>(i), 1);
        oversized.insert(oversized.end(), rec.begin(), rec.end());
    }
    const Case cases[] = {
        {Bytes(131, 1), "backup file size error: ", ""},
        {oversized, "backup file size error: ", ""},
        {Bytes{}, "", "Backup file length <= 0"},
    };
    for (const auto& c : cases) {
        NvRig t;
        WriteFile(t.nvBak, c.nvBak);
        t.nv.RestoreNvItems();
        EXPECT_TRUE(t.sent(0x27).empty());
        if (c.error.empty()) {
            EXPECT_TRUE(t.rig.errors().empty());
            EXPECT_TRUE(t.rig.posted(c.line));
        } else {
            ASSERT_EQ(t.rig.errors().size(), 1u);
            EXPECT_NE(t.rig.errors()[0].find(c.error + t.nvBak.string()), std::string::npos) << t.rig.errors()[0];
        }
        EXPECT_EQ(ReadBytes(t.nvBak), c.nvBak);
    }
    {
        NvRig t;
        t.nv.RestoreNvItems();
        ASSERT_EQ(t.rig.errors().size(), 1u);
        EXPECT_NE(t.rig.errors()[0].find("Could not open backup file: " + t.nvBak.string()), std::string::npos);
        EXPECT_FALSE(fs::exists(t.nvBak));
    }
    // nv1.bak: a record cut short, and a record larger than the record buffer.
    const std::pair<Bytes, std::string> rfCases[] = {
        {Bytes{0xF0, 0x4E, 0x04, 0x00, 1, 2, 3, 4, 0xF1, 0x4E, 0x08, 0x00, 1, 2}, "Could not read from BIN file: "},
        {Bytes{0xF0, 0x4E, 0xFF, 0xFF, 1, 2}, "backup file size error: "},
    };
    for (const auto& [bytes, error] : rfCases) {
        NvRig t;
        WriteFile(t.nv1Bak, bytes);
        t.nv.RestoreRfNvItems();
        ASSERT_EQ(t.rig.errors().size(), 1u);
        EXPECT_NE(t.rig.errors()[0].find(error + t.nv1Bak.string()), std::string::npos) << t.rig.errors()[0];
        EXPECT_EQ(ReadBytes(t.nv1Bak), bytes);
    }
}

TEST(NvBackup, UitItemsOnlyForTheirProjectsAndPlainLengthChecked) {
    for (const auto& [project, newWays, read] : {std::tuple{38, false, true}, std::tuple{38, true, false},
                                                 std::tuple{36, false, false}}) {
        NvRig t;
        t.rig.ctx.projectType = project;
        t.rig.config.uitNewWays = newWays;
        t.nv.BuildNvLists();
        t.nv.BackupNvItems();
        // Distinct items asked for (a busy machine may make the loop ask twice).
        std::set<int> items;
        for (const auto& r : t.sent(0x26)) items.insert(r[1] | r[2] << 8);
        EXPECT_EQ(items.size(), read ? 51u : 49u) << project;  // 1749 is listed twice
        EXPECT_EQ(items.count(6503) + items.count(6504), read ? 2u : 0u) << project;
        EXPECT_EQ(fs::file_size(t.nvBak), (read ? 52u : 50u) * 130);
    }
    Device shortAnswers;
    shortAnswers.nv = [](const Bytes& r) { Bytes a = flintcast::testing::NvAnswer(r, 0); a.resize(40); return a; };
    NvRig t(shortAnswers);
    t.nv.BuildNvLists();
    t.nv.BackupNvItems();
    ASSERT_EQ(t.rig.errors().size(), 1u);
    EXPECT_NE(t.rig.errors()[0].find("[141]NV_THERM_I:NV answer of 42 bytes, expected 135"), std::string::npos);
}

TEST(NvRfBackup, SkipsMissingAndInactiveItemsAndRefusesWrongLengths) {
    Device device;
    device.rf = [](const Bytes& r) {
        const uint16_t id = static_cast<uint16_t>(r[10] | r[11] << 8);
        if (id == 20207) return flintcast::testing::RfAnswer(r, 4, {});
        if (id == 20274) return flintcast::testing::RfAnswer(r, 5, {});
        if (id == 20279) return flintcast::testing::RfAnswer(r, 0, {9, 9, 9}, 32);  // size says 32, three bytes came
        return flintcast::testing::RfAnswer(r, 0, {static_cast<uint8_t>(id & 0xFF), 7});
    };
    NvRig t(device);
    t.rig.config.lteType = "LTE";
    t.nv.BuildNvLists();
    t.nv.BackupRfNvItems();
    // 20208 and 20278 saved; 20207 and 20274 left out; 20279 stops with a clear error.
    const Bytes want = {0xF0, 0x4E, 0x02, 0x00, 0xF0, 0x07, 0x36, 0x4F, 0x02, 0x00, 0x36, 0x07};
    EXPECT_EQ(ReadBytes(t.nv1Bak), want);
    ASSERT_EQ(t.rig.errors().size(), 1u);
    EXPECT_NE(t.rig.errors()[0].find("[20279]NV_ITEM_20279:RF NV answer of 21 bytes does not match its data size"),
              std::string::npos) << t.rig.errors()[0];
    EXPECT_TRUE(t.rig.posted("[20274]:status Error Received:Item inactive"));
    EXPECT_FALSE(t.rig.posted("Backup NV......OK"));
    EXPECT_EQ(t.nv.savedNvList()[1].id, 20278);
}

TEST(NvRfFix, RewritesOnlyTheKnownBadValues) {
    const Bytes bad = {0x18, 0x01, 0x17, 0x01, 0x16, 0x01, 0x35, 0x01, 0x3A, 0x01, 0x33, 0x01, 0, 0};
    for (bool match : {true, false}) {
        Device device;
        device.rf = [&](const Bytes& r) {
            if (r[4] == 0x5D) return Bytes(r.begin(), r.begin() + 16);
            Bytes data = bad;
            if (!match) data[11] = 0x02;
            return flintcast::testing::RfAnswer(r, 0, data);
        };
        NvRig t(device);
        t.nv.FixRfNv20208();
        const auto rf = t.sent(0x4B);
        ASSERT_EQ(rf.size(), match ? 2u : 1u);
        EXPECT_EQ(rf[0], (Bytes{0x4B, 0x0B, 0x24, 0x00, 0x5C, 0x02, 0x00, 0x00, 0x90, 0x00, 0xF0, 0x4E}));
        if (match) {
            Bytes want = {0x4B, 0x0B, 0x24, 0x00, 0x5D, 0x02, 0x00, 0x00, 0x0E, 0x00, 0xF0, 0x4E, 0x20, 0x00,
                          0x16, 0x00, 0x0D, 0x00, 0x1D, 0x00, 0x2D, 0x00, 0x2E, 0x00, 0x2E, 0x00};
            want.resize(16 + 32, 0);
            EXPECT_EQ(rf[1], want);
        }
        EXPECT_TRUE(t.rig.posted("Read NV 20208......OK"));
        EXPECT_TRUE(t.rig.posted("Backup NV......OK"));
    }
}

TEST(NvLatch, RfStepsClearTheirOwnErrorOnlyAndKeepAStopRequest) {
    // An error of the fix-up itself is forgotten at its end.
    {
        Device device;
        device.rf = [](const Bytes& r) { return flintcast::testing::RfAnswer(r, 2, {}); };
        NvRig t(device);
        t.nv.FixRfNv20208();
        EXPECT_EQ(t.rig.errors().size(), 1u);
        EXPECT_TRUE(t.rig.reporter.ok());
    }
    // An earlier error (a failed RF restore) is not.
    {
        NvRig t;
        t.rig.reporter.ShowError("[20208]RFNV_LTE_B1_C1_RX_GAIN_I_I:Fail to restore NV", 0);
        t.nv.FixRfNv20208();
        t.nv.BackupRfNvItems();
        EXPECT_FALSE(t.rig.reporter.ok());
        EXPECT_TRUE(t.sent(0x4B).empty());
    }
    // A stop pressed while the step finishes, or during its walk, stays latched.
    for (const std::string trigger : {"Backup NV......OK", "switch successfully......"}) {
        for (bool fix : {false, true}) {
            NvRig t;
            t.rig.config.lteType = "LTE";
            t.nv.BuildNvLists();
            engine::ReporterHooks hooks;
            hooks.OnStatus = [&](int32_t, int32_t, int32_t, const std::string& text) {
                if (text == trigger) t.rig.reporter.RequestStop();
            };
            t.rig.reporter.setHooks(hooks);
            fix ? t.nv.FixRfNv20208() : t.nv.BackupRfNvItems();
            EXPECT_EQ(t.rig.reporter.error(), kStopRequest) << trigger << fix;
            // Stopped during the walk: no further item is asked for.
            if (!fix && trigger != "Backup NV......OK") {
                EXPECT_TRUE(t.sent(0x4B).empty());
            }
        }
    }
}

TEST(NvBackup, UncreatableFileStopsTheRunAndLateAnswersAreNotTaken) {
    {
        NvRig t;
        t.nv.SetBackupPaths((t.rig.root.path() / "missing/nv.bak").string(), t.nv1Bak.string());
        t.nv.BuildNvLists();
        t.nv.BackupNvItems();
        // Without a backup the update must not go on to wipe the items.
        ASSERT_EQ(t.rig.errors().size(), 1u);
        EXPECT_NE(t.rig.errors()[0].find("Fail to create......"), std::string::npos);
        EXPECT_TRUE(t.sent(0x26).empty());
    }
    // The first answer names another item (a late answer to an earlier request): asked again.
    int answers = 0;
    Device late;
    late.nv = [&answers](const Bytes& r) {
        Bytes a = flintcast::testing::NvAnswer(r, 0, {static_cast<uint8_t>(r[1])});
        if (answers++ == 0) a[1] = static_cast<uint8_t>(a[1] + 1);
        return a;
    };
    NvRig t(late);
    t.rig.config.nvCommandList = {"550:01"};
    t.nv.WriteNvCommandList();
    EXPECT_EQ(t.sent(0x27).size(), 2u);
    EXPECT_TRUE(t.rig.posted("[550]Write NV......OK"));
}
