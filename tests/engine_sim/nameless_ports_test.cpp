// A unit whose ports carry no names: the scan finds them by what they answer, and the stages
// follow the device into its download and programmer personalities (on new port numbers) the
// same way.
#include <gtest/gtest.h>

#include "tests/engine_sim/engine_sim_rig.h"

using namespace flintcast;
using flintcast::testing::EngineSimRig;
using flintcast::testing::Joined;
using flintcast::testing::SimDevice;

TEST(NamelessPortsOnSimulator, StagesFindTheDeviceByProbingInEveryPersonality) {
    EngineSimRig rig(SimDevice{}.ShiftPorts(true).Nameless());
    rig.config.bAMSSFile = true;
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    // The rig opened the port by its known name; the scan has to find it without one.
    rig.serial.port(engine::PortSlot::Diag).close();
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    const auto boxes = rig.discovery->boxes();
    ASSERT_EQ(boxes.diag, std::vector<std::string>{"ttyUSB0"});
    EXPECT_EQ(boxes.modem, std::vector<std::string>{"ttyUSB2"});
    rig.serial.diagPortName = boxes.diag.front();
    rig.serial.OpenDiagPort();
    ASSERT_TRUE(rig.serial.diagOpen());

    rig.RunBootloaderStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors()) << Joined(rig.texts());
    const auto state = rig.State();
    EXPECT_EQ(state.value("personality", ""), "programmer");
    ASSERT_EQ(state["ports"].size(), 1u) << state["ports"].dump();
    EXPECT_EQ(state["ports"][0].value("interface_name", "?"), "");
    EXPECT_EQ(state["ports"][0].value("name", ""), rig.serial.diagPortName) << "the worker talks on the new port";
    rig.RunStreamingStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    EXPECT_TRUE(rig.State()["model"]["images"]["amss"].value("complete", false));
}
