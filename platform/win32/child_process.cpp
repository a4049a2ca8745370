// The demo's helper program on Windows. A console program started without a window has no
// polite way to be asked to end (no signal, no shared console for a Ctrl+Break), so Stop ends
// it with TerminateProcess unless it has already exited.
#include "platform/child_process.h"

#include <windows.h>

#include "platform/win32/process_start.h"
#include "platform/win32/win_text.h"

namespace flintcast::platform {

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& outputFile) {
    if (pid_ > 0) Stop();
    HANDLE output = nullptr;
    if (!outputFile.empty()) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        output = ::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE) return win32::FailWithLastError();
    }
    auto started = win32::StartProcess(program, arguments, {}, {}, true, output);
    win32::CloseIfOpen(output);
    if (started.process == nullptr) return false;
    process_ = started.process;
    pid_ = started.pid;
    status_ = -1;
    return true;
}

bool ChildProcess::running() {
    if (process_ == nullptr) return false;
    if (::WaitForSingleObject(static_cast<HANDLE>(process_), 0) != WAIT_OBJECT_0) return true;
    status_ = win32::ExitStatusOf(static_cast<HANDLE>(process_));
    ::CloseHandle(static_cast<HANDLE>(process_));
    process_ = nullptr;
    pid_ = -1;
    return false;
}

int ChildProcess::Stop(int waitRealMs) {
    if (process_ == nullptr) return status_;
    HANDLE process = static_cast<HANDLE>(process_);
    if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(process, 0xFFFFFFFF);
        ::WaitForSingleObject(process, static_cast<DWORD>(waitRealMs < 0 ? 0 : waitRealMs));
        status_ = -1;
    } else {
        status_ = win32::ExitStatusOf(process);
    }
    ::CloseHandle(process);
    process_ = nullptr;
    pid_ = -1;
    return status_;
}

}  // namespace flintcast::platform
