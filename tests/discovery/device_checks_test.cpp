#include <gtest/gtest.h>

#include "controller/at_query.h"
#include "controller/device_checks.h"
#include "controller/port_naming.h"

using namespace flintcast::controller;

TEST(PortNaming, FriendlyNames) {
    EXPECT_EQ(PortNameFromFriendlyName("Modem Diag Port (ttyUSB12)"), "ttyUSB12");
    EXPECT_EQ(PortNameFromFriendlyName("Diag (ttyUSB3) extra"), std::nullopt);
    EXPECT_EQ(PortNameFromFriendlyName("Diag ()"), std::nullopt);
    EXPECT_EQ(PortNameFromFriendlyName("Qualcomm (R) Diag (ttyUSB0)"), "ttyUSB0");
    EXPECT_TRUE(IsDiagFriendlyName("Modem DIAG (x)"));
    EXPECT_FALSE(IsDiagFriendlyName("diag (x)"));
    EXPECT_TRUE(SamePortName("TTYusb2", "ttyUSB2"));
}

TEST(AtQueryRules, Extraction) {
    EXPECT_EQ(ExtractAtQueryValue(kVersionQuery, "AT+CGMR\r\r\nSWK0046V1.4.0\r\n\r\nOK\r\n"), "SWK0046V1.4.0");
    EXPECT_EQ(ExtractAtQueryValue(kVersionQuery, "\r\nBDV12.3\r\nOK"), "BDV12.3");
    EXPECT_EQ(ExtractAtQueryValue(kVersionQuery, "\r\nV1.4.0\r\nOK"), std::nullopt);
    EXPECT_EQ(ExtractAtQueryValue(kInfoQuery, "Model\r\nVer.V1.4.0\r\nIMEI:86\r\nOK"), "V1.4.0");
    EXPECT_EQ(ExtractAtQueryValue(kComRefQuery, "+COMREF: \"AB 12\"\r\nOK"), "AB12");
    EXPECT_EQ(ExtractAtQueryValue(kFlashInfoQuery,
                                  "AT+FLASHINFO\r\r\nID:0XECA1 PAGESIZE:2048 MCP:1,2 \"x\"\r\nOK"),
              "ID:0XECA1PAGESIZE:2048MCP:1,2x");
    EXPECT_EQ(ExtractAtQueryValue(kPmuQuery, "+PMU: T I\r\nOK"), "TI");
}

TEST(DeviceChecks, ProjectCode) {
    EXPECT_EQ(CheckProjectCode("V1", "SWK.1"), "Can't get project code from config verison!");
    EXPECT_EQ(CheckProjectCode("swk0046.1", "SWK0046V1"), "Can't get project code from model verison!");
    EXPECT_EQ(CheckProjectCode("swk0046.1.0", "SWK0038V1.4"), "Could not update other irrelevant model device!");
    EXPECT_EQ(CheckProjectCode("swk0046.1.0", "SWK0046V1.4"), std::nullopt);
    // The device version is compared as received.
    EXPECT_EQ(CheckProjectCode("swk0046.1.0", "swk0046V1.4"), "Could not update other irrelevant model device!");
}

TEST(DeviceChecks, Mainboard) {
    EXPECT_EQ(CheckMainboard("SWK0046.3.0B01", "SWK0046V1.4B01", "X", ""), "Can't update other irrelevant mobile devices!");
    EXPECT_EQ(CheckMainboard("SWK0046V1.4B01", "swk0046v2.4b01", "X", ""), std::nullopt);
    EXPECT_EQ(CheckMainboard("SWK0046V1.4B01", "SWK0046V1.4B02", "X", ""), "Can't update other irrelevant mobile devices.");
    EXPECT_EQ(CheckMainboard("SWK0046V1.4B01", "SWK0046V1.4B02", "MBX1", "SWK0046V1.4B02"), std::nullopt);
    EXPECT_EQ(CheckMainboard("SWK0046V1.4B01", "SWK0046V1.4B03", "MBX2", "SWK0046V1.4B02"),
              "Could not update other irrelevant mobile devices.");
    EXPECT_EQ(CheckMainboard("", "", "X", ""), std::nullopt) << "short versions never read out of bounds";
}

TEST(DeviceChecks, Memory) {
    MemoryExpectation card{MemoryCheckKind::DataCard, "1024M", "512M", ""};
    EXPECT_EQ(CheckMemory("ID:0XECA1PAGESIZE:2048MCP:1,2DEVICEWIDTH:16", card), std::nullopt);
    MemoryExpectation big{MemoryCheckKind::DataCard, "", "1024M", ""};
    EXPECT_EQ(CheckMemory("ID:0XECA1PAGESIZE:2048MCP:3,2DEVICEWIDTH:16", big), "Memory size is not matched!");
    MemoryExpectation ids{MemoryCheckKind::DataCard, "", "", "0x2cb1,0xada1"};
    EXPECT_EQ(CheckMemory("ID:0XECA1PAGESIZE:2048MCP:1,2", ids), "Memory size is not matched!");
    EXPECT_EQ(CheckMemory("ID:0XECA1PAGESIZE:2048MCP:x,2", card), "Memory size is not matched!");
    EXPECT_EQ(CheckMemory("ERROR", card), std::nullopt);
    EXPECT_EQ(CheckMemory("ERROR", big), "Memory size is not matched!");
    EXPECT_EQ(CheckMemory("ID:0XADA1PAGESIZE:2048", big), std::nullopt);
    MemoryExpectation router{MemoryCheckKind::Router, "512M", "1024M", ""};
    EXPECT_EQ(CheckMemory("ID:0XECA1PAGESIZE:2048", router), std::nullopt);
    EXPECT_EQ(CheckMemory("ID:0X2CB1PAGESIZE:2048", router), "Memory size is not matched!");
    EXPECT_EQ(CheckMemory("ID:0X1234PAGESIZE:2048", router), "Can not check memory size!");
    EXPECT_EQ(McpSizeText(-1), "Unknown");
}

TEST(DeviceChecks, OperatorVariantsAndMainboardNames) {
    EXPECT_EQ(CheckOperatorVariant(2, "SWK0012V2", "SWK0012V2", 1), "Can't update the software because it is the latest");
    EXPECT_EQ(CheckOperatorVariant(2, "SWK0012V2", "SWK0099V1", 1), "Can't update other irrelevant Data Cards");
    EXPECT_EQ(CheckOperatorVariant(6, "SWK0016V2", "SWK0012V1", 1), "Can't update other irrelevant mobile devices");
    EXPECT_EQ(CheckOperatorVariant(6, "SWK0016V2", "SWK0016V1", 2), "Two or more devices were found");
    EXPECT_EQ(CheckOperatorVariant(6, "SWK0016V2", "SWK0016V1", 1), std::nullopt);
    EXPECT_EQ(MainboardFromPmuReply("MBX2", "GMT5"), "MBX1");
    EXPECT_EQ(MainboardFromPmuReply("MBX1", ""), "MBX2");
    EXPECT_EQ(MainboardFromPmuReply("MBY1", "TI"), "MBY2");
    EXPECT_FALSE(NeedsMainboardQuery("UNKNOWN"));
}
