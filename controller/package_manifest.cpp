#include "controller/package_manifest.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include <fmt/format.h>

#include "platform/replace_file.h"

namespace flintcast::controller {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPieceBytes = 1 << 20;
constexpr std::string_view kHeader = "# Flintcast package manifest: SHA-256, size in bytes, file name\n";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<sha256::Digest> ParseDigest(std::string_view hex) {
    if (hex.size() != 64) return std::nullopt;
    sha256::Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return digest;
}

// A manifest names files of its own folder only.
bool PlainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::optional<ManifestEntry> ParseLine(std::string_view line) {
    const auto firstSpace = line.find(' ');
    if (firstSpace == std::string_view::npos) return std::nullopt;
    const auto digest = ParseDigest(line.substr(0, firstSpace));
    const auto rest = line.substr(firstSpace + 1);
    const auto secondSpace = rest.find(' ');
    if (!digest || secondSpace == std::string_view::npos) return std::nullopt;
    ManifestEntry entry;
    entry.digest = *digest;
    const auto sizeText = rest.substr(0, secondSpace);
    const auto [end, ec] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), entry.size);
    if (ec != std::errc() || end != sizeText.data() + sizeText.size() || sizeText.empty()) return std::nullopt;
    entry.name = std::string(rest.substr(secondSpace + 1));
    if (!PlainFileName(entry.name)) return std::nullopt;
    return entry;
}

// Config.ini is the package's settings, not an image, and the driver installer writes its
// verdict into it: it stays out of the manifest.
bool IsSettingsFile(const fs::path& path) {
    std::string name = path.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name == "config.ini";
}

}  // namespace

std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text, std::string& error) {
    std::vector<ManifestEntry> entries;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        auto entry = ParseLine(line);
        if (!entry) {
            error = fmt::format("line {} is not \"SHA-256 size name\"", number);
            return std::nullopt;
        }
        const bool repeated = std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.name == entry->name; });
        if (repeated) {
            error = fmt::format("line {} lists {} a second time", number, entry->name);
            return std::nullopt;
        }
        entries.push_back(std::move(*entry));
    }
    return entries;
}

std::string ManifestText(const std::vector<ManifestEntry>& entries) {
    std::string text(kHeader);
    for (const auto& e : entries) text += fmt::format("{} {} {}\n", sha256::Hex(e.digest), e.size, e.name);
    return text;
}

std::optional<ManifestEntry> DescribeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    ManifestEntry entry;
    entry.name = path.filename().string();
    sha256::Hasher hasher;
    std::vector<uint8_t> piece(kPieceBytes);
    while (in) {
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        hasher.Update(std::span(piece.data(), got));
        entry.size += got;
    }
    if (in.bad()) return std::nullopt;
    entry.digest = hasher.Finish();
    return entry;
}

std::optional<size_t> WriteManifest(const fs::path& folder, std::string& error) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& item : fs::directory_iterator(folder, ec)) {
        if (item.is_regular_file(ec) && item.path().filename() != kManifestFileName && !IsSettingsFile(item.path())) {
            files.push_back(item.path());
        }
    }
    if (ec) {
        error = fmt::format("cannot list {}: {}", folder.string(), ec.message());
        return std::nullopt;
    }
    std::sort(files.begin(), files.end());
    std::vector<ManifestEntry> entries;
    for (const auto& file : files) {
        auto entry = DescribeFile(file);
        if (!entry) {
            error = fmt::format("cannot read {}", file.string());
            return std::nullopt;
        }
        entries.push_back(std::move(*entry));
    }
    const std::string text = ManifestText(entries);
    if (!platform::WriteFileReplacing(folder / kManifestFileName,
                                      std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()))) {
        error = fmt::format("cannot write {}", (folder / kManifestFileName).string());
        return std::nullopt;
    }
    return entries.size();
}

ManifestVerdict CheckPackageManifest(const fs::path& folder, const std::vector<std::string>& used) {
    ManifestVerdict verdict;
    const fs::path manifestPath = folder / kManifestFileName;
    std::error_code ec;
    if (!fs::exists(manifestPath, ec)) return verdict;
    verdict.present = true;
    std::ifstream in(manifestPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto entries = in ? ParseManifest(text.str(), error) : std::nullopt;
    if (!entries) {
        verdict.problems.push_back(
            fmt::format("The package manifest {} cannot be read: {}", manifestPath.string(), in ? error : "not readable"));
        return verdict;
    }
    std::map<std::string, const ManifestEntry*> listed;
    for (const auto& entry : *entries) listed[entry.name] = &entry;
    for (const auto& name : used) {
        if (!listed.count(name)) {
            verdict.problems.push_back(fmt::format("Image {} is not listed in the package manifest {}", name,
                                                   manifestPath.string()));
        }
    }
    for (const auto& entry : *entries) {
        const fs::path path = folder / entry.name;
        if (!fs::exists(path, ec)) continue;  // an image this package's settings do not stage
        const auto actual = DescribeFile(path);
        if (!actual) {
            verdict.problems.push_back(fmt::format("Image {} cannot be read to check it", path.string()));
        } else if (actual->size != entry.size) {
            verdict.problems.push_back(fmt::format("Image {} does not match the package manifest: {} bytes, the "
                                                   "manifest says {}",
                                                   path.string(), actual->size, entry.size));
        } else if (actual->digest != entry.digest) {
            verdict.problems.push_back(fmt::format("Image {} does not match the package manifest: SHA-256 {}, the "
                                                   "manifest says {}",
                                                   path.string(), sha256::Hex(actual->digest),
                                                   sha256::Hex(entry.digest)));
        }
    }
    return verdict;
}

std::vector<std::string> ImagesWrittenFrom(const engine::ImageSet& images, const fs::path& folder) {
    using engine::ImageSlot;
    std::vector<std::string> names;
    auto add = [&](const engine::ImageFile& file) {
        if (file.path.empty()) return;
        const fs::path path(file.path);
        if (path.parent_path().lexically_normal() != folder.lexically_normal()) return;
        const std::string name = path.filename().string();
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    };
    for (std::size_t i = 0; i < engine::kImageSlotCount; ++i) {
        const auto slot = static_cast<ImageSlot>(i);
        if (slot == ImageSlot::Programmer || slot == ImageSlot::NvBackup || slot == ImageSlot::AtBackup) continue;
        add(images.files[i]);
    }
    for (const auto& file : images.partOfEfsFiles) add(file);
    return names;
}

bool ImagesMatchManifest(const fs::path& folder, const engine::ImageSet& images, config::MessageSink& messages,
                         bool& warned) {
    const ManifestVerdict verdict = CheckPackageManifest(folder, ImagesWrittenFrom(images, folder));
    if (!verdict.present) {
        if (!warned) {
            messages.show({"Warning",
                           fmt::format("The package in {} carries no {}: its images cannot be checked.",
                                       folder.string(), kManifestFileName),
                           config::MessageButtons::Ok, config::MessageIcon::Warning});
        }
        warned = true;
        return true;
    }
    if (verdict.ok()) return true;
    std::string text = "The package is refused:";
    for (const auto& problem : verdict.problems) text += "\n" + problem;
    messages.show({"Error", text, config::MessageButtons::Ok, config::MessageIcon::Warning});
    return false;
}

}  // namespace flintcast::controller
