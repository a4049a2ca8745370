// The INI parser behind Config.ini, at.bak and the settings store: any text parses, reading
// any key of it is safe, a written key reads back as written (also after a round trip through
// the file's text), and writing one key leaves every other key's value as it was.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/ini_file.h"

using flintcast::platform::IniFile;

namespace {

// The value a reader sees for a written one: line breaks become blanks, blanks and tabs at
// the ends are dropped.
std::string Expected(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!out.empty() && blank(out.back())) out.pop_back();
    size_t start = 0;
    while (start < out.size() && blank(out[start])) ++start;
    return out.substr(start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The input is "file text", optionally followed by a 0x00 and "section\0key\0value" to write.
    const size_t split = input.find('\0');
    const std::string_view text = input.substr(0, split);
    IniFile ini = IniFile::FromText(text);

    // Reads of the keys a configuration asks for, and a numbered list.
    (void)ini.readString("Config", "ProjectType", "x");
    (void)ini.readInteger("Config", "ProjectType", -7);
    (void)ini.readList("NV", "NV", 0, 40);
    (void)ini.hasSection("BACKUP");

    // Parsing is stable: the text it gives back parses to the same text.
    const std::string again = IniFile::FromText(ini.text()).text();
    FUZZ_CHECK(again == ini.text());

    if (split == std::string_view::npos) return 0;
    std::string_view rest = input.substr(split + 1);
    const size_t a = rest.find('\0');
    if (a == std::string_view::npos) return 0;
    const std::string_view section = rest.substr(0, a);
    rest.remove_prefix(a + 1);
    const size_t b = rest.find('\0');
    if (b == std::string_view::npos) return 0;
    const std::string_view key = rest.substr(0, b);
    const std::string_view value = rest.substr(b + 1);

    const auto beforeConfig = ini.value("Config", "ProjectType");
    if (!ini.writeString(section, key, value)) return 0;
    FUZZ_CHECK(ini.value(section, key) == Expected(value));
    const IniFile reread = IniFile::FromText(ini.text());
    FUZZ_CHECK(reread.value(section, key) == Expected(value));
    // Another key keeps its value (unless it is the one written).
    IniFile probe = IniFile::FromText(ini.text());
    const std::string lowerSection = [&] {
        std::string s(section);
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }();
    const std::string lowerKey = [&] {
        std::string s(key);
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }();
    if (!(lowerSection == "config" && lowerKey == "projecttype"))
        FUZZ_CHECK(probe.value("Config", "ProjectType") == beforeConfig);
    return 0;
}
