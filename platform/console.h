#pragma once
// The console the command-line program runs in: whether a stream is a terminal, and the stop
// requests (Ctrl+C everywhere; SIGTERM and SIGHUP on Linux; Ctrl+Break and closing the console
// window on Windows) that end a run in order instead of ending the process.
#include <cstdio>

namespace flintcast::platform {

bool IsTerminal(std::FILE* stream);
bool InputIsTerminal();

// From now on a stop request calls `onStop` instead of ending the process. It runs in a signal
// handler (Linux) or the console's control thread (Windows): it may only set an atomic flag.
void CatchStopRequests(void (*onStop)());

// A write to a closed pipe fails as a write instead of ending the program (Linux's SIGPIPE;
// Windows reports it as a write error already).
void IgnoreBrokenPipes();

}  // namespace flintcast::platform
