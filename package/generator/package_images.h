#pragma once
// The images of a demo firmware package for one project type, with the names the
// image folder uses, and the flash programmer the simulated device accepts.
#include <cstdint>
#include <string>
#include <vector>

namespace flintcast::mkpackage {

struct PackageOptions {
    int32_t project = 46;
    std::string version = "V1.5.0";  // carried by the AMSS image after "FCSWVER:"
    uint32_t loadAddress = 0x00800000;
    std::size_t programmerBytes = 48 * 1024;
    std::size_t largeImageKiB = 0;   // 0: each image's own size; otherwise every large image gets this size
};

struct PackageFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

// The flash programmer as a binary: magic, length, project, CRC-16 of the body, body.
std::vector<uint8_t> ProgrammerImage(int32_t project, std::size_t totalBytes);

// Every image of the package (the programmer as Intel HEX "NPRG6260.hex").
std::vector<PackageFile> PackageImages(const PackageOptions& options);

// Files of the PC-suite CD-ROM's content folder (made into an ISO 9660 image by the build).
std::vector<PackageFile> CdromContent(const PackageOptions& options);

// A Config.ini that selects exactly the package's images for `options.project`.
std::string PackageConfig(const PackageOptions& options);

}  // namespace flintcast::mkpackage
