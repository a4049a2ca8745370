#include "package/generator/package_images.h"

#include <cstring>
#include <span>
#include <string_view>

#include <fmt/format.h>

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "package/generator/filler.h"
#include "package/generator/intel_hex.h"

namespace flintcast::mkpackage {
namespace {

constexpr std::size_t kProgrammerHeaderBytes = 32;
constexpr std::string_view kVersionMarker = "FCSWVER:";
constexpr std::size_t kVersionMarkerOffset = 0x100;  // well inside the first 4 KiB

bool UsesBootStageImages(int32_t project) { return project >= 43 && project <= 47; }

struct ImageSpec {
    std::string name;
    std::size_t defaultKiB;
    bool large;  // resized by largeImageKiB
};

std::vector<ImageSpec> ImageSpecs(int32_t project) {
    std::vector<ImageSpec> specs;
    if (project != 35) specs.push_back({"partition.mbn", 0, false});
    specs.push_back({"amss.mbn", 3072, true});
    if (!UsesBootStageImages(project)) specs.push_back({"amsshd.mbn", 0, false});
    if (UsesBootStageImages(project)) {
        specs.push_back({"dbl.mbn", 96, false});
        specs.push_back({"fsbl.mbn", 128, false});
        specs.push_back({"osbl.mbn", 256, false});
    } else {
        specs.push_back({"qcsbl.mbn", 96, false});
        specs.push_back({"qcsblhd_cfgdata.mbn", 8, false});
        specs.push_back({"oemsbl.mbn", 256, false});
        specs.push_back({"oemsblhd.mbn", 0, false});
    }
    specs.push_back({"dsp1.mbn", 1024, true});
    specs.push_back({"dsp2.mbn", 2048, true});
    if (project == 7) {
        specs.push_back({"cefs.mbn", 1024, true});
        specs.push_back({"cefs_apps.mbn", 2048, true});
    } else if (project == 46) {
        specs.push_back({"cefs_apps.mbn", 2048, true});
    } else {
        specs.push_back({"efs.mbn", 2048, true});
    }
    return specs;
}

}  // namespace

std::vector<uint8_t> ProgrammerImage(int32_t project, std::size_t totalBytes) {
    if (totalBytes < kProgrammerHeaderBytes) totalBytes = kProgrammerHeaderBytes;
    std::vector<uint8_t> image(kProgrammerHeaderBytes, 0);
    std::memcpy(image.data(), "FCPROG01", 8);
    byte_order::StoreLe32(image, 8, static_cast<uint32_t>(totalBytes));
    byte_order::StoreLe32(image, 12, static_cast<uint32_t>(project));
    const std::vector<uint8_t> body = Filler(fmt::format("programmer-{}", project), totalBytes - kProgrammerHeaderBytes);
    const uint16_t crc = hdlc::CheckSequence(body);
    byte_order::StoreLe16(image, 16, crc);
    image.insert(image.end(), body.begin(), body.end());
    return image;
}

std::vector<PackageFile> PackageImages(const PackageOptions& options) {
    std::vector<PackageFile> files;
    const std::vector<uint8_t> programmer = ProgrammerImage(options.project, options.programmerBytes);
    const std::string hex = ToIntelHex(programmer, options.loadAddress);
    files.push_back({"NPRG6260.hex", std::vector<uint8_t>(hex.begin(), hex.end())});

    for (const ImageSpec& spec : ImageSpecs(options.project)) {
        std::size_t bytes = spec.defaultKiB * 1024;
        if (spec.defaultKiB == 0) bytes = 256;  // partition table and headers: below 512 bytes
        if (spec.large && options.largeImageKiB > 0) bytes = options.largeImageKiB * 1024;
        PackageFile file{spec.name, Filler(fmt::format("{}-{}", spec.name, options.project), bytes)};
        if (spec.name == "amss.mbn") {
            // The software version the device reports once this image is written.
            const std::string marker = std::string(kVersionMarker) + options.version;
            const std::size_t room = std::min<std::size_t>(bytes, 4096);
            if (kVersionMarkerOffset + marker.size() + 1 <= room) {
                std::memcpy(file.bytes.data() + kVersionMarkerOffset, marker.data(), marker.size());
                file.bytes[kVersionMarkerOffset + marker.size()] = 0;
            }
        }
        files.push_back(std::move(file));
    }
    return files;
}

std::vector<PackageFile> CdromContent(const PackageOptions& options) {
    const std::string readme = fmt::format(
        "Flintcast demo PC suite\r\nPackage version {}\r\nThis disc image stands in for the device's companion software.\r\n",
        options.version);
    const std::string autorun = "[autorun]\r\nopen=setup.exe\r\nlabel=PC Suite\r\n";
    std::size_t setupBytes = 1024 * 1024;
    if (options.largeImageKiB > 0) setupBytes = options.largeImageKiB * 1024;
    return {
        {"autorun.inf", std::vector<uint8_t>(autorun.begin(), autorun.end())},
        {"readme.txt", std::vector<uint8_t>(readme.begin(), readme.end())},
        {"setup.exe", Filler("cdrom-setup", setupBytes)},
    };
}

std::string PackageConfig(const PackageOptions& options) {
    return fmt::format(
        "[Project]\r\nCaption = Arvo Flintcast\r\nVersion ={}\r\nProject = PRJ{:02}\r\nType =\r\nLTEType = LTE\r\n\r\n"
        "[DownloadItems]\r\nbBootLoader=1\r\nbdbl=1\r\nbfsbl=0\r\nbosbl=1\r\nbEFS =1\r\nbBackup=0\r\nbRestore=0\r\n"
        "bAMSSFile=1\r\nbDSP = 1\r\nbCDROM=0\r\nbDISK=0\r\n",
        options.version, options.project);
}

}  // namespace flintcast::mkpackage
