#include "platform/rename_path.h"

#include <windows.h>

#include "platform/win32/win_text.h"

namespace flintcast::platform {

RenameResult RenameNoReplace(const std::string& from, const std::string& to, int* error) {
    if (error != nullptr) *error = 0;
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing target by itself.
    if (::MoveFileExW(win32::Widen(from).c_str(), win32::Widen(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return RenameResult::Renamed;
    const DWORD code = ::GetLastError();
    if (error != nullptr) *error = win32::ErrnoFromWin32(code);
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? RenameResult::TargetExists
                                                                      : RenameResult::Failed;
}

}  // namespace flintcast::platform
