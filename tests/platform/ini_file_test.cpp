#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "devkit/temp_dir.h"
#include "devkit/files.h"

using flintcast::testing::ReadText;

using flintcast::platform::IniFile;
using flintcast::platform::ParseProfileInteger;

namespace {
void WriteAll(const std::filesystem::path& p, std::string_view text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}
}  // namespace

TEST(IniRead, NamesIgnoreCaseBlanksAreTrimmedFirstOneWins) {
    const auto ini = IniFile::FromText(
        "Orphan=1\n"
        "[DownloadItems]\n"
        "  bEFS =1\n"
        "bAMSSFile=1  \t\n"
        "BEFS=0\n"
        "; bDSP=1\n"
        "Empty=\n"
        "[downloaditems]\n"
        "bDSP=1\n");
    EXPECT_EQ(ini.readInteger("DOWNLOADITEMS", "befs", 7), 1);
    EXPECT_EQ(ini.readInteger("DownloadItems", "bAMSSFile", 7), 1);
    EXPECT_EQ(ini.readInteger("DownloadItems", "bDSP", 7), 7);  // commented out, repeated section ignored
    EXPECT_EQ(ini.readString("DownloadItems", "Empty", "dflt"), "");
    EXPECT_EQ(ini.readString("DownloadItems", "Absent", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("", "Orphan", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("Missing", "bEFS", "dflt"), "dflt");
}

TEST(IniRead, IntegersDecimalHexAndEveryUnparsableForm) {
    EXPECT_EQ(ParseProfileInteger("42"), 42);
    EXPECT_EQ(ParseProfileInteger(" -17 "), -17);
    EXPECT_EQ(ParseProfileInteger("+5"), 5);
    EXPECT_EQ(ParseProfileInteger("$1F"), 31);
    EXPECT_EQ(ParseProfileInteger("0x1f"), 31);
    EXPECT_EQ(ParseProfileInteger("-$10"), -16);
    EXPECT_EQ(ParseProfileInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseProfileInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseProfileInteger("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "-", "$", "0x", "2147483648", "-2147483649", "99999999999999999999", "0x100000000",
                            "12abc", "1 2", "1.0", "abc", "0x1G", "--1", "\x01"})
        EXPECT_FALSE(ParseProfileInteger(bad).has_value()) << bad;

    const auto ini = IniFile::FromText("[S]\nBig=4294967296\nStray=1;on\nBlank=\n");
    EXPECT_EQ(ini.readInteger("S", "Big", 9), 9);
    EXPECT_EQ(ini.readInteger("S", "Stray", 9), 9);
    EXPECT_EQ(ini.readInteger("S", "Blank", 9), 9);
}

TEST(IniRead, ListsEndAtFirstGapOrEmptyValue) {
    const auto ini = IniFile::FromText("[L]\nAT1=a\nAT2=b\nAT4=d\n[E]\nNV1=x\nNV2=\nNV3=z\n");
    EXPECT_EQ(ini.readList("L", "AT", 1, 1000), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ini.readList("l", "at", 2, 1000), (std::vector<std::string>{"b"}));
    EXPECT_EQ(ini.readList("E", "NV", 1, 1000), (std::vector<std::string>{"x"}));
    EXPECT_TRUE(ini.readList("None", "NV", 1, 1000).empty());

    std::string text = "[Big]\r\n";
    for (int i = 0; i <= 1001; ++i) text += "NV" + std::to_string(i) + "=" + std::to_string(i) + ":1\r\n";
    const auto big = IniFile::FromText(text);
    const auto list = big.readList("Big", "NV", 1, 1000);
    ASSERT_EQ(list.size(), 1000u);
    EXPECT_EQ(list.front(), "1:1");
    EXPECT_EQ(list.back(), "1000:1");
}

TEST(IniRead, LineEndsByteOrderMarkAndMissingFinalNewline) {
    for (const char* text : {"\xEF\xBB\xBF[P]\r\nA=1\r\nB=2", "[P]\nA=1\nB=2\n", "[P]\rA=1\rB=2\r"}) {
        const auto ini = IniFile::FromText(text);
        EXPECT_EQ(ini.readInteger("P", "A", 0), 1) << text;
        EXPECT_EQ(ini.readInteger("P", "B", 0), 2) << text;
    }
}

TEST(IniWrite, ChangesOnlyTheKeyAndKeepsFileStyle) {
    const std::string original = "\xEF\xBB\xBF; comment\r\n[Project]\r\nCaption = Arvo\r\nVersion=V1\r\n\r\n[Other]\r\nX=1\r\n";
    auto ini = IniFile::FromText(original);
    EXPECT_EQ(ini.text(), original);

    ASSERT_TRUE(ini.writeString("project", "VERSION", "V2"));
    EXPECT_EQ(ini.text(), "\xEF\xBB\xBF; comment\r\n[Project]\r\nCaption = Arvo\r\nVersion=V2\r\n\r\n[Other]\r\nX=1\r\n");

    ASSERT_TRUE(ini.writeInteger("Project", "ExecuteModemkick", 5));  // new key stays in its section
    EXPECT_EQ(ini.readInteger("Project", "ExecuteModemkick", 0), 5);
    EXPECT_LT(ini.text().find("ExecuteModemkick=5\r\n"), ini.text().find("[Other]"));

    ASSERT_TRUE(ini.writeInteger("Uninstall", "UninstallUDisk", 0));
    EXPECT_TRUE(ini.text().ends_with("X=1\r\n\r\n[Uninstall]\r\nUninstallUDisk=0\r\n"));

    // A value cannot smuggle in lines of its own, and odd names are refused.
    ASSERT_TRUE(ini.writeString("Other", "X", "1\r\n[Project]\nVersion=evil"));
    EXPECT_EQ(ini.readString("Project", "Version", ""), "V2");
    for (const char* bad : {"", " X", "A=B", "[X", "X\n"}) EXPECT_FALSE(ini.writeString("Other", bad, "1")) << bad;
    EXPECT_FALSE(ini.writeString("Oth]er", "X", "1"));
}

TEST(IniFileIo, LoadSaveAndBadFiles) {
    flintcast::testing::TempDir dir;
    std::string error;
    EXPECT_FALSE(IniFile::Load(dir.path() / "absent.ini", &error));
    EXPECT_NE(error.find("absent.ini"), std::string::npos);
    EXPECT_FALSE(IniFile::Load(dir.path(), &error));

    const auto huge = dir.path() / "huge.ini";
    WriteAll(huge, "");
    std::filesystem::resize_file(huge, IniFile::kMaxFileBytes + 1);
    EXPECT_FALSE(IniFile::Load(huge, &error));
    EXPECT_NE(error.find("too large"), std::string::npos);

    const auto file = dir.path() / "Config.ini";
    WriteAll(file, "[Uninstall]\nUninstallUDisk=1\n");
    auto ini = IniFile::Load(file);
    ASSERT_TRUE(ini);
    ini->writeInteger("Uninstall", "UninstallUDisk", 0);
    ASSERT_TRUE(ini->save(file));
    EXPECT_EQ(ReadText(file), "[Uninstall]\nUninstallUDisk=0\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // no temporary left

    EXPECT_FALSE(ini->save(dir.path() / "no" / "such" / "dir.ini", &error));
    EXPECT_FALSE(error.empty());
}

TEST(IniFileIo, RandomGarbageNeverCrashes) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        std::string text(static_cast<size_t>(rng() % 4096), '\0');
        for (char& c : text) c = static_cast<char>("[]=;\r\n \tAT$0x1"[rng() % 15] ^ (rng() % 8 == 0 ? rng() : 0));
        auto ini = IniFile::FromText(text);
        (void)ini.readList("AT", "AT", 0, 1000);
        (void)ini.readInteger("[", "", 0);
        ini.writeString("S", "K", text.substr(0, 64));
        EXPECT_EQ(IniFile::FromText(ini.text()).readString("S", "K", "?"), ini.readString("S", "K", "!"));
    }
}
