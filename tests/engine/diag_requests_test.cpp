// Request bytes and answer checks of the DIAG mode, version and build id requests.
#include <gtest/gtest.h>

#include "engine/diag_requests.h"

using namespace flintcast::engine;
using V = std::vector<uint8_t>;

TEST(DiagRequests, AreByteExact) {
    EXPECT_EQ(diag::VersionRequest(), (V{0x00}));
    EXPECT_EQ(diag::ExtendedBuildIdRequest(), (V{0x7C}));
    EXPECT_EQ(diag::ModeControlRequest(diag::Mode::Offline), (V{0x29, 0x01, 0x00}));
    EXPECT_EQ(diag::ModeControlRequest(diag::Mode::Reset), (V{0x29, 0x02, 0x00}));
    EXPECT_EQ(diag::ModeSwitchRequest(), (V{0x4B, 0x04, 0x0E, 0x00}));
    EXPECT_EQ(diag::DownloadSwitchRequest(), (V{0x3A}));
}

TEST(DiagRequests, AnswersAreJudgedByTheirOwnFields) {
    // Build id format 02: hardware version and mobile model little-endian; the platform is the
    // model's low byte. An answer cut before the whole model field, or of another format, has none.
    const V buildId{0x7C, 0x02, 0x00, 0x00, 0x44, 0x33, 0x22, 0x11, 0xAB, 0x00, 0x00, 0x00, 'x', 0x00};
    const auto parsed = diag::ParseExtendedBuildId(buildId);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->hardwareVersion, 0x11223344u);
    EXPECT_EQ(parsed->platform(), 0xAB);
    EXPECT_FALSE(diag::ParseExtendedBuildId(V(buildId.begin(), buildId.begin() + 9)).has_value());
    V otherFormat = buildId;
    otherFormat[1] = 0x01;
    EXPECT_FALSE(diag::ParseExtendedBuildId(otherFormat).has_value());

    // Mode control is accepted by its own echo only; the switches by their own answers.
    EXPECT_TRUE(diag::AcceptsModeControl(V{0x29, 0x02, 0x00}, diag::Mode::Reset));
    EXPECT_FALSE(diag::AcceptsModeControl(V{0x29, 0x01, 0x00}, diag::Mode::Reset));
    EXPECT_FALSE(diag::AcceptsModeControl(V{0x29, 0x02}, diag::Mode::Reset));
    EXPECT_TRUE(diag::AcceptsModeSwitch(V{0x4B, 0x04, 0x0E, 0x00}));
    EXPECT_FALSE(diag::AcceptsModeSwitch(V{0x4B, 0x04, 0x0F, 0x00}));
    EXPECT_TRUE(diag::AcceptsDownloadSwitch(V{0x3A}));
    EXPECT_FALSE(diag::AcceptsDownloadSwitch(V{0x3A, 0x00}));
    EXPECT_FALSE(diag::AcceptsDownloadSwitch(V{0x13, 0x3A}));
}

TEST(DiagRequests, RefusalsAreTypedAndBelongToTheirRequest) {
    EXPECT_EQ(diag::RefusalOf(V{0x13, 0x7C}, diag::ExtendedBuildIdRequest()), diag::Refusal::BadCommand);
    EXPECT_EQ(diag::RefusalOf(V{0x14, 0x29, 0x09, 0x00}, diag::ModeControlRequest(diag::Mode::Reset)),
              diag::Refusal::BadParameter);
    EXPECT_EQ(diag::RefusalOf(V{0x15, 0x3A, 0x00}, diag::DownloadSwitchRequest()), diag::Refusal::BadLength);
    // A refusal echoing another request is a late answer to that one; other codes are no refusal.
    EXPECT_FALSE(diag::RefusalOf(V{0x13, 0x26}, diag::ExtendedBuildIdRequest()).has_value());
    EXPECT_FALSE(diag::RefusalOf(V{0x12, 0x7C}, diag::ExtendedBuildIdRequest()).has_value());
    EXPECT_FALSE(diag::RefusalOf(V{0x13}, diag::ExtendedBuildIdRequest()).has_value());
    EXPECT_STREQ(diag::RefusalMeaning(diag::Refusal::BadLength), "the unit refused the request's length");
}
