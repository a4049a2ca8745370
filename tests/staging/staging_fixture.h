#pragma once
// A generated demo package in a temporary folder, the converter library staged
// beside it, and helpers to run the verification on it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/messages.h"
#include "config/project_config.h"
#include "controller/image_verification.h"
#include "devkit/temp_dir.h"

namespace flintcast::testing {

class StagingTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Writes the package of `project` (small images) into images().
    void generate(int project, const std::string& extra = "");
    // The configuration the generated package is meant for.
    static config::ProjectConfig ConfigFor(int project);
    bool verify(const config::ProjectConfig& cfg);
    // Texts of the messages shown so far.
    std::vector<std::string> texts() const;

    std::filesystem::path images() const { return dir_.path() / "images"; }
    std::filesystem::path staging() const { return dir_.path() / "staging"; }

    TempDir dir_;
    config::RecordingMessageSink messages_;
    engine::ImageSet set_;
    std::vector<controller::ListedImage> list_;
};

void WriteBytes(const std::filesystem::path& path, std::size_t size, char fill = 'x');

}  // namespace flintcast::testing
