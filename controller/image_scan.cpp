#include "controller/image_scan.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>
#include <vector>

#include "controller/image_names.h"
#include "controller/programmer_conversion.h"

namespace flintcast::controller {
namespace {

namespace fs = std::filesystem;

// Deeper folders than this are not walked (a guard against pathological trees).
constexpr int kMaxDepth = 32;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

void AssignFile(const fs::path& path, const config::ProjectConfig& config, const ProgrammerConversion& conversion,
                config::MessageSink& messages, engine::ImageSet& images) {
    const std::string fileName = path.filename().string();
    const std::string lower = Lower(fileName);
    if (Contains(lower, ".hex")) {
        const fs::path binPath = conversion.outputFolder / ConvertedProgrammerName(fileName);
        uint32_t loadAddress = 0;
        if (ConvertProgrammer(path, binPath, conversion.libraryFolder, messages, loadAddress)) {
            images.file(ImageSlot::Programmer).path = binPath.string();
            images.programmerLoadAddress = loadAddress;
        }
        return;
    }
    if (IsPcSuiteImageName(lower, config)) {
        images.file(ImageSlot::PcSuite).path = path.string();
        return;
    }
    for (const ImageName& name : kImageNames) {
        if (lower == name.fileName) {
            images.file(name.slot).path = path.string();
            return;
        }
    }
    if (lower == "at.bak") images.file(ImageSlot::AtBackup).path = path.string();
}

void Walk(const fs::path& folder, int depth, const config::ProjectConfig& config,
          const ProgrammerConversion& conversion, config::MessageSink& messages, engine::ImageSet& images) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });

    for (const fs::directory_entry& entry : entries) {
        std::error_code statusError;
        const bool isLink = entry.is_symlink(statusError);
        const bool isFolder = entry.is_directory(statusError);
        if (isFolder) {
            // A linked folder may lead anywhere, even back up the tree: never descend it.
            if (!isLink && depth < kMaxDepth) Walk(entry.path(), depth + 1, config, conversion, messages, images);
            continue;
        }
        AssignFile(entry.path(), config, conversion, messages, images);
    }
}

}  // namespace

bool IsPcSuiteImageName(const std::string& lowerName, const config::ProjectConfig& config) {
    if (config.bCDROM && Contains(lowerName, "iso") && lowerName != "imageempty.iso") return true;
    if (config.bDISK && Contains(lowerName, ".ima") && lowerName != "fatempty.ima") return true;
    return config.bResImage && lowerName == "resimage";
}

void ScanImageFolder(const std::filesystem::path& folder, const config::ProjectConfig& config,
                     const ProgrammerConversion& conversion, config::MessageSink& messages,
                     engine::ImageSet& images) {
    Walk(folder, 0, config, conversion, messages, images);
}

}  // namespace flintcast::controller
