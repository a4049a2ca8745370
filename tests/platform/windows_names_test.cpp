// The Windows-facing texts every build computes: command lines quoted by the Microsoft C
// rules, the port-name rule, and the device manager's hardware ids and friendly names.
#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "platform/paths.h"
#include "platform/usb_hardware_id.h"

namespace flintcast::platform {
namespace {

TEST(WindowsCommandLineTest, EachArgumentComesBackByTheMicrosoftRules) {
    // Plain words stay bare; blanks, tabs and empty arguments are quoted; backslashes double only
    // in front of a quote or the closing quote; quotes are escaped.
    EXPECT_EQ(WindowsCommandLine("C:\\Tools\\Gearswap.exe", {}), "\"C:\\Tools\\Gearswap.exe\"");
    EXPECT_EQ(WindowsCommandLine("C:\\Program Files\\a.exe",
                                 {"plain", "", "two words", "tab\there", "C:\\dir\\", "C:\\my dir\\",
                                  "say \"hi\"", "back\\\"quote", "a\\\\b", "end\\\\"}),
              "\"C:\\Program Files\\a.exe\" plain \"\" \"two words\" \"tab\there\" C:\\dir\\ \"C:\\my dir\\\\\" "
              "\"say \\\"hi\\\"\" \"back\\\\\\\"quote\" a\\\\b end\\\\");
    EXPECT_EQ(QuoteWindowsArgument("line\nbreak"), "\"line\nbreak\"");
    EXPECT_EQ(QuoteWindowsArgument("\\\\server\\share"), "\\\\server\\share");
    // A program name with a quote cannot be carried: nothing is started with a mangled name.
    EXPECT_EQ(WindowsCommandLine("bad\"name.exe", {"x"}), "");
}

TEST(WindowsPortNameTest, DeviceNamespaceFromPortTen) {
    EXPECT_EQ(WindowsPortDeviceName(1), "COM1");
    EXPECT_EQ(WindowsPortDeviceName(9), "COM9");
    EXPECT_EQ(WindowsPortDeviceName(10), "\\\\.\\COM10");
    EXPECT_EQ(WindowsPortDeviceName(255), "\\\\.\\COM255");
    EXPECT_EQ(WindowsPortLabel(12), "COM12");
}

TEST(UsbHardwareIdTest, ReadsTheIdsOfAPortInterface) {
    const auto id = ParseUsbHardwareId("USB\\Vid_05c6&Pid_9025&Rev_0100&MI_02");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->vendorId, "05C6");
    EXPECT_EQ(id->productId, "9025");
    EXPECT_EQ(id->revision, "0100");
    EXPECT_EQ(id->interfaceNumber, 2);

    const auto single = ParseUsbHardwareId("USB\\VID_1A8D&PID_1002");
    ASSERT_TRUE(single);
    EXPECT_EQ(single->revision, "");
    EXPECT_EQ(single->interfaceNumber, -1);

    for (const char* bad : {"", "ACPI\\PNP0501", "USB\\VID_05C&PID_9025", "USB\\PID_9025&VID_05C6",
                            "USB\\VID_05C6", "USB\\VID_05C6&PID_9025&MI_2", "USB\\VID_05C6&PID_90G5",
                            "USB\\VID_05C6&PID_9025&REV_0100&MI_00&MI_01", "USB\\VID_05C6&&PID_9025"}) {
        EXPECT_FALSE(ParseUsbHardwareId(bad)) << bad;
    }
}

TEST(UsbHardwareIdTest, PortNameEndsTheFriendlyName) {
    EXPECT_EQ(PortNameFromFriendlyName("Modem Diagnostics Port (COM12)"), "COM12");
    EXPECT_EQ(PortNameFromFriendlyName("Port (2) (com3)"), "com3");
    for (const char* bad : {"", "No port", "Port (COM12) ", "Port (COM0)", "Port (COM256)", "Port (LPT1)",
                            "Port (COM1x)", "Port ()"}) {
        EXPECT_FALSE(PortNameFromFriendlyName(bad)) << bad;
    }
}

}  // namespace
}  // namespace flintcast::platform
