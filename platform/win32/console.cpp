#include "platform/console.h"

#include <windows.h>

#include <io.h>

#include <atomic>

namespace flintcast::platform {
namespace {

std::atomic<void (*)()> gOnStop{nullptr};

BOOL WINAPI OnConsoleControl(DWORD event) {
    auto onStop = gOnStop.load();
    if (onStop == nullptr) return FALSE;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            onStop();
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ::_isatty(::_fileno(stream)) != 0; }
bool InputIsTerminal() { return ::_isatty(0) != 0; }

void CatchStopRequests(void (*onStop)()) {
    gOnStop.store(onStop);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void IgnoreBrokenPipes() {}

}  // namespace flintcast::platform
