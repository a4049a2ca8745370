#include "platform/serial_port.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include <poll.h>

#include "devkit/wait_until.h"
#include "platform/pty.h"
#include "devkit/temp_dir.h"

using namespace flintcast::platform;

TEST(SerialPortOpen, SecondOpenerIsRefusedInThisAndAnotherProcess) {
    Clock clock(0.01);
    PtyPair pty;
    SerialPort first(clock);
    ASSERT_TRUE(first.open(pty.slavePath()));
    SerialPort second(clock);
    EXPECT_FALSE(second.open(pty.slavePath()));
    EXPECT_EQ(errno, EBUSY);

    // Another process sees the same refusal while we hold the port.
    const pid_t child = ::fork();
    if (child == 0) {
        SerialPort other(clock);
        const bool opened = other.open(pty.slavePath());
        ::_exit(!opened && errno == EBUSY ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    first.close();
    EXPECT_TRUE(second.open(pty.slavePath()));
}

TEST(SerialPortOpen, RefusesMissingPathsAndFilesThatAreNotTerminals) {
    Clock clock;
    flintcast::testing::TempDir dir;
    SerialPort port(clock);
    EXPECT_FALSE(port.open((dir.path() / "ttyUSB0").string()));
    EXPECT_EQ(errno, ENOENT);
    const auto file = dir.path() / "plain";
    std::ofstream(file) << "x";
    EXPECT_FALSE(port.open(file.string()));
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_FALSE(port.isOpen());
    uint8_t b = 0;
    EXPECT_EQ(port.read(&b, 1), -1);
    EXPECT_EQ(port.write(&b, 1), -1);
}

TEST(SerialPortSettings, PseudoTerminalAcceptsTheLineSettings) {
    Clock clock;
    PtyPair pty;
    SerialPort port(clock);
    ASSERT_TRUE(port.open(pty.slavePath()));
    LineSettings line;
    line.dtr = true;
    line.rts = false;
    EXPECT_TRUE(port.applyLineSettings(line));
    EXPECT_TRUE(port.setQueueSizes(4096, 4096));
    EXPECT_EQ(port.takeLineErrors(), 0u);
    line.baudRate = 12345;
    EXPECT_FALSE(port.applyLineSettings(line));
    EXPECT_EQ(errno, EINVAL);
}

TEST(SerialPortIo, GeneralRowEndsOnCountTotalOrInterval) {
    Clock clock(0.02);
    PtyPair pty;
    SerialPort port(clock);
    ASSERT_TRUE(port.open(pty.slavePath()));
    ASSERT_TRUE(port.setTimeouts({0, 0, 500, 0, 0}));  // total 500 ms, no interval limit
    uint8_t buf[8] = {};
    const uint8_t data[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(::write(pty.masterFd(), data, 5), 5);
    EXPECT_EQ(port.read(buf, 3), 3);  // count reached at once
    uint32_t t0 = clock.tickMs();
    EXPECT_EQ(port.read(buf, 8), 2);  // the rest, then the total limit
    EXPECT_GE(clock.tickMs() - t0, 500u);

    // Purge drops what is waiting.
    ASSERT_EQ(::write(pty.masterFd(), data, 5), 5);
    ASSERT_TRUE(flintcast::testing::WaitUntil([&] {
        pollfd p{port.fd(), POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }));
    EXPECT_TRUE(port.purge());
    ASSERT_TRUE(port.setTimeouts({kMaxDword, 0, 0, 0, 0}));
    t0 = clock.tickMs();
    EXPECT_EQ(port.read(buf, 8), 0);
    EXPECT_LT(clock.tickMs() - t0, 200u);

    const uint8_t out[] = {9, 8, 7};
    EXPECT_EQ(port.write(out, 3), 3);
    uint8_t got[3] = {};
    EXPECT_EQ(::read(pty.masterFd(), got, 3), 3);
    EXPECT_EQ(got[2], 7);
}

TEST(SerialPortIo, WriteTimeOutGivesAShortCountWhenNobodyReads) {
    Clock clock(0.01);
    PtyPair pty;
    SerialPort port(clock);
    ASSERT_TRUE(port.open(pty.slavePath()));
    ASSERT_TRUE(port.setTimeouts({kMaxDword, kMaxDword, 1000, 0, 1000}));
    std::vector<uint8_t> big(1 << 20, 0x55);  // far more than the pty buffers hold
    const int64_t n = port.write(big.data(), big.size());
    EXPECT_GE(n, 0);
    EXPECT_LT(n, static_cast<int64_t>(big.size()));
}
