// The mode switch program's search and request on hand-built device trees. Disk nodes are plain
// files and the SG_IO call is replaced, so the test sees which node the request went to and the
// request exactly as the kernel would receive it.
#include <gtest/gtest.h>

#include <scsi/sg.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "modeswitch/command_text.h"
#include "modeswitch/disk_search.h"
#include "modeswitch/mode_switch.h"
#include "platform/scsi_wire.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

// One SCSI disk as sysfs shows it: below a USB interface (or a SATA port), vendor and model on
// the SCSI device, the block entry linked from sys/block, and its node under dev/.
void AddDisk(const fs::path& root, const std::string& name, const std::string& vendor, const std::string& model,
             bool usb = true, bool node = true) {
    const fs::path scsi = root / "sys/devices/pci0000:00" / (usb ? "usb1/1-1/1-1:1.0/host3" : "ata1/host0") /
                          ("target-" + name) / "0:0:0:0";
    fs::create_directories(scsi / "block" / name);
    std::ofstream(scsi / "vendor") << vendor << '\n';
    std::ofstream(scsi / "model") << model << '\n';
    fs::create_directory_symlink("../..", scsi / "block" / name / "device");
    fs::create_directories(root / "sys/block");
    fs::create_directory_symlink(fs::relative(scsi / "block" / name, root / "sys/block"), root / "sys/block" / name);
    fs::create_directories(root / "dev");
    if (node) std::ofstream(root / "dev" / name) << "";
}

struct SentRequest {
    std::string node;
    sg_io_hdr_t hdr{};
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> dataArea;
};

// Runs the program's whole pass on `root` with SG_IO recorded; the disk answers CHECK CONDITION.
struct Pass {
    std::vector<SentRequest> sent;
    std::vector<std::string> log;
    std::optional<fs::path> target;

    explicit Pass(const fs::path& root) {
        platform::Clock clock(1.0);
        modeswitch::SwitchSetup setup;
        setup.deviceRoot = root;
        setup.clock = &clock;
        setup.log = [this](std::string_view line) { log.emplace_back(line); };
        setup.ioctl = [this](int fd, unsigned long request, void* argument) {
            EXPECT_EQ(request, static_cast<unsigned long>(SG_IO));
            auto* hdr = static_cast<sg_io_hdr_t*>(argument);
            SentRequest r;
            r.node = fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).string();
            r.hdr = *hdr;
            r.cdb.assign(hdr->cmdp, hdr->cmdp + hdr->cmd_len);
            const auto* data = static_cast<const uint8_t*>(hdr->dxferp);
            if (data) r.dataArea.assign(data, data + hdr->dxfer_len);
            sent.push_back(std::move(r));
            const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20};
            std::copy(std::begin(sense), std::end(sense), hdr->sbp);
            hdr->sb_len_wr = sizeof(sense);
            hdr->status = 0x02;
            hdr->resid = static_cast<int>(hdr->dxfer_len);
            return 0;
        };
        target = modeswitch::SwitchToModem(setup);
    }
};

TEST(ModeSwitchSearch, IdentificationIsExactAndTheLastMatchWinsElseTheFriendlyNameDecides) {
    {   // "Disk" without its blanks is no match by identification; the friendly name finds it.
        testing::TempDir dir;
        AddDisk(dir.path(), "sda", "ATA     ", "USBModem Disk   ", false);
        AddDisk(dir.path(), "sdb", "USBModem", "Disk");
        const Pass pass(dir.path());
        ASSERT_EQ(pass.sent.size(), 1u);
        EXPECT_EQ(pass.sent[0].node, (dir.path() / "dev/sdb").string());
    }
    {   // Two exact matches: the last one takes the command, ahead of an earlier friendly-name match.
        testing::TempDir dir;
        AddDisk(dir.path(), "sdb", "USBModem", "Disk");
        AddDisk(dir.path(), "sdd", "USBModem", "Disk            ");
        AddDisk(dir.path(), "sdf", "USBModem", "Disk            ");
        const Pass pass(dir.path());
        ASSERT_EQ(pass.sent.size(), 1u);
        EXPECT_EQ(pass.sent[0].node, (dir.path() / "dev/sdf").string());
        EXPECT_EQ(pass.target, dir.path() / "dev/sdf");
    }
    {   // An exact match whose node cannot be opened: the friendly-name search goes next.
        testing::TempDir dir;
        AddDisk(dir.path(), "sdb", "usbmodem", "disk            ");
        AddDisk(dir.path(), "sdc", "USBModem", "Disk            ", true, false);
        const Pass pass(dir.path());
        ASSERT_EQ(pass.sent.size(), 1u);
        EXPECT_EQ(pass.sent[0].node, (dir.path() / "dev/sdb").string());
        ASSERT_FALSE(pass.log.empty());
        EXPECT_NE(pass.log[0].find("cannot open"), std::string::npos) << pass.log[0];
    }
    {   // No USB disk of the card: nothing is sent; a SATA disk gets no " USB Device" name.
        testing::TempDir dir;
        AddDisk(dir.path(), "sda", "USBModem", "Disk", false);
        const Pass pass(dir.path());
        EXPECT_TRUE(pass.sent.empty());
        EXPECT_FALSE(pass.target);
        EXPECT_TRUE(pass.log.empty());
    }
}

TEST(ModeSwitchSearch, FriendlyNameIgnoresCaseAndTheFirstMatchWins) {
    testing::TempDir dir;
    AddDisk(dir.path(), "sdb", "USBModem", "Disk    ");
    AddDisk(dir.path(), "sdc", "USBMODEM", "DISK");
    const auto disks = modeswitch::ListDiskInterfaces(dir.path());
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(modeswitch::FriendlyName(disks[0]), "USBModem Disk USB Device");
    EXPECT_EQ(modeswitch::FindDiskByFriendlyName(disks, "usbmodem disk usb device"), dir.path() / "dev/sdb");
    EXPECT_FALSE(modeswitch::FindDiskByDriveLetter(disks, "USBModem", "Disk            "));
}

TEST(ModeSwitchRequest, SgIoCarriesTheCommandByteForByte) {
    testing::TempDir dir;
    AddDisk(dir.path(), "sdb", "USBModem", "Disk            ");
    const Pass pass(dir.path());
    ASSERT_EQ(pass.sent.size(), 1u);
    const auto& r = pass.sent[0];
    EXPECT_EQ(r.hdr.interface_id, 'S');
    EXPECT_EQ(r.hdr.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(r.hdr.cmd_len, 6);
    EXPECT_EQ(r.cdb, (std::vector<uint8_t>{0x06, 0xF5, 0x04, 0x02, 0x52, 0x80}));
    EXPECT_EQ(r.hdr.mx_sb_len, 24);
    EXPECT_EQ(r.hdr.dxfer_len, 128u);
    EXPECT_EQ(r.dataArea, std::vector<uint8_t>(128, 0)) << "the data area starts zero-filled";
    EXPECT_EQ(r.hdr.timeout, 10000u);
    EXPECT_EQ(r.hdr.iovec_count, 0);
    EXPECT_EQ(r.hdr.flags, 0u);
    // The outcome is not acted on, only logged: here the disk refused the command.
    EXPECT_EQ(pass.target, dir.path() / "dev/sdb");
    ASSERT_EQ(pass.log.size(), 1u);
    EXPECT_NE(pass.log[0].find("status 0x02, sense [70 00 05 00 00 00 00 0A 00 00 00 00 20 00 00 00 00 00], 0 data"),
              std::string::npos)
        << pass.log[0];
}

TEST(ModeSwitchRequest, CommandTextAndWireFormat) {
    using modeswitch::CommandBytes;
    EXPECT_EQ(modeswitch::ParseCommandText("06 f5 04 02 52 80"), (CommandBytes{0x06, 0xF5, 0x04, 0x02, 0x52, 0x80}));
    EXPECT_EQ(modeswitch::ParseCommandText("0G Fx 7"), (CommandBytes{0x00, 0xF0, 0x70, 0, 0, 0}));

    // The socket form of a request round-trips; anything SG_IO could not carry is refused.
    const auto request = modeswitch::ModeSwitchRequest(modeswitch::ParseCommandText(modeswitch::kCommandText));
    const auto bytes = platform::EncodeScsiRequest(request);
    ASSERT_EQ(bytes.size(), 18u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12),
              (std::vector<uint8_t>{6, 1, 24, 0, 128, 0, 0, 0, 0x10, 0x27, 0, 0}));
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_EQ(platform::DecodeScsiRequest(std::span(bytes).first(cut)).outcome, platform::WireDecode::NeedMore);
    const auto decoded = platform::DecodeScsiRequest(bytes);
    ASSERT_EQ(decoded.outcome, platform::WireDecode::Complete);
    EXPECT_EQ(decoded.used, bytes.size());
    EXPECT_EQ(decoded.value.cdb, request.cdb);
    EXPECT_EQ(decoded.value.timeoutMs, 10000u);
    for (auto bad : {std::vector<uint8_t>{0, 1, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0},            // no CDB
                     std::vector<uint8_t>{17, 1, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0},           // CDB too long
                     std::vector<uint8_t>{6, 3, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0},            // no such direction
                     std::vector<uint8_t>{6, 1, 24, 0, 0, 0, 0x20, 0, 0, 0, 0, 0},         // transfer above the limit
                     std::vector<uint8_t>{6, 0, 24, 0, 1, 0, 0, 0, 0, 0, 0, 0}}) {         // length without direction
        EXPECT_EQ(platform::DecodeScsiRequest(bad).outcome, platform::WireDecode::Malformed);
    }
    // An answer with more data than the request allowed is malformed.
    const auto answer = platform::EncodeScsiAnswer({0, {}, std::vector<uint8_t>(129, 1)});
    EXPECT_EQ(platform::DecodeScsiAnswer(answer, 128).outcome, platform::WireDecode::Malformed);
    EXPECT_EQ(platform::DecodeScsiAnswer(answer, 129).outcome, platform::WireDecode::Complete);
}

}  // namespace
}  // namespace flintcast
