// The Windows implementation of the platform seams, on the system itself (or Wine): processes
// with their arguments, the registry settings store, named mutexes, the port-name rule and
// whole-file replacement.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "devkit/files.h"
#include "devkit/temp_dir.h"
#include "platform/atomic_file.h"
#include "converter/ravelin.h"
#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/instance_lock.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings_store.h"

namespace flintcast::platform {
namespace {

std::string Hex(const std::string& text) {
    std::string out;
    for (const char c : text) out += fmt::format("{:02x}", static_cast<unsigned char>(c));
    return out;
}

TEST(Win32ProcessTest, ArgumentsReachTheProgramByteForByte) {
    const std::vector<std::string> arguments{"plain", "", "two words", "tab\there", "C:\\dir\\", "C:\\my dir\\",
                                             "say \"hi\"", "back\\\"quote", "a\\\\b", "end\\\\"};
    LaunchOptions options;
    options.arguments = arguments;
    const Clock clock;
    const auto run = RunCaptured(std::filesystem::path(FLINTCAST_TEST_BIN_DIR) / "argv_echo.exe", options, clock, 60000);
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, static_cast<int>(arguments.size()));
    std::string expected;
    for (const auto& a : arguments) expected += Hex(a) + "\n";
    std::string output = run.output;
    std::erase(output, '\r');
    EXPECT_EQ(output, expected);
}

TEST(Win32ProcessTest, MissingProgramIsReportedNotStarted) {
    LaunchOptions options;
    const Clock clock;
    const auto run = RunCaptured("C:\\nowhere\\missing.exe", options, clock, 1000);
    EXPECT_FALSE(run.started);
    EXPECT_NE(run.startError, 0);
    EXPECT_EQ(LaunchDetached("C:\\nowhere\\missing.exe"), -1);
}

class RegistryStoreTest : public ::testing::Test {
protected:
    const std::wstring key = L"Software\\FlintcastTest\\" + std::to_wstring(::GetCurrentProcessId());
    ~RegistryStoreTest() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str()); }
};

TEST_F(RegistryStoreTest, ValuesRoundTripWithTheirTypes) {
    EXPECT_EQ(SettingsStore::DefaultPath(), std::filesystem::path(L"Software\\Kov2009\\Flintcast_QCOMM"));
    SettingsStore store{std::filesystem::path(key)};
    EXPECT_FALSE(store.readString(SettingsStore::kDownloadStatus));
    EXPECT_EQ(store.readInteger(SettingsStore::kCommPort, 1), 1);

    ASSERT_TRUE(store.writeString(SettingsStore::kDownloadStatus, "Backup NV")) << store.lastError();
    ASSERT_TRUE(store.writeInteger(SettingsStore::kCommPort, 12));
    ASSERT_TRUE(store.writeInteger(SettingsStore::kSerialCommPort, -3));
    ASSERT_TRUE(store.writeString(SettingsStore::kDefaultValue, "temp"));
    ASSERT_TRUE(store.writeString(SettingsStore::kImageFileFolder, "C:\\Images\\\xc3\xa9"));

    // A second store reads what the registry holds, not a cache.
    const SettingsStore again{std::filesystem::path(key)};
    EXPECT_EQ(again.readString(SettingsStore::kDownloadStatus), "Backup NV");
    EXPECT_EQ(again.readInteger(SettingsStore::kCommPort, 1), 12);
    EXPECT_EQ(again.readString(SettingsStore::kCommPort), "12");
    EXPECT_EQ(again.readInteger(SettingsStore::kSerialCommPort, 1), -3);
    EXPECT_EQ(again.readString(SettingsStore::kImageFileFolder), "C:\\Images\\\xc3\xa9");

    // The types are the registry's own: DWORD for the ports, the key's unnamed value for "@".
    HKEY opened = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &opened), ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(::RegQueryValueExW(opened, L"COMM Port", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 12u);
    wchar_t text[16] = {};
    size = sizeof text;
    EXPECT_EQ(::RegQueryValueExW(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(text, L"temp");
    ::RegCloseKey(opened);

    // A string value that is no number reads as the fallback.
    ASSERT_TRUE(store.writeString(SettingsStore::kCommPort, "COM5"));
    EXPECT_EQ(again.readInteger(SettingsStore::kCommPort, 1), 1);
}

TEST(Win32InstanceLockTest, NamedMutexIsHeldUntilReleased) {
    const std::string name = fmt::format("Flintcast_Test_Mutex_{}", ::GetCurrentProcessId());
    EXPECT_FALSE(InstanceLock::IsHeld(name));
    auto first = InstanceLock::TryAcquire(name);
    ASSERT_TRUE(first);
    EXPECT_TRUE(InstanceLock::IsHeld(name));
    EXPECT_FALSE(InstanceLock::TryAcquire(name));
    first.reset();
    EXPECT_FALSE(InstanceLock::IsHeld(name));
    EXPECT_TRUE(InstanceLock::TryAcquire(name));
}

TEST(Win32PathsTest, PortsAreComNumbersOnly) {
    EXPECT_EQ(PortDevicePath("COM3"), std::filesystem::path("COM3"));
    EXPECT_EQ(PortDevicePath("com12"), std::filesystem::path("\\\\.\\COM12"));
    for (const char* bad : {"", "COM", "COM0", "COM256", "COM01", "COM1x", "ttyUSB0", "..\\COM1", "\\\\.\\COM3"}) {
        EXPECT_FALSE(IsValidPortName(bad)) << bad;
        EXPECT_FALSE(PortDevicePath(bad)) << bad;
    }
    // Backups are not temporary files: they live under the local application data.
    EXPECT_NE(BackupRoot().wstring().find(L"Flintcast\\Backup"), std::wstring::npos);
    EXPECT_EQ(StagingDir().filename(), "TempFiles");
}

TEST(Win32AtomicFileTest, ReplacesWholeAndLeavesNothingBeside) {
    testing::TempDir dir;
    const auto target = dir.path() / "Config.ini";
    ASSERT_TRUE(testing::WriteText(target, "old"));
    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Open(target));
        const std::string text = "[Project]\r\nname=new\r\n";
        ASSERT_TRUE(writer.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
        EXPECT_EQ(testing::ReadText(target), "old");  // untouched until the commit
        ASSERT_TRUE(writer.Commit());
    }
    EXPECT_EQ(testing::ReadText(target), "[Project]\r\nname=new\r\n");
    {
        AtomicFileWriter abandoned;
        ASSERT_TRUE(abandoned.Open(target));
        ASSERT_TRUE(abandoned.Write(std::span(reinterpret_cast<const uint8_t*>("x"), 1)));
    }
    EXPECT_EQ(testing::ReadText(target), "[Project]\r\nname=new\r\n");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(Win32DynamicLibraryTest, ConverterLoadsAndConverts) {
    DynamicLibrary library;
    EXPECT_FALSE(library.open("C:\\nowhere\\ravelin.dll"));
    EXPECT_FALSE(library.lastError().empty());
    ASSERT_TRUE(library.open(std::string(FLINTCAST_BIN_DIR) + "/ravelin.dll")) << library.lastError();
    const auto convert = reinterpret_cast<RavelinFunction>(library.symbol("Ravelin"));
    const auto lastMessage = reinterpret_cast<RavelinLastMessageFunction>(library.symbol("RavelinLastMessage"));
    ASSERT_NE(convert, nullptr);
    ASSERT_NE(lastMessage, nullptr);
    EXPECT_EQ(library.symbol("NoSuchExport"), nullptr);

    testing::TempDir dir;
    const auto hex = dir.path() / "prog.hex";
    const auto bin = dir.path() / "prog.bin";
    // Two data records with a gap between them (filled with 0xFF), then the end record.
    ASSERT_TRUE(testing::WriteText(hex, ":0400000001020304F2\r\n:02000600AABB93\r\n:00000001FF\r\n"));
    ASSERT_EQ(convert(hex.string().c_str(), bin.string().c_str()), 1) << lastMessage();
    EXPECT_EQ(testing::ReadBytes(bin), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xAA, 0xBB}));
    EXPECT_STREQ(lastMessage(), "");
    const auto missing = dir.path() / "missing.hex";
    EXPECT_EQ(convert(missing.string().c_str(), bin.string().c_str()), 0);
    EXPECT_NE(std::string(lastMessage()).find("missing.hex"), std::string::npos);
}

}  // namespace
}  // namespace flintcast::platform
