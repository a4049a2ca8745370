// Whole-or-absent files on Windows: the content goes to a file beside the target, is flushed
// with FlushFileBuffers (_commit), and moved over the target with MoveFileEx
// (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), which returns only once the move is on
// the disk; Windows has no separate flush of a folder. A link at the target is replaced, not
// followed. The "executable" mode has no meaning here.
#include "platform/atomic_file.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace {

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return win32::FailWithLastError();
    return true;
}

}  // namespace

bool SyncFileToDisk(const std::filesystem::path& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return win32::FailWithLastError();
    const bool ok = ::FlushFileBuffers(file) != FALSE;
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    if (!ok) errno = win32::ErrnoFromWin32(error);
    return ok;
}

std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target) {
    std::filesystem::path out = target;
    out += ".partial-" + std::to_string(::_getpid());
    return out;
}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Open(const std::filesystem::path& target, bool) {
    Abandon();
    target_ = target;
    const std::filesystem::path temp = TemporaryNameBeside(target);
    tempPath_ = temp.string();
    failed_ = false;
    ::_wunlink(temp.c_str());
    fd_ = ::_wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    return fd_ >= 0;
}

bool AtomicFileWriter::Write(std::span<const uint8_t> data) {
    if (fd_ < 0 || failed_) return false;
    const uint8_t* at = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(left, 1u << 30));
        const int n = ::_write(fd_, at, chunk);
        if (n <= 0) {
            if (n == 0) errno = EIO;
            failed_ = true;
            return false;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::Commit() {
    if (fd_ < 0) return false;
    bool ok = !failed_ && ::_commit(fd_) == 0;
    int saved = errno;
    ok = ::_close(fd_) == 0 && ok;
    fd_ = -1;
    const std::filesystem::path temp = TemporaryNameBeside(target_);
    if (ok && !MoveReplacing(temp, target_)) ok = false;
    if (!ok) {
        saved = errno;
        ::_wunlink(temp.c_str());
        errno = saved;
        return false;
    }
    return true;
}

void AtomicFileWriter::Abandon() {
    if (fd_ < 0) return;
    const int saved = errno;
    ::_close(fd_);
    fd_ = -1;
    ::_wunlink(TemporaryNameBeside(target_).c_str());
    errno = saved;
}

bool CommitWrittenFile(const std::filesystem::path& written, const std::filesystem::path& target) {
    if (!SyncFileToDisk(written)) return false;
    return MoveReplacing(written, target);
}

}  // namespace flintcast::platform
