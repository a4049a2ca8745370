// flintcast-gearswap on Windows: a dialog program that switches a data card showing itself only
// as a USB disk into its modem personality. The tool starts it hidden, without arguments and
// without waiting. When its dialog is set up (icon, and the system menu with its "About" entry)
// it sends the switch, then closes itself; the exit code carries no result. What it sent and what
// the disk answered is appended to gearswap.log in the tool's log folder.
#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "modeswitch/mode_switch_windows.h"
#include "modeswitch/switch_log.h"
#include "modeswitch/win32/gearswap_resources.h"
#include "platform/clock.h"
#include "version/version.h"

namespace {

void SwitchAndLog() {
    std::vector<std::string> lines;
    try {
        flintcast::modeswitch::WindowsSwitchSetup setup;
        setup.log = [&lines](std::string_view line) { lines.emplace_back(line); };
        flintcast::modeswitch::SwitchToModemOnWindows(setup);
    } catch (const std::exception& e) {
        lines.emplace_back(std::string("flintcast-gearswap: ") + e.what());
    }
    flintcast::modeswitch::AppendToSwitchLog(lines);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, flintcast::version::Line("flintcast-gearswap").c_str());
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

INT_PTR CALLBACK MainProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            HICON icon = LoadIcon(nullptr, IDI_APPLICATION);
            SendMessage(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            SendMessage(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
            if (HMENU menu = GetSystemMenu(dialog, FALSE)) {
                AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
                AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, "About");
            }
            SwitchAndLog();
            PostMessage(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                DialogBoxParamA(GetModuleHandle(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), dialog, AboutProc, 0);
                return TRUE;
            }
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    flintcast::platform::SystemClock();  // the time scale comes from FLINTCAST_TIME_SCALE, as for the tool
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_GEARSWAP_DIALOG), nullptr, MainProc, 0) == -1) {
        // No dialog (a session without a desktop): the card is switched all the same.
        flintcast::modeswitch::AppendToSwitchLog({"flintcast-gearswap: the dialog could not be created (error " +
                                                  std::to_string(GetLastError()) + "); switching without it"});
        SwitchAndLog();
    }
    return 0;
}
