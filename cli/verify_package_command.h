#pragma once
// flintcast verify-package [FOLDER] [--config FILE]: stages the embedded package (or
// scans FOLDER), converts the programmer, verifies the image set and lists it with
// the total, or prints the first message. The images are checked against the package's
// manifest when it carries one. Exit 0 when the set is complete and matches.
#include <iosfwd>
#include <optional>
#include <string>

namespace flintcast::cli {

struct VerifyPackageOptions {
    std::optional<std::string> folder;      // image folder; the embedded package when absent
    std::optional<std::string> configFile;  // Config.ini; the embedded one when absent
    std::optional<std::string> stagingDir;  // private staging folder; a fresh one under the temp root when absent
    bool keepStaging = false;
};

int RunVerifyPackageCommand(const VerifyPackageOptions& options, std::ostream& out, std::ostream& err);

// flintcast package-manifest FOLDER: writes FOLDER/manifest.sha256 (size and SHA-256 of every
// file in it but Config.ini) in place of an earlier one.
int RunPackageManifestCommand(const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace flintcast::cli
