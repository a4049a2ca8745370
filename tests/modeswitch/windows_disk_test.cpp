// The mode switch program's Windows side in bytes and records: the pass-through buffer that
// carries the switch command, the storage descriptor a volume answers with, and the searches
// over drive letters and disk interfaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "modeswitch/switch_request.h"
#include "modeswitch/volume_search.h"
#include "platform/scsi_pass_through_layout.h"
#include "platform/storage_descriptor.h"

namespace flintcast {
namespace {

TEST(WindowsModeSwitch, PassThroughBufferCarriesTheCommandByteForByteAndReadsTheAnswerBack) {
    const auto request = modeswitch::ModeSwitchRequest(modeswitch::ParseCommandText(modeswitch::kCommandText));
    auto buffer = platform::EncodeScsiPassThrough(request, modeswitch::kTargetId);
    ASSERT_EQ(buffer.size(), 344u);
    const std::vector<uint8_t> header = {
        56, 0,                    // Length: SCSI_PASS_THROUGH of a 64-bit process
        0, 0, 1, 0,               // ScsiStatus, PathId, TargetId 1, Lun
        6, 24, 1, 0, 0, 0,        // CdbLength, SenseInfoLength, DataIn (from the device), padding
        128, 0, 0, 0,             // DataTransferLength
        10, 0, 0, 0,              // TimeOutValue, seconds
        0, 0, 0, 0,               // padding
        88, 0, 0, 0, 0, 0, 0, 0,  // DataBufferOffset: the data area behind the sense area
        56, 0, 0, 0,              // SenseInfoOffset: right behind the header
        0x06, 0xF5, 0x04, 0x02, 0x52, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // Cdb
    };
    ASSERT_EQ(header.size(), 52u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 52), header);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 52, buffer.end()), std::vector<uint8_t>(344 - 52, 0))
        << "sense and data areas start zero-filled";

    // The disk refuses: CHECK CONDITION, 18 sense bytes, no data.
    buffer[2] = 0x02;
    buffer[7] = 18;
    buffer[12] = 0;
    const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20};
    std::memcpy(buffer.data() + 56, sense, sizeof(sense));
    const auto answer = platform::DecodeScsiPassThrough(buffer);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 0x02);
    EXPECT_EQ(answer->sense, std::vector<uint8_t>(std::begin(sense), std::end(sense)));
    EXPECT_TRUE(answer->data.empty());
    // Lengths the buffer cannot hold are not believed; requests it cannot carry are not built.
    buffer[7] = 33;
    EXPECT_FALSE(platform::DecodeScsiPassThrough(buffer));
    EXPECT_FALSE(platform::DecodeScsiPassThrough(std::span(buffer).first(100)));
    auto tooLong = request;
    tooLong.transferLength = 257;
    EXPECT_TRUE(platform::EncodeScsiPassThrough(tooLong, 1).empty());
}

// A STORAGE_DEVICE_DESCRIPTOR with the two texts at the given offsets (0: none).
std::vector<uint8_t> Descriptor(const std::string& vendor, const std::string& product, uint32_t vendorAt = 40,
                                uint32_t productAt = 60) {
    // Room for both texts with their ending zero, however far out their offsets are.
    const size_t size = std::max<size_t>({96, vendorAt + vendor.size() + 1, productAt + product.size() + 1});
    std::vector<uint8_t> d(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(4, 96);
    put32(8, vendorAt);
    put32(12, productAt);
    if (vendorAt) std::memcpy(d.data() + vendorAt, vendor.data(), vendor.size());
    if (productAt) std::memcpy(d.data() + productAt, product.data(), product.size());
    return d;
}

TEST(WindowsModeSwitch, DescriptorTextsAreReadWithinTheAnswerAndTheLastExactDriveWins) {
    auto card = platform::ParseStorageDeviceDescriptor(Descriptor("USBModem", "Disk            "));
    EXPECT_EQ(card.vendor, "USBModem");
    EXPECT_EQ(card.product, "Disk            ");
    const auto none = platform::ParseStorageDeviceDescriptor(Descriptor("", "Disk", 0));
    EXPECT_EQ(none.vendor, "(NULL)");
    EXPECT_EQ(none.product, "Disk");
    // An offset outside the returned bytes, and a text that runs to their end.
    auto cut = Descriptor("USBModem", "Disk            ", 200, 80);
    cut.resize(84);
    const auto outside = platform::ParseStorageDeviceDescriptor(cut);
    EXPECT_EQ(outside.vendor, "(NULL)");
    EXPECT_EQ(outside.product, "Disk");
    EXPECT_EQ(platform::ParseStorageDeviceDescriptor(std::vector<uint8_t>(10, 0xFF)).vendor, "(NULL)");

    const std::vector<platform::VolumeRecord> volumes = {
        {'C', "\\\\?\\C:", {"ATA     ", "Disk            "}},
        {'D', "\\\\?\\D:", card},
        {'E', "\\\\?\\E:", {"USBModem", "Disk"}},  // without its blanks: no match
        {'F', "\\\\?\\F:", card},
        {'G', "\\\\?\\G:", {"usbmodem", "Disk            "}},
    };
    const auto found = modeswitch::FindDiskByDriveLetter(volumes, modeswitch::kVendorId, modeswitch::kProductId);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->letter, 'F');
    EXPECT_EQ(found->path, "\\\\?\\F:");
    EXPECT_FALSE(modeswitch::FindDiskByDriveLetter({volumes[0], volumes[2], volumes[4]}, modeswitch::kVendorId,
                                                   modeswitch::kProductId));
}

TEST(WindowsModeSwitch, FriendlyNameIgnoresCaseAndTheFirstUsableInterfaceWins) {
    const std::string longPath = "\\\\?\\usbstor#disk&ven_usbmodem#" + std::string(240, 'x');
    const std::vector<platform::DiskInterfaceRecord> interfaces = {
        {"\\\\?\\ide#disk#1", "WDC WD5000 ATA Device", "Disk drive", "IDE\\DiskWDC"},
        {longPath, "USBModem Disk USB Device", "Disk drive", "USBSTOR\\DiskUSBModem"},
        {"\\\\?\\usbstor#disk#2", "usbmodem disk usb device", "Disk drive", "USBSTOR\\DiskUSBModem"},
        {"\\\\?\\usbstor#disk#3", "USBModem Disk USB Device", "Disk drive", "USBSTOR\\DiskUSBModem"},
    };
    EXPECT_EQ(modeswitch::FindDiskByFriendlyName(interfaces, modeswitch::kFriendlyName), "\\\\?\\usbstor#disk#2");
    EXPECT_FALSE(modeswitch::FindDiskByFriendlyName({interfaces[0]}, modeswitch::kFriendlyName));
}

}  // namespace
}  // namespace flintcast
