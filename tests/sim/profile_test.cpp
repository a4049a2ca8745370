#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/profile.h"

namespace flintcast::sim {
namespace {

TEST(SimProfile, DefaultMatchesTheShippedPackage) {
    const auto p = DefaultProfile();
    EXPECT_EQ(p.project, 46);
    EXPECT_EQ(p.dmssMaxWriteSize, 0x4000u);
    const auto& normal = p.layouts.at(UsbPersonality::Normal).interfaces;
    ASSERT_EQ(normal.size(), 3u);
    EXPECT_EQ(normal[0].name, "Diag");
    EXPECT_EQ(p.layouts.at(UsbPersonality::Download).interfaces.size(), 1u);
}

TEST(SimProfile, JsonOverridesOnlyWhatItNames) {
    const auto p = ParseProfile(R"({
        "project": "0x0C", "usb": {"shift_ports": true, "reenumeration_delay_ms": 500,
          "personalities": {"download": {"pid": "0x9008", "interfaces": [{"number": 0, "role": "download", "name": "QD"}]}}},
        "at": {"echo": false}, "identity": {"sn": "X1"}, "dmss": {"max_write_size": 4096},
        "nv_items": [{"id": 10, "hex": "01 02", "status": "read-only"}],
        "rf_nv_items": [{"id": 20208, "text": "abc"}],
        "efs": [{"path": "/a", "dir": true}, {"path": "/a/b", "text": "hi"}]})");
    EXPECT_EQ(p.project, 12);
    EXPECT_TRUE(p.shiftPorts);
    EXPECT_EQ(p.reenumerationDelayMs, 500u);
    EXPECT_EQ(p.layouts.at(UsbPersonality::Download).productId, 0x9008);
    EXPECT_EQ(p.layouts.at(UsbPersonality::Download).vendorId, 0xF1C0);  // kept from the default
    EXPECT_FALSE(p.echo);
    EXPECT_EQ(p.identity.at("sn"), "X1");
    EXPECT_EQ(p.identity.at("imei"), "860046000000017");
    ASSERT_EQ(p.nvItems.size(), 1u);
    EXPECT_EQ(p.nvItems[0].data.size(), 128u);
    EXPECT_EQ(p.nvItems[0].data[1], 2);
    EXPECT_EQ(p.nvItems[0].status, 7);
    EXPECT_EQ(p.efs.size(), 2u);
}

TEST(SimProfile, BadProfilesNameTheField) {
    const std::pair<const char*, const char*> cases[] = {
        {"{", "JSON"},
        {R"({"project": "abc"})", "project"},
        {R"({"nv_items": [{"id": 1, "hex": "0g"}]})", "nv_items[0].hex"},
        {R"({"nv_items": [{"id": 70000}]})", "nv_items[0].id"},
        {R"({"efs": [{"path": "/a/../../etc", "text": "x"}]})", "efs[0].path"},
        {R"({"identity": {"pin": "1"}})", "identity"},
        {R"({"usb": {"tty_prefix": "../x"}})", "tty_prefix"},
        {R"({"usb": {"personalities": {"weird": {}}}})", "personalities"},
        {R"({"usb": {"personalities": {"normal": {"interfaces": [{"role": "printer"}]}}}})", "role"},
    };
    for (const auto& [text, field] : cases) {
        try {
            ParseProfile(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(field), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace flintcast::sim

namespace flintcast::sim {
namespace {

TEST(SimProfile, AndroidBaseAndItsFastbootKeys) {
    const auto p = ParseProfile(R"({"base": "android", "fastboot": {"max_download_size": "0x100000",
        "partitions": {"boot": 4096}, "at_power_up": true}})");
    EXPECT_EQ(p.project, 35);
    EXPECT_EQ(p.fastboot.maxDownloadSize, 0x100000u);
    EXPECT_EQ(p.fastboot.partitions, (std::map<std::string, uint64_t>{{"boot", 4096}}));
    EXPECT_TRUE(p.fastboot.atPowerUp);
    EXPECT_EQ(p.layouts.at(UsbPersonality::Fastboot).interfaces.at(0).role, PortRole::Fastboot);

    const auto expectError = [](const std::string& json, const std::string& field) {
        try {
            ParseProfile(json);
            ADD_FAILURE() << "accepted: " << json;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(field), std::string::npos) << e.what();
        }
    };
    // Fastboot mode without a fastboot personality, a fastboot function among the serial ports,
    // bad partition names and sizes.
    expectError(R"({"fastboot": {"at_power_up": true}})", "fastboot");
    expectError(R"({"usb": {"personalities": {"normal": {"interfaces": [{"role": "fastboot"}]}}}})", "normal");
    expectError(R"({"base": "android", "fastboot": {"partitions": {"../boot": 1}}})", "fastboot.partitions");
    expectError(R"({"base": "android", "fastboot": {"partitions": {"boot": 0}}})", "fastboot.partitions.boot");
    expectError(R"({"base": "phone"})", "base");
}

}  // namespace
}  // namespace flintcast::sim

namespace flintcast::sim {
namespace {

TEST(SimProfile, AdbFilesWithOctalModes) {
    const auto p = ParseProfile(R"({"base": "android", "adb": {"files": [{"path": "/a/b", "text": "x", "mode": "0600"},
        {"path": "/c", "dir": true}], "wiped_by_update": ["/a/b"]}})");
    ASSERT_EQ(p.adb.files.size(), 2u);
    EXPECT_EQ(p.adb.files[0].mode, 0600u);
    EXPECT_EQ(p.adb.files[1].mode, 0755u);
    EXPECT_EQ(p.adb.wipedByUpdate, std::vector<std::string>{"/a/b"});
    for (const char* bad : {R"({"adb": {"files": [{"path": "rel/x"}]}})", R"({"adb": {"files": [{"path": "/a/../b"}]}})",
                            R"({"adb": {"files": [{"path": "/a", "mode": "0999"}]}})"})
        EXPECT_THROW(ParseProfile(bad), std::runtime_error) << bad;
}

}  // namespace
}  // namespace flintcast::sim
