#include "platform/ini_file.h"

#include <fmt/format.h>

#include "platform/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include <unistd.h>

namespace flintcast::platform {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A section header's name, or nullopt when the line is not a header.
std::optional<std::string_view> HeaderName(std::string_view trimmed) {
    if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
    trimmed.remove_prefix(1);
    const size_t close = trimmed.find(']');
    if (close != std::string_view::npos) trimmed = trimmed.substr(0, close);
    return Trim(trimmed);
}

bool IsWritableName(std::string_view name) {
    if (name.empty() || Trim(name).size() != name.size()) return false;
    return name.find_first_of("=[];\r\n") == std::string_view::npos;
}

}  // namespace

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;

    if (text.front() == '$' || (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))) {
        // Hexadecimal spells a 32-bit pattern, so "$FFFFFFFF" is -1 as in the original tool.
        text.remove_prefix(text.front() == '$' ? 1 : 2);
        if (text.empty()) return std::nullopt;
        uint64_t bits = 0;
        for (char c : text) {
            const int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            bits = bits * 16 + static_cast<uint64_t>(d);
            if (bits > 0xFFFFFFFFu) return std::nullopt;
        }
        const int64_t value = static_cast<int32_t>(static_cast<uint32_t>(bits));
        return static_cast<int32_t>(static_cast<uint32_t>(negative ? -value : value));
    }
    int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{2147483648}) return std::nullopt;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}

IniFile IniFile::FromText(std::string_view text) {
    IniFile ini;
    if (text.substr(0, kBom.size()) == kBom) {
        ini.bom_ = true;
        text.remove_prefix(kBom.size());
    }
    bool endSeen = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            ini.lines_.emplace_back(text.substr(start));
            ini.finalLineEnd_ = false;
            break;
        }
        ini.lines_.emplace_back(text.substr(start, end - start));
        size_t next = end + 1;
        const bool crlf = text[end] == '\r' && next < text.size() && text[next] == '\n';
        if (crlf) ++next;
        if (!endSeen) {
            ini.lineEnd_ = std::string(text.substr(end, crlf ? 2 : 1));
            endSeen = true;
        }
        start = next;
    }
    if (text.empty()) ini.finalLineEnd_ = true;
    ini.reindex();
    return ini;
}

std::optional<IniFile> IniFile::Load(const std::filesystem::path& path, std::string* error) {
    auto fail = [&](std::string reason) -> std::optional<IniFile> {
        if (error) *error = fmt::format("{}: {}", path.string(), reason);
        return std::nullopt;
    };
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return fail("file not found");
    if (!std::filesystem::is_regular_file(status)) return fail("not a regular file");
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return fail(ec.message());
    if (size > kMaxFileBytes) return fail(fmt::format("file too large ({} bytes)", size));

    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(std::strerror(errno));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return fail("read error");
    return FromText(text);
}

void IniFile::reindex() {
    sections_.clear();
    Section* current = nullptr;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view trimmed = Trim(lines_[i]);
        if (trimmed.empty()) continue;
        if (auto name = HeaderName(trimmed)) {
            auto [it, inserted] = sections_.try_emplace(Lower(*name), Section{i, {}});
            // A repeated section header is ignored for reading, as the first one wins.
            current = inserted ? &it->second : nullptr;
            continue;
        }
        if (!current) continue;  // lines before the first header, or in a repeated section
        current->lastLine = i;
        if (trimmed.front() == ';') continue;
        const size_t eq = trimmed.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = Trim(trimmed.substr(0, eq));
        if (key.empty()) continue;
        current->keys.try_emplace(Lower(key), Entry{i, std::string(Trim(trimmed.substr(eq + 1)))});
    }
}

const IniFile::Section* IniFile::findSection(std::string_view section) const {
    auto it = sections_.find(Lower(Trim(section)));
    return it == sections_.end() ? nullptr : &it->second;
}

const IniFile::Entry* IniFile::findEntry(std::string_view section, std::string_view key) const {
    const Section* s = findSection(section);
    if (!s) return nullptr;
    auto it = s->keys.find(Lower(Trim(key)));
    return it == s->keys.end() ? nullptr : &it->second;
}

bool IniFile::hasSection(std::string_view section) const { return findSection(section) != nullptr; }

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
    return findEntry(section, key) != nullptr;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const Entry* e = findEntry(section, key);
    if (!e) return std::nullopt;
    return e->value;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const Entry* e = findEntry(section, key);
    return e ? e->value : std::string(fallback);
}

int32_t IniFile::readInteger(std::string_view section, std::string_view key, int32_t fallback) const {
    const Entry* e = findEntry(section, key);
    if (!e) return fallback;
    return ParseProfileInteger(e->value).value_or(fallback);
}

std::vector<std::string> IniFile::readList(std::string_view section, std::string_view prefix, int first,
                                           int last) const {
    std::vector<std::string> out;
    const Section* s = findSection(section);
    if (!s) return out;
    const std::string lowerPrefix = Lower(prefix);
    for (int i = first; i <= last; ++i) {
        auto it = s->keys.find(fmt::format("{}{}", lowerPrefix, i));
        if (it == s->keys.end() || it->second.value.empty()) break;
        out.push_back(it->second.value);
    }
    return out;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsWritableName(section) || !IsWritableName(key)) return false;
    std::string clean(Trim(value));
    for (char& c : clean)
        if (c == '\r' || c == '\n') c = ' ';

    if (const Entry* e = findEntry(section, key)) {
        std::string& line = lines_[e->line];
        const size_t eq = line.find('=');
        line = fmt::format("{}={}", line.substr(0, eq), clean);
    } else if (const Section* s = findSection(section)) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(s->lastLine + 1),
                      fmt::format("{}={}", key, clean));
    } else {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back(fmt::format("[{}]", section));
        lines_.push_back(fmt::format("{}={}", key, clean));
        finalLineEnd_ = true;
    }
    reindex();
    return true;
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, int32_t value) {
    return writeString(section, key, fmt::format("{}", value));
}

std::string IniFile::text() const {
    std::string out;
    if (bom_) out += kBom;
    for (size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalLineEnd_) out += lineEnd_;
    }
    return out;
}

bool IniFile::save(const std::filesystem::path& path, std::string* error) const {
    auto fail = [&](std::string reason) {
        if (error) *error = fmt::format("{}: {}", path.string(), reason);
        return false;
    };
    // Written aside, flushed and renamed over: a crash leaves the old file or the new one.
    const std::string content = text();
    AtomicFileWriter out;
    if (!out.Open(path)) return fail(std::strerror(errno));
    if (!out.Write(std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size())) || !out.Commit()) {
        return fail(fmt::format("cannot replace file: {}", std::strerror(errno)));
    }
    return true;
}

}  // namespace flintcast::platform
