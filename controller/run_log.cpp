#include "controller/run_log.h"

#include <fmt/format.h>

#include <system_error>

#include "platform/atomic_file.h"
#include "platform/local_time.h"

namespace flintcast::controller {

std::tm LocalNow() { return platform::LocalTimeNow(); }

std::string LogDate(const std::tm& t) {
    return fmt::format("{:04}/{:02}/{:02}", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

std::string LogTime(const std::tm& t) { return fmt::format("{:02}:{:02}:{:02}", t.tm_hour, t.tm_min, t.tm_sec); }

std::string RunLogFileName(std::string_view caption, const std::tm& t) {
    std::string name = fmt::format("{}({} {}).log", caption, LogDate(t), LogTime(t));
    for (char& c : name) {
        if (c == '/') c = '_';
        else if (c == ':') c = ';';
        else if (c == '\0') c = '_';
    }
    // A caption of "." or ".." alone cannot occur: the name always carries the date part.
    return name;
}

bool RunLog::Open(const std::filesystem::path& folder, std::string_view caption, const std::tm& now) {
    Close();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    path_ = folder / RunLogFileName(caption, now);
    out_.open(path_, std::ios::binary | std::ios::trunc);
    return out_.is_open();
}

void RunLog::WriteLine(const std::tm& now, std::string_view text) {
    if (!out_.is_open()) return;
    out_ << LogDate(now) << ' ' << LogTime(now) << ' ' << text << "\r\n";
    out_.flush();  // a run may end in a crash of the device, never of the log
}

void RunLog::WriteRaw(std::string_view text) {
    if (!out_.is_open()) return;
    out_ << text << "\r\n";
    out_.flush();
}

void RunLog::SyncToDisk() {
    if (out_.is_open()) platform::SyncFileToDisk(path_);
}

void RunLog::Close() {
    if (out_.is_open()) out_.close();
}

}  // namespace flintcast::controller
