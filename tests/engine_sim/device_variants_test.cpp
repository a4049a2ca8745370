// Answers that real units give and the default simulated card does not: a bootloader whose
// parameter answer starts with a flag, a programmer that refuses an image in its open answer,
// and a device that stays on the bus but never answers a request.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/engine_sim/engine_sim_rig.h"

namespace flintcast::testing {
namespace {

void StartModemOnly(EngineSimRig& rig) {
    rig.config.bAMSSFile = true;
    ASSERT_TRUE(rig.Generate(16));
    ASSERT_TRUE(rig.Start()) << rig.failure();
}

TEST(DeviceVariants, ParameterAnswerWithALeadingFlagPassesBothForms) {
    // Project 46 asks in the large form (five reads), project 38 in the standard form.
    for (int32_t project : {46, 38}) {
        EngineSimRig rig(SimDevice{}.Project(project).Profile({{"dmss", {{"params_leading_flag", true}}}}));
        StartModemOnly(rig);
        rig.RunBootloaderStage();
        EXPECT_TRUE(rig.errors().empty()) << project << ": " << Joined(rig.errors()) << Joined(rig.texts());
        EXPECT_TRUE(rig.posted("Run DLOAD program successfully")) << project;
    }
}

TEST(DeviceVariants, ImageRefusedInTheOpenAnswerIsNotWritten) {
    EngineSimRig rig(SimDevice{}.Faults("refuse:stream.open@*"));
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    rig.RunStreamingStage();
    ASSERT_EQ(rig.errors().size(), 1u) << Joined(rig.texts());
    EXPECT_EQ(rig.errors()[0], "ERROR, [Dload] Fail to send AMSS command., Error code: 0") << Joined(rig.texts());
    EXPECT_FALSE(rig.posted("AMSSFile succssfully"));
    EXPECT_EQ(rig.State()["model"]["requests"].value("stream.write", 0u), 0u);
}

// Project 44 sends the service programming code before its bootloader stage: a unit whose lock
// the code opens says so, and one that refuses it is reported plainly.
TEST(DeviceVariants, ServiceCodeOpensTheLockOrIsReportedRefused) {
    for (const char* unitCode : {"000000", "123456"}) {
        const bool accepted = std::string(unitCode) == "000000";
        EngineSimRig rig(SimDevice{}.Project(44).Profile(
            {{"diag", {{"security_lock", true}, {"spc", unitCode}, {"protected_nv", {550}}}}}));
        StartModemOnly(rig);
        rig.RunBootloaderStage();
        EXPECT_TRUE(rig.errors().empty()) << unitCode << ": " << Joined(rig.errors());
        EXPECT_EQ(rig.posted("The unit refused the service programming code"), !accepted) << Joined(rig.texts());
        EXPECT_EQ(rig.State()["model"].value("locked", true), !accepted) << unitCode;
    }
}

// A present port that never answers ends the waiting request in its stage's message.
TEST(DeviceVariants, SilentDeviceEndsEachUnlimitedWaitInTheStageMessage) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ignore:dmss.params@*", "ERROR, [Bootloader] Request Parameter failed, Error code: 0"},
        {"ignore:dmss.go@*", "ERROR, [Bootloader] Run DLOAD program failed, Error code: 0"},
        {"ignore:stream.partition_table@*", "ERROR, [Dload] Fail to download partition table, Error code: 0"},
        {"ignore:stream.close@*", "ERROR, [Dload] Fail to close AMSS file packet, Error code: 0"},
    };
    for (const auto& [fault, message] : cases) {
        // Project 38 asks for the bootloader's parameters in the form that waits.
        EngineSimRig rig(SimDevice{}.Project(38).Scale(0.01).Faults(fault));
        StartModemOnly(rig);
        rig.RunBootloaderStage();
        if (rig.reporter.ok()) rig.RunStreamingStage();
        ASSERT_FALSE(rig.errors().empty()) << fault << ": " << Joined(rig.texts());
        EXPECT_EQ(rig.errors()[0], message) << fault << ": " << Joined(rig.texts());
    }
}

}  // namespace
}  // namespace flintcast::testing
