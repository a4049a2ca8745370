#pragma once
// INI files with the semantics of the Windows private-profile functions that the
// configuration and the registry stand-in rely on:
//  - section and key names are compared without regard to case; the first section
//    and the first key of a name win;
//  - blanks around the '=' and at both ends of a value are dropped;
//  - a string key that is absent yields its default (a present, empty key yields "");
//  - an integer is decimal, or hexadecimal after "$" or "0x", with an optional sign;
//    an absent, empty, unparsable or out-of-range value yields the default;
//  - a numbered list ends at its first absent or empty key.
// Files may use CRLF or LF line ends and may start with a UTF-8 byte-order mark.
// Writing a key changes only that key's line; the rest of the file stays as it was.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace flintcast::platform {

// Parses an integer the way the profile reader does; nullopt when it is not one.
std::optional<int32_t> ParseProfileInteger(std::string_view text);

class IniFile {
public:
    // Larger files are refused: a configuration this size is garbage, not settings.
    static constexpr std::uintmax_t kMaxFileBytes = 16u * 1024u * 1024u;

    IniFile() = default;
    static IniFile FromText(std::string_view text);

    // Loads `path`; on failure returns nullopt and puts the reason into `error`.
    static std::optional<IniFile> Load(const std::filesystem::path& path, std::string* error = nullptr);

    bool hasSection(std::string_view section) const;
    bool hasKey(std::string_view section, std::string_view key) const;
    // The value as written (trimmed); nullopt when the key is absent.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    std::string readString(std::string_view section, std::string_view key, std::string_view fallback) const;
    int32_t readInteger(std::string_view section, std::string_view key, int32_t fallback) const;
    // Values of prefix+first, prefix+(first+1), ... up to prefix+last, ending at the first gap.
    std::vector<std::string> readList(std::string_view section, std::string_view prefix, int first,
                                      int last) const;

    // Sets a key, adding the section and key when they are absent. Line breaks in the
    // value become blanks so a value can never add lines of its own. Returns false (and
    // changes nothing) for a name that cannot be written: empty, padded with blanks, or
    // holding '=', '[', ']', ';' or a line break.
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    bool writeInteger(std::string_view section, std::string_view key, int32_t value);

    std::string text() const;
    // Writes the file through a temporary file and a rename, so a failed write never
    // leaves a half-written file behind.
    bool save(const std::filesystem::path& path, std::string* error = nullptr) const;

private:
    struct Entry {
        size_t line;  // index into lines_
        std::string value;
    };
    struct Section {
        size_t lastLine;  // last non-blank line belonging to the section
        std::unordered_map<std::string, Entry> keys;  // lower-case key -> first entry
    };

    void reindex();
    const Section* findSection(std::string_view section) const;
    const Entry* findEntry(std::string_view section, std::string_view key) const;

    std::vector<std::string> lines_;
    std::string lineEnd_ = "\n";  // for new files; a loaded file keeps its own
    bool bom_ = false;
    bool finalLineEnd_ = true;
    std::unordered_map<std::string, Section> sections_;  // lower-case name -> first section
};

}  // namespace flintcast::platform
