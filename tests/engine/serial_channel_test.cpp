#include "engine/serial_channel.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/engine/loopback_port.h"

using namespace flintcast;
using namespace flintcast::engine;
using Bytes = std::vector<uint8_t>;

TEST(SerialChannelRows, ProjectRulesPickTheTimeoutRow) {
    for (int32_t p : {6, 19, 20, 42}) {
        EXPECT_TRUE(UsesBlockingDiagReads(p)) << p;
        const auto t = DiagTimeoutsFor(p);
        EXPECT_EQ(t.readInterval, 1000u);
        EXPECT_EQ(t.readMultiplier, 1000u);
        EXPECT_EQ(t.readConstant, 2000u);
        EXPECT_EQ(t.writeMultiplier, 1000u);
        EXPECT_EQ(t.writeConstant, 3000u);
    }
    for (int32_t p : {-1, 0, 5, 7, 21, 46, 48}) {
        EXPECT_FALSE(UsesBlockingDiagReads(p)) << p;
        const auto t = DiagTimeoutsFor(p);
        EXPECT_EQ(t.readInterval, platform::kMaxDword);
        EXPECT_EQ(t.readMultiplier, platform::kMaxDword);
        EXPECT_EQ(t.readConstant, 1000u);
        EXPECT_EQ(t.writeMultiplier, 1u);
        EXPECT_EQ(t.writeConstant, 1000u);
    }
}

TEST(SerialChannelOpen, FailedDiagOpenLatchesPortNameAndText) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.diagPortName = "ttyUSB5";
    ports.serial.OpenDiagPort();
    ASSERT_EQ(ports.errors.size(), 1u);
    EXPECT_EQ(ports.errors[0], "ERROR, ttyUSB5Could not open Diagnostic port, Error code: " + std::to_string(ENOENT));
    EXPECT_EQ(ports.reporter.error(), ENOENT);
    EXPECT_FALSE(ports.serial.diagOpen());

    // A name that tries to leave the device tree is refused like a missing port.
    flintcast::testing::LoopbackPorts other;
    other.serial.diagPortName = "../dev/ttyUSB2";
    other.serial.OpenDiagPort();
    EXPECT_FALSE(other.serial.diagOpen());
    EXPECT_FALSE(other.reporter.ok());
}

TEST(SerialChannelOpen, OpensAndConfiguresBothPortsWithTheirLines) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.projectType = 19;
    ports.serial.OpenDiagPort();
    ASSERT_TRUE(ports.serial.diagOpen());
    ASSERT_GE(ports.lines.size(), 2u);
    EXPECT_EQ(ports.lines[0].text, "Port2 ready......");
    EXPECT_EQ(ports.lines[0].code, 8);
    EXPECT_EQ(ports.lines[0].kind, 1);
    EXPECT_EQ(ports.lines[1].text, "Opened......");
    EXPECT_EQ(ports.lines[1].code, 0);
    EXPECT_EQ(ports.lines[1].kind, 0);
    EXPECT_EQ(ports.serial.diag().timeouts().readConstant, 2000u);
    EXPECT_TRUE(ports.reporter.ok());  // DTR/RTS refused by a pseudo-terminal is not an error

    EXPECT_TRUE(ports.serial.OpenModemPort());
    EXPECT_EQ(ports.lines.back().text, "Port1 ready......");
    EXPECT_EQ(ports.serial.modem().timeouts().writeMultiplier, 100u);

    // Another opener of a port held by the worker is refused.
    platform::SerialPort intruder(ports.clock);
    EXPECT_FALSE(intruder.open((ports.root.path() / "dev" / "ttyUSB2").string()));
    EXPECT_EQ(errno, EBUSY);

    // Re-opening after a reset is silent on failure and reports success.
    ports.serial.CloseWithRetry(PortSlot::Diag, close_label::kFirstResetDiag);
    EXPECT_FALSE(ports.serial.diagOpen());
    ports.lines.clear();
    EXPECT_TRUE(ports.serial.ReopenDiagPort());
    ASSERT_EQ(ports.lines.size(), 2u);
    EXPECT_EQ(ports.lines[0].text, "Opened......");
    EXPECT_EQ(ports.lines[1].text, "Initial port successful after reset.");
    ports.serial.diagPortName = "ttyUSB9";
    ports.lines.clear();
    EXPECT_FALSE(ports.serial.ReopenDiagPort());
    EXPECT_TRUE(ports.lines.empty());
    EXPECT_TRUE(ports.reporter.ok());
}

TEST(SerialChannelOpen, MissingModemPortFailsWithItsText) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.modemPortName.clear();
    EXPECT_FALSE(ports.serial.OpenModemPort());
    ASSERT_EQ(ports.errors.size(), 1u);
    EXPECT_EQ(ports.errors[0].rfind("ERROR, Fail to connect serial port, Error code: ", 0), 0u);
    EXPECT_FALSE(ports.serial.ReopenModemPort());
}

TEST(SerialChannelConfigure, ConfiguringAClosedPortLatches) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.ConfigureDiagPort();
    ASSERT_EQ(ports.errors.size(), 1u);
    EXPECT_EQ(ports.errors[0].rfind("ERROR, Could not open COMM port, Error code: ", 0), 0u);
}

TEST(SerialChannelTransfer, WritesAndReadsPassThrough) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.projectType = 46;
    ports.serial.OpenDiagPort();
    const Bytes out{0x01, 0x7E, 0x00, 0xFF};
    EXPECT_EQ(ports.serial.WriteDiag(out.data(), 4), 4u);
    EXPECT_EQ(ports.drainDiag(), out);

    ports.sendDiag({0x10, 0x20, 0x30});
    uint8_t buf[16] = {};
    EXPECT_EQ(ports.serial.ReadDiag(buf, sizeof buf), 3u);
    EXPECT_EQ(ports.serial.lastReadCount(), 3);
    EXPECT_EQ(buf[2], 0x30);
}

TEST(SerialChannelTransfer, ReadsReturnAtOnceOrWaitByProjectRow) {
    flintcast::testing::LoopbackPorts ports(0.1);
    uint8_t buf[8] = {};

    ports.serial.projectType = 46;
    ports.serial.OpenDiagPort();
    uint32_t t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.ReadDiag(buf, 8), 0u);  // nothing waiting: up to 1,000 ms for a first byte
    uint32_t spent = ports.clock.tickMs() - t0;
    EXPECT_GE(spent, 1000u);
    EXPECT_LT(spent, 2500u);

    ports.sendDiag({1, 2});
    t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.ReadDiag(buf, 8), 2u);  // data waiting: at once
    EXPECT_LT(ports.clock.tickMs() - t0, 500u);

    ports.serial.CloseWithRetry(PortSlot::Diag, close_label::kEndOfRunDiag);
    ports.serial.projectType = 42;
    ports.serial.OpenDiagPort();
    t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.ReadDiag(buf, 1), 0u);  // 2,000 + 1,000 per byte
    spent = ports.clock.tickMs() - t0;
    EXPECT_GE(spent, 3000u);
    EXPECT_LT(spent, 4500u);

    ports.sendDiag({1, 2});
    t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.ReadDiag(buf, 4), 2u);  // ends 1,000 ms after the last byte
    spent = ports.clock.tickMs() - t0;
    EXPECT_GE(spent, 1000u);
    EXPECT_LT(spent, 2500u);

    ASSERT_TRUE(ports.serial.OpenModemPort());
    t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.modem().read(buf, 8), 0);  // modem row: at once, possibly nothing
    EXPECT_LT(ports.clock.tickMs() - t0, 500u);
}

TEST(SerialChannelTransfer, FailedWriteIsRetriedSixTimesOrOnceInFastSpeed) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.OpenDiagPort();
    ports.diagPty.close();  // the device is gone: writes fail with EIO
    const std::string warning = "Write to commport have a warning: " + std::to_string(EIO);
    const Bytes out{0x06};

    ports.serial.fastSpeed = true;
    uint32_t t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.WriteDiag(out.data(), 1), 0u);
    EXPECT_EQ(ports.countLines(warning), 1u);
    EXPECT_GE(ports.clock.tickMs() - t0, 1000u);

    ports.lines.clear();
    ports.serial.fastSpeed = false;
    t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.WriteDiag(out.data(), 1), 0u);
    EXPECT_EQ(ports.countLines(warning), 6u);
    EXPECT_GE(ports.clock.tickMs() - t0, 6000u);
    EXPECT_TRUE(ports.reporter.ok());  // warnings only
}

TEST(SerialChannelTransfer, FailedReadIsReportedOnceWithoutRetry) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.OpenDiagPort();
    ports.diagPty.close();
    ports.lines.clear();
    uint8_t buf[4];
    const uint32_t t0 = ports.clock.tickMs();
    EXPECT_EQ(ports.serial.ReadDiag(buf, 4), 0u);
    ASSERT_EQ(ports.lines.size(), 1u);
    EXPECT_EQ(ports.lines[0].text, "read from commmport have a warning: " + std::to_string(EIO));
    EXPECT_GE(ports.clock.tickMs() - t0, 500u);
}

TEST(SerialChannelClose, ClosingAClosedPortDoesNothingAndLogsNothing) {
    flintcast::testing::LoopbackPorts ports;
    ports.serial.CloseWithRetry(PortSlot::Aux, close_label::kEndOfRunAux);
    ports.serial.CloseWithRetry(PortSlot::Modem, close_label::kEndOfRunModem);
    EXPECT_TRUE(ports.lines.empty());

    ports.serial.OpenDiagPort();
    ports.lines.clear();
    ports.serial.CloseWithRetry(PortSlot::Diag, close_label::kEndOfRunDiag);
    EXPECT_FALSE(ports.serial.diagOpen());
    EXPECT_TRUE(ports.lines.empty());
    // The port is free again for the next opener.
    platform::SerialPort next(ports.clock);
    EXPECT_TRUE(next.open((ports.root.path() / "dev" / "ttyUSB2").string()));
}
