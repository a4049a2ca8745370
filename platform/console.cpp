#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace flintcast::platform {
namespace {

std::atomic<void (*)()> gOnStop{nullptr};

extern "C" void OnStopSignal(int) {
    if (auto onStop = gOnStop.load()) onStop();
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }
bool InputIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

void CatchStopRequests(void (*onStop)()) {
    gOnStop.store(onStop);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace flintcast::platform
