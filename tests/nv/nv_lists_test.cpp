// The catalogues, the lists built from them, status classification and byte texts.
#include <gtest/gtest.h>

#include "engine/nv_catalogues.h"
#include "engine/nv_items.h"
#include "engine/nv_status.h"
#include "devkit/worker_rig.h"

using namespace flintcast;
using namespace flintcast::engine;
using flintcast::testing::WorkerRig;

namespace {

std::vector<int32_t> Ids(const std::vector<NvEntry>& list) {
    std::vector<int32_t> ids;
    for (const auto& e : list) ids.push_back(e.id);
    return ids;
}

struct Lists {
    WorkerRig rig;
    NvItems nv{rig.ctx};
    Lists(int32_t project, int32_t network, std::string lte, bool rtrecfg = false, bool varnel = false) {
        rig.ctx.projectType = project;
        rig.config.networkType = network;
        rig.config.lteType = std::move(lte);
        rig.config.rtrecfg = rtrecfg;
        rig.config.isVarnel = varnel;
        nv.BuildNvLists();
    }
};

}  // namespace

TEST(NvCatalogues, SizesEndsAndNames) {
    struct Expect {
        const NvCatalogue& cat;
        size_t size;
        int32_t first, last;
    };
    const Expect all[] = {{EvdoNvCatalogue(), 52, 6503, 5755},      {IdentityNvCatalogue(), 12, 1943, 1192},
                          {LteNvCatalogue(), 250, 5609, 20216},     {DefaultNvCatalogue(), 786, 141, 5476},
                          {LteRfNvCatalogue(), 27, 20208, 21242},   {Project12NvCatalogue(), 349, 74, 4994}};
    for (const auto& e : all) {
        ASSERT_EQ(e.cat.size(), e.size);
        EXPECT_EQ(e.cat.front().id, e.first);
        EXPECT_EQ(e.cat.back().id, e.last);
    }
    EXPECT_EQ(DefaultNvCatalogue()[0].name, "NV_THERM_I");
    EXPECT_EQ(DefaultNvCatalogue()[2].name, "NV_VCO_TEMP_I");
    EXPECT_EQ(DefaultNvCatalogue().back().name, "NV_WCDMA_900_HDET_SPN_V2_I");
    EXPECT_EQ(IdentityNvCatalogue()[1].name, "NV_ESN_I");
    EXPECT_EQ(Project12NvCatalogue()[1].name, "NV_DPA_OR_UPA_I");
    EXPECT_EQ(LteRfNvCatalogue().back().name, "RFNV_LTE_B1_TX_GAIN_INDEX_FOR_APT_3_I");
    EXPECT_EQ(NvItemName(1882), "NV_ITEM_1882");
    // Runs are expanded in their own order; repeated ids stay where they stand.
    const auto rf = Ids(LteRfNvCatalogue());
    EXPECT_EQ(std::vector<int32_t>(rf.begin(), rf.begin() + 7), (std::vector<int32_t>{20208, 20207, 20274, 20278, 20279, 20294, 20300}));
    EXPECT_EQ(rf[17], 20311);
    EXPECT_EQ(rf[20], 20304);
    const auto def = Ids(DefaultNvCatalogue());
    EXPECT_EQ(std::count(def.begin(), def.end(), 4174), 2);
    EXPECT_EQ(std::count(def.begin(), def.end(), 5613), 2);
}

TEST(NvLists, BuiltByNetworkProjectAndLteType) {
    {
        Lists l(46, 0, "LTE");
        EXPECT_EQ(l.nv.nvList().size(), 786u + 250u);
        EXPECT_EQ(l.nv.nvList()[786].id, 5609);
        EXPECT_EQ(Ids(l.nv.rfNvList()), Ids(LteRfNvCatalogue()));
        EXPECT_EQ(l.nv.savedNvList().size(), NvItems::kListCapacity);
        EXPECT_EQ(l.nv.savedNvList()[0].id, -1);
    }
    {
        Lists l(36, 0, "", true);
        EXPECT_EQ(l.nv.nvList().size(), 52u + 12u);
        EXPECT_EQ(l.nv.nvList()[52].id, 1943);
        EXPECT_TRUE(l.nv.rfNvList().empty());
    }
    {
        Lists l(38, 0, "", true);  // the identity items are kept for projects 36 and 37 only
        EXPECT_EQ(l.nv.nvList().size(), 52u);
    }
    {
        Lists l(46, 3, "");
        EXPECT_TRUE(l.nv.nvList().empty());
        EXPECT_EQ(Ids(l.nv.rfNvList()), Ids(LteNvCatalogue()));
    }
    {
        Lists l(12, 0, "LTE", false, true);
        EXPECT_TRUE(l.nv.nvList().empty());
        EXPECT_TRUE(l.nv.rfNvList().empty());
    }
}

TEST(NvStatus, ClassesAndVariants) {
    WorkerRig rig;
    auto answer = [](uint8_t low, uint8_t high) { return std::vector<uint8_t>{0x26, 0x8D, 0x00, low, high, 0xAA, 0xBB}; };
    EXPECT_EQ(CheckNvStatus(rig.reporter, answer(5, 0), "[1943]", NvStatusVariant::Plain), 5);
    EXPECT_TRUE(rig.posted("[1943]:status Error Received:Item inactive"));
    EXPECT_EQ(CheckNvStatus(rig.reporter, answer(6, 0), "[3]NV_X", NvStatusVariant::Project), 0);
    EXPECT_TRUE(rig.posted("[3]NV_X:Bad parameter in command block"));
    // RF status byte at position 10: 1 and 4 pass without a word.
    std::vector<uint8_t> rf(18, 0);
    rf[10] = 4;
    EXPECT_EQ(CheckNvStatus(rig.reporter, rf, "[20208]", NvStatusVariant::Rf), 4);
    EXPECT_TRUE(rig.reporter.ok());
    // The high byte decides when it is not 0: 0x0100 is 1, not 0.
    EXPECT_EQ(CheckNvStatus(rig.reporter, answer(0, 1), "[550]", NvStatusVariant::Plain), 1);
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_EQ(rig.errors()[0], "ERROR, [550]:Internal DMSS use, Error code: 0");
    WorkerRig other;
    EXPECT_EQ(CheckNvStatus(other.reporter, answer(0x30, 0), "[2]", NvStatusVariant::Plain), 100);
    ASSERT_EQ(other.errors().size(), 1u);
    EXPECT_NE(other.errors()[0].find("[2]:Unkown error"), std::string::npos);
    // Too short to hold a status: an unknown status, never a read outside the answer.
    WorkerRig shortRig;
    EXPECT_EQ(CheckNvStatus(shortRig.reporter, std::vector<uint8_t>{0x4B, 0x0B}, "[9]", NvStatusVariant::Rf), 100);
}

TEST(NvStatus, CustomVariantMakesEveryStatusAnError) {
    WorkerRig rig;
    const std::vector<uint8_t> answer{0x27, 0x26, 0x02, 5, 0, 0xAA, 0xBB};
    EXPECT_EQ(CheckNvStatus(rig.reporter, answer, "Custom NV", NvStatusVariant::Custom), 5);
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Custom NV:status Error Received:Item inactive"), std::string::npos);
}

TEST(NvHexText, OnlyTwoUpperCaseDigits) {
    EXPECT_EQ(HexTextToByte("00"), 0x00);
    EXPECT_EQ(HexTextToByte("0A"), 0x0A);
    EXPECT_EQ(HexTextToByte("FF"), 0xFF);
    for (const char* bad : {"0a", "1", "", "100", "G0", " 1", "-1"}) EXPECT_FALSE(HexTextToByte(bad)) << bad;
}
