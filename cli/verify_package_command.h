#pragma once
// flintcast verify-package [FOLDER] [--config FILE]: stages the embedded package (or
// scans FOLDER), converts the programmer, verifies the image set and lists it with
// the total, or prints the first message. Exit 0 when the set is complete.
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

}  // namespace flintcast::cli
