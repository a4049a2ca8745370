#pragma once
// The run log: one text file per run series, named after the window caption and the time it was
// opened, with one dated line per status line and a closing block after a failure.
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace flintcast::controller {

// The local time of now, broken down.
std::tm LocalNow();
// "2024/05/07" and "13:05:09": the short date and long time of the log's lines.
std::string LogDate(const std::tm& t);
std::string LogTime(const std::tm& t);

// caption + "(" date " " time ").log", with every "/" made "_" and every ":" made ";", so a
// caption can never name a folder.
std::string RunLogFileName(std::string_view caption, const std::tm& t);

class RunLog {
public:
    // Creates the file new (replacing one of the same name) in `folder`, creating the folder
    // first. False, with the log closed, when it cannot be created.
    bool Open(const std::filesystem::path& folder, std::string_view caption, const std::tm& now);
    bool IsOpen() const { return out_.is_open(); }
    // date " " time " " text, then CR LF.
    void WriteLine(const std::tm& now, std::string_view text);
    // The text as it stands, then CR LF (the closing block).
    void WriteRaw(std::string_view text);
    // Flushes the lines written so far to the disk (a milestone's line outlives a power loss).
    void SyncToDisk();
    void Close();
    // Path of the file opened last (kept after Close so it can be deleted).
    const std::filesystem::path& filePath() const { return path_; }

private:
    std::ofstream out_;
    std::filesystem::path path_;
};

}  // namespace flintcast::controller
