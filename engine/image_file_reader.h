#pragma once
// Sequential reading of an image file in blocks, with the outcomes the
// download steps report separately: open, read, close.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace flintcast::engine {

class ImageFileReader {
public:
    ImageFileReader() = default;
    ~ImageFileReader();
    ImageFileReader(const ImageFileReader&) = delete;
    ImageFileReader& operator=(const ImageFileReader&) = delete;

    // Opens a regular file for reading; false for a missing file or a folder.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    uint64_t size() const { return size_; }
    bool seek(uint64_t offset);
    // Reads up to `count` bytes; returns the count read (0 at the end or on failure).
    size_t read(uint8_t* buffer, size_t count);
    // Reads exactly `count` bytes; false when fewer came.
    bool readFull(uint8_t* buffer, size_t count) { return read(buffer, count) == count; }
    bool close();

private:
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
};

// The file name without its folder, as block failure texts show it.
std::string FileNameOf(const std::string& path);

}  // namespace flintcast::engine
