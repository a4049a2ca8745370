#pragma once
// Text and error helpers of the Windows implementation: the tool's texts are UTF-8, the Win32
// calls it makes are the wide (UTF-16) ones; Win32 error codes become errno values for the
// callers that report errno, and readable texts for the ones that report a message.
#include <windows.h>

#include <string>
#include <string_view>

namespace flintcast::platform::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The errno value closest to a Win32 error code (EIO for the ones without a counterpart).
int ErrnoFromWin32(DWORD error);
// Sets errno from GetLastError() and returns false, for the "false, errno set" contract.
bool FailWithLastError();

// The system's text for an error code, without the trailing line break.
std::string Win32Message(DWORD error);

// Closes a handle when it is set; safe for null and INVALID_HANDLE_VALUE.
void CloseIfOpen(HANDLE& handle);

}  // namespace flintcast::platform::win32
