#pragma once
// Files that are either whole or absent. The content goes to a fresh temporary file beside
// the target, which is flushed to the disk, renamed over the target, and the folder flushed
// in turn: a crash or a power loss at any moment leaves the old content or the new one under
// the target's name, never a part of either. The temporary file is never opened through a
// link, and a link standing at the target is replaced rather than followed.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace flintcast::platform {

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();  // an unfinished file is removed; the target stays as it was
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Opens the temporary file for `target`. False (errno set) on failure.
    bool Open(const std::filesystem::path& target, bool executable = false);
    bool IsOpen() const { return fd_ >= 0; }
    // False (errno set) on a write error; later writes and the commit then fail too.
    bool Write(std::span<const uint8_t> data);
    // Flushes the file, renames it over the target and flushes the folder. False (errno set)
    // when any of it failed: the target then keeps its earlier content.
    bool Commit();
    // Drops what was written; the target stays as it was.
    void Abandon();

private:
    int fd_ = -1;
    bool failed_ = false;
    std::filesystem::path target_;
    std::string tempPath_;
};

// Puts a file another program wrote (at `written`, in the target's folder) in place of
// `target` the same way: flushed, renamed over, the folder flushed. False (errno set) on
// failure; `written` is then left where it is.
bool CommitWrittenFile(const std::filesystem::path& written, const std::filesystem::path& target);

// The name beside `target` a program may write to before CommitWrittenFile moves it in place.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target);

// Flushes what was written to an existing file to the disk. False (errno set) on failure.
bool SyncFileToDisk(const std::filesystem::path& path);

}  // namespace flintcast::platform
