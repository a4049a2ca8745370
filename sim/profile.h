#pragma once
// The device profile: everything that makes one simulated device model differ from another.
// Read from a JSON file (format in sim/README.md); a built-in default matches the shipped default
// firmware package (project 46).
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/android/android_profile.h"

namespace flintcast::sim {

// What a port speaks. Download speaks the bootloader protocol, programmer streaming download.
// Fastboot and adb are USB functions without a tty: the unit serves them over loopback TCP.
enum class PortRole { Diag, Modem, Terminal, Download, Programmer, Fastboot, Adb };
inline bool IsUsbFunctionRole(PortRole role) { return role == PortRole::Fastboot || role == PortRole::Adb; }
const char* PortRoleName(PortRole role);
std::optional<PortRole> ParsePortRole(const std::string& name);

// Storage: the unit shows only its disk (the one carrying the driver installer) until the mode
// switch command turns it into its normal personality.
enum class UsbPersonality { Normal, Download, Programmer, Fastboot, Storage };
const char* UsbPersonalityName(UsbPersonality p);
std::optional<UsbPersonality> ParseUsbPersonality(const std::string& name);

struct InterfaceSpec {
    int number = 0;          // bInterfaceNumber
    std::string name;        // the interface string ("Diag", "Modem" ...); may be empty
    PortRole role = PortRole::Diag;
};

// USB identity and port layout of one personality.
struct UsbLayout {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t bcdDevice = 0;
    std::string product;
    std::vector<InterfaceSpec> interfaces;
};

// Identity values kept by the device and answered over AT; keys are listed in kIdentityKeys.
using IdentityValues = std::map<std::string, std::string>;
extern const std::vector<std::string> kIdentityKeys;

struct NvItemSpec {
    uint32_t id = 0;
    std::vector<uint8_t> data;  // up to 128 bytes, padded with zeros
    uint16_t status = 0;        // 0 active, 5 inactive, 7 read-only, 8 undefined
};

struct RfNvItemSpec {
    uint32_t id = 0;
    std::vector<uint8_t> data;
};

struct EfsEntrySpec {
    std::string path;           // absolute device path, "/" separated
    bool directory = false;
    std::vector<uint8_t> data;  // file contents
    std::optional<uint32_t> permissions;  // 0777 for directories and 0666 for files when absent
};

struct Profile {
    std::string name = "default";
    int project = 46;
    std::string serial = "FC46V0000001";   // USB serial number
    std::string ttyPrefix = "ttyUSB";
    int firstTtyNumber = 0;
    bool shiftPorts = false;                // every re-enumeration takes new numbers
    uint32_t reenumerationDelayMs = 3000;   // tool milliseconds the device stays off the bus
    std::string usbMode;                    // AT+DISK=8 setting at power-up ("", "D1", "D2", "D3")
    std::map<UsbPersonality, UsbLayout> layouts;
    // Personality at power-up and at every plug-in: normal, or storage for a unit that comes up
    // as a disk (resets and the mode switch bring it up normal).
    UsbPersonality powerUp = UsbPersonality::Normal;
    // Off: no interface carries a string (sysfs shows no "interface" attribute), as most
    // data cards appear under the Linux serial drivers; the ports are told apart only by
    // what they answer.
    bool interfaceStrings = true;

    // AT modem port.
    bool echo = true;
    std::string cgmrVersion;       // AT+CGMR reply text
    std::string atiVersion;        // version in the ATI reply ("Ver." ... )
    std::string manufacturer;      // ATI "Manufacturer:" line
    std::string model;             // ATI "Model:" line
    std::string flashInfo;         // AT+FLASHINFO reply text
    std::string pmu;               // AT+PMU reply value
    bool diskMode7 = true;         // AT+DISK=? offers mode 7 (diagnostic service)
    IdentityValues identity;

    // Binary protocols (used by the protocol handlers and the device model).
    uint8_t diagPlatform = 0;      // byte 8 of the extended build id reply
    std::string serviceCode = "000000";  // the service programming code the unit accepts
    bool securityLock = false;           // NV writes and protected reads refused until it is sent
    std::vector<uint16_t> protectedNvItems;
    uint8_t lockAnswer = 0x42;           // the refusal behind the lock: 0x42 or 0x47
    uint32_t dmssMaxWriteSize = 0x4000;
    bool dmssParamsLeadingFlag = false;  // the bootloader's parameter answer starts with a flag
    std::vector<NvItemSpec> nvItems;
    std::vector<RfNvItemSpec> rfNvItems;
    std::vector<EfsEntrySpec> efs;
    // Writing an EFS image erases the unit's own data, as on a real device: active NV items
    // become inactive, RF NV items and EFS files are gone, the identity values kept in NV are
    // blank. Off: the image puts the profile's values back.
    bool efsImageWipes = false;

    // Android-based units: the fastboot bootloader (used when a fastboot personality exists)
    // and adbd (used when the normal personality has an adb interface).
    FastbootSpec fastboot;
    AdbSpec adb;

    std::string faults;            // fault spec applied at start
};

Profile DefaultProfile();

// Reads a profile file: JSON whose keys override the built-in default. Throws
// std::runtime_error with a message naming the bad field.
Profile LoadProfile(const std::filesystem::path& file);
Profile ParseProfile(const std::string& jsonText);

}  // namespace flintcast::sim
