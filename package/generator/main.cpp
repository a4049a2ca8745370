// flintcast-mkpackage: writes the demo firmware package (images and programmer) for
// a project type into a folder. The build runs it for the default package; tests
// run it for other project types.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "package/generator/package_images.h"

namespace {

namespace fs = std::filesystem;
using flintcast::mkpackage::PackageFile;

// Writes only when the contents differ, so a rebuild does not re-embed unchanged images.
bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::vector<char> old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old.size() == bytes.size() && std::equal(old.begin(), old.end(), bytes.begin(),
                                                         [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
                return true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool WriteAll(const fs::path& folder, const std::vector<PackageFile>& files) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    for (const PackageFile& file : files) {
        if (!WriteFile(folder / file.name, file.bytes)) {
            fmt::print(stderr, "flintcast-mkpackage: cannot write {}\n", (folder / file.name).string());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    flintcast::mkpackage::PackageOptions options;
    std::string outDir;
    std::string cdromDir;
    std::string loadWord = "0080";
    bool writeConfig = false;

    CLI::App app{"Writes a demo firmware package for a project type", "flintcast-mkpackage"};
    app.add_option("--out", outDir, "Folder that receives the images")->required();
    app.add_option("--project", options.project, "Project type number")->check(CLI::Range(-1, 48));
    app.add_option("--version", options.version, "Software version carried by the AMSS image");
    app.add_option("--load-word", loadWord, "Upper address word of the programmer's load address (hex)");
    app.add_option("--programmer-bytes", options.programmerBytes, "Size of the binary programmer")
        ->check(CLI::Range(32, 290000));
    app.add_option("--image-kib", options.largeImageKiB, "Size of every large image in KiB (0: defaults)")
        ->check(CLI::Range(0, 102400));
    app.add_option("--cdrom-dir", cdromDir, "Folder that receives the PC-suite CD-ROM's content");
    app.add_flag("--config", writeConfig, "Also write a Config.ini selecting these images");
    CLI11_PARSE(app, argc, argv);

    if (loadWord.size() != 4 || loadWord.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
        fmt::print(stderr, "flintcast-mkpackage: --load-word takes four hexadecimal digits\n");
        return 2;
    }
    options.loadAddress = static_cast<uint32_t>(std::stoul(loadWord, nullptr, 16)) << 16;

    if (!WriteAll(outDir, flintcast::mkpackage::PackageImages(options))) return 1;
    if (writeConfig) {
        const std::string ini = flintcast::mkpackage::PackageConfig(options);
        if (!WriteAll(outDir, {{"Config.ini", std::vector<uint8_t>(ini.begin(), ini.end())}})) return 1;
    }
    if (!cdromDir.empty() && !WriteAll(cdromDir, flintcast::mkpackage::CdromContent(options))) return 1;
    return 0;
}
