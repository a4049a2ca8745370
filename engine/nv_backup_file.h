#pragma once
// A backup file being made: records are collected and the file is written as a whole when the
// backup closes it, through a fresh file renamed into place. A backup that stops half-way
// leaves the records saved so far, and never a half-written record.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flintcast::engine {

class NvBackupFile {
public:
    // Creates the file empty, replacing any file of that name. False (errno set) on failure.
    bool Create(const std::string& path);
    void Append(std::span<const uint8_t> record) { bytes_.insert(bytes_.end(), record.begin(), record.end()); }
    // Writes the records collected so far. False (errno set) on failure.
    bool Close();

private:
    std::string path_;
    std::vector<uint8_t> bytes_;
};

}  // namespace flintcast::engine
