// The bootloader stage against the fake device: programmer blocks, parameter
// forms, retries, the pre-commands, GO and the re-enumeration that follows it.
#include <gtest/gtest.h>

#include "devkit/fake_directory.h"
#include "engine/dmss_bootloader.h"
#include "engine/dmss_messages.h"
#include "tests/streaming/fake_device.h"

namespace flintcast::testing {
namespace {

using engine::DmssBootloader;

// A directory whose ports and device-change flags the test drives.
struct PortDirectory : FakeDirectory {
    PortDirectory() {
        diagTexts = {"ttyUSB0"};
        presenceFollowsScan = true;
        atReply.reset();
        fastbootResult = 1;
    }
};

struct Loader {
    explicit Loader(int32_t project) : bench(project), bootloader(bench.ctx, directory, progress) {}
    DeviceBench bench;
    PortDirectory directory;
    engine::DownloadProgress progress;
    DmssBootloader bootloader;

    std::vector<std::pair<uint32_t, size_t>> writes() {
        std::vector<std::pair<uint32_t, size_t>> out;
        for (const auto& r : bench.device->requests()) {
            if (r[0] == 0x0F) out.emplace_back((r[1] << 24) | (r[2] << 16) | (r[3] << 8) | r[4], (r[5] << 8) | r[6]);
        }
        return out;
    }
};

TEST(DmssMessages, WriteAndParameterLayouts) {
    EXPECT_EQ(engine::dmss::BuildWrite(0x01000000, Bytes{1, 2, 3}),
              (Bytes{0x0F, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03, 1, 2, 3}));
    const Bytes reply{0x08, 3, 1, 0x10, 0x00, 0, 0, 0, 0xAA, 0xBB, 0x7E};
    EXPECT_EQ(engine::dmss::CheckParameterReply(reply, 0x1000), engine::dmss::ParameterCheck::Ok);
    EXPECT_EQ(engine::dmss::CheckParameterReply(reply, 0x4000), engine::dmss::ParameterCheck::WrongWriteSize);
    Bytes noFlag = reply;
    noFlag[10] = 0x00;
    EXPECT_EQ(engine::dmss::CheckParameterReply(noFlag, 0x1000), engine::dmss::ParameterCheck::Malformed);
}

TEST(Bootloader, ProgrammerIsCutInto1017ByteBlocksWithoutAnEmptyLastOne) {
    for (const size_t size : {size_t{2 * 1017}, size_t{1018}}) {
        Loader l(46);
        const Bytes programmer = Pattern(size, 5);
        const auto path = l.bench.writeFile("NPRG6260.bin", programmer);
        l.bootloader.LoadProgrammer({path.string(), 0x1000});
        ASSERT_TRUE(l.bench.errors.empty()) << l.bench.errors[0];
        const auto writes = l.writes();
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0], (std::pair<uint32_t, size_t>{0x1000, 1017}));
        EXPECT_EQ(writes[1], (std::pair<uint32_t, size_t>{0x1000 + 1017, size - 1017}));
        const Bytes ram = l.bench.device->ram();
        EXPECT_EQ(Bytes(ram.begin() + 0x1000, ram.end()), programmer);
        EXPECT_EQ(l.progress.bytesSent(), size);
    }
}

TEST(Bootloader, ParameterFormsAndSplitReplies) {
    Loader l(10);
    l.bench.device->maxWriteSize = 0x1000;
    l.bench.device->splitReplies = true;  // every answer comes in two pieces
    EXPECT_EQ(l.bootloader.SendNop(), 0);
    EXPECT_EQ(l.bootloader.RequestParameters(0x1000), 0);
    EXPECT_EQ(l.bootloader.RequestParameters(0x4000), 2);
    EXPECT_EQ(l.bench.count("Sending preq_cmd..."), 1u);
}

TEST(Bootloader, RefusedNopsAreRetriedAndWriteBlocksRetryRefusals) {
    Loader l(46);
    l.bench.device->override = [](const Bytes& r, int index) -> std::optional<Bytes> {
        if (r[0] == 0x06 && index < 2) return Framed({0x03, 0x00, 0x01});
        if (r[0] == 0x0F && index == 0) return Framed({0x03, 0x00, 0x00});  // a refusal with reason 0
        return std::nullopt;
    };
    EXPECT_EQ(l.bootloader.SendNop(), 0);
    EXPECT_EQ(l.bench.count("Sending nop_cmd...2"), 1u);
    EXPECT_EQ(l.bootloader.WriteBlock(0x2000, Bytes{1, 2, 3}), 0);
    EXPECT_EQ(l.writes().size(), 2u);

    l.bench.device->override = [](const Bytes&, int) -> std::optional<Bytes> { return Bytes{}; };
    EXPECT_EQ(l.bootloader.SendNop(), 1);
}

TEST(Bootloader, StageRunsToGoAndFollowsTheDeviceToItsNewPort) {
    Loader l(46);
    const auto path = l.bench.writeFile("NPRG6260.bin", Pattern(3000, 6));
    // The device leaves on GO and comes back under another port.
    platform::PtyPair newPort;
    std::filesystem::create_symlink(newPort.slavePath(), l.bench.root.path() / "dev" / "ttyUSB3");
    l.bench.device->onRequest = [&l](const Bytes& r) {
        if (r[0] == 0x05) {
            l.directory.MoveDiagPort("ttyUSB3");
            l.directory.NoteDeviceChange(true);
        }
    };
    int switches = 0;
    engine::BootloaderSeams seams;
    seams.EnterDownloadMode = [&switches] { return ++switches, 0; };
    seams.FindComPort = [&l] {
        l.bench.serial.diagPortName = l.directory.FoundDiagPort();
        return true;
    };
    l.bootloader.RunBootloaderStage({path.string(), 0x00800000}, seams);
    ASSERT_TRUE(l.bench.errors.empty()) << l.bench.errors[0];
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(l.bench.device->codes(), (std::vector<uint8_t>{0x06, 0x07, 0x06, 0x0F, 0x0F, 0x0F, 0x05}));
    EXPECT_EQ(l.bench.count("Run DLOAD program successfully"), 1u);
    EXPECT_EQ(l.bench.count("Receive device Arrival after running"), 1u);
    EXPECT_EQ(l.bench.count("Port has changed"), 1u);
    EXPECT_EQ(l.bench.serial.diagPortName, "ttyUSB3");
    EXPECT_TRUE(l.bench.serial.diagOpen());
}

TEST(Bootloader, Project44SendsPreCommandsAndUnbracketedTexts) {
    Loader l(44);
    l.bench.device->maxWriteSize = 0x1000;
    const auto path = l.bench.writeFile("NPRG6260.bin", Pattern(100, 7));
    engine::BootloaderSeams seams;
    seams.EnterDownloadMode = [] { return 0; };
    l.bootloader.RunBootloaderStage({path.string(), 0x1000}, seams, "123456");
    const auto requests = l.bench.device->requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0], (Bytes{0x00}));
    EXPECT_EQ(requests[1], (Bytes{0x41, '1', '2', '3', '4', '5', '6'}));
    // The version requests get no answer, and the purge before the next send
    // may take them off the line before the device read them.
    auto codes = l.bench.device->codes();
    std::erase(codes, 0x0C);
    EXPECT_EQ(codes, (std::vector<uint8_t>{0x00, 0x41, 0x06, 0x06, 0x06, 0x06, 0x07, 0x0F, 0x05}));
    // No re-enumeration after GO: the stage ends with a line, not an error.
    EXPECT_EQ(l.bench.count("Not receive device change after running"), 1u);
    EXPECT_TRUE(l.bench.errors.empty());

    Loader silent(44);
    silent.bench.device->override = [](const Bytes& r, int) -> std::optional<Bytes> {
        if (r[0] == 0x06) return Bytes{};
        return std::nullopt;
    };
    silent.bootloader.RunBootloaderStage({path.string(), 0x1000}, seams);
    ASSERT_EQ(silent.bench.errors.size(), 1u);
    EXPECT_EQ(silent.bench.errors[0].rfind("ERROR, Nop command failed", 0), 0u);
}

TEST(Bootloader, FailuresOfTheStageAreReportedWithTheirTexts) {
    Loader l(46);
    engine::BootloaderSeams seams;
    seams.EnterDownloadMode = [] { return 1; };
    l.bootloader.RunBootloaderStage({"/nonexistent/NPRG6260.bin", 0x1000}, seams);
    ASSERT_EQ(l.bench.errors.size(), 1u);
    EXPECT_EQ(l.bench.errors[0].rfind("ERROR, [Bootloader] Switch to Download Mode failed", 0), 0u);

    Loader missing(46);
    seams.EnterDownloadMode = [] { return 0; };
    missing.bootloader.RunBootloaderStage({"/nonexistent/NPRG6260.bin", 0x1000}, seams);
    ASSERT_EQ(missing.bench.errors.size(), 1u);
    EXPECT_EQ(missing.bench.errors[0].rfind("ERROR, Could not open BIN file: /nonexistent/NPRG6260.bin", 0), 0u);
    const auto codes = missing.bench.device->codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x05), 0);
}

}  // namespace
}  // namespace flintcast::testing
