// The demo's verdict on the device data: a value lost or changed by the update must show.
#include <gtest/gtest.h>

#include "cli/demo_unit.h"

namespace flintcast::cli {
namespace {

using nlohmann::json;

json State(const std::string& sn, const std::string& nvData, const std::string& rfData) {
    return {{"modem", {{"identity", {{"sn", sn}, {"imei", "860046000000991"}, {"meid", ""}}}}},
            {"model",
             {{"nv_items", json::array({{{"id", 141}, {"status", "active"}, {"data", nvData}},
                                        {{"id", 1886}, {"status", "inactive"}, {"data", "00"}}})},
              {"rf_nv_items", json::array({{{"id", 20208}, {"size", 2}, {"data", rfData}}})}}}};
}

TEST(DemoDeviceData, SameStateCountsEveryHeldValue) {
    const json state = State("FC46DEMO0001", "0102", "a0a1");
    const auto result = CompareDeviceData(state, state);
    EXPECT_TRUE(result.allRestored);
    // Empty identity values and inactive items were not held, so they are not counted.
    EXPECT_EQ(result.summary, "Device data after the update: identity 2/2, NV items 1/1, RF NV 1/1 as before");
}

TEST(DemoDeviceData, WipedOrChangedValuesFailTheDemo) {
    const json before = State("FC46DEMO0001", "0102", "a0a1");
    const struct {
        json after;
        const char* summary;
    } cases[] = {
        {State("", "0102", "a0a1"), "identity 1/2, NV items 1/1, RF NV 1/1 NOT as before"},
        {State("FC46DEMO0001", "0000", "a0a1"), "identity 2/2, NV items 0/1, RF NV 1/1 NOT as before"},
        {State("FC46DEMO0001", "0102", "a0a2"), "identity 2/2, NV items 1/1, RF NV 0/1 NOT as before"},
    };
    for (const auto& c : cases) {
        const auto result = CompareDeviceData(before, c.after);
        EXPECT_FALSE(result.allRestored) << c.summary;
        EXPECT_NE(result.summary.find(c.summary), std::string::npos) << result.summary;
    }
    json gone = before;
    gone["model"]["rf_nv_items"] = json::array();
    EXPECT_FALSE(CompareDeviceData(before, gone).allRestored);
}

TEST(DemoDeviceData, AnUnreadableStateIsNeverAPass) {
    const json before = State("FC46DEMO0001", "0102", "a0a1");
    EXPECT_FALSE(CompareDeviceData(before, nullptr).allRestored);
    EXPECT_FALSE(CompareDeviceData(nullptr, nullptr).allRestored);
}

}  // namespace
}  // namespace flintcast::cli
