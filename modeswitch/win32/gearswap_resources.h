#pragma once
// Resource numbers of the mode switch program's dialogs and its system-menu entry.
#define IDD_ABOUTBOX 100
#define IDD_GEARSWAP_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_ABOUT_VERSION 1000
// System-menu commands must lie below 0xF000 and keep their low four bits clear.
#define IDM_ABOUTBOX 0x0010
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
