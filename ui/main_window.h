// The one main window: its controls, their bindings and keyboard behaviour, and the window's
// side of the run (the RunDisplay it gives the engine).
#pragma once

#include <windows.h>

#include "run_state.h"

// The controls, in the order of the layout table (which is also their tab order).
enum ControlId : int {
    k标签1 = 100,
    kTbf,
    k标签5,
    kTbp,
    kTbl,
    k标签6,
    kTC1,
    k标签2,
    kTbt1,
    kTb3,
    k标签3,
    kTbt2,
    k标签4,
    kTb1,
    kTb4,
    kTb2,
    k搜索文件显示,
};
constexpr UINT_PTR k时钟 = 1;  // the progress timer of the window

extern const wchar_t kMainWindowClass[];

// Creates the window and all its controls, hidden. Returns null when Windows refuses.
HWND CreateMainWindow(HINSTANCE instance);
// Centres, shows and puts the focus into Tbf.
void ShowMainWindow(HWND window, int showCommand);
HWND MainWindowHandle();
HWND ControlHandle(ControlId id);

// Control access. The find and replacement boxes are read as bytes of the ANSI code page,
// which is what a run matches; the folder, the pattern and the status line are UTF-8 texts
// through the wide calls, so that every file name shows and arrives whole. Line breaks of the
// multi-line boxes are CR LF.
Text ReadControlText(ControlId id);
void WriteControlText(ControlId id, const Text& text);
Text ReadControlUtf8(ControlId id);
void WriteControlUtf8(ControlId id, const Text& text);

// Keyboard of the window (Tab, Shift+Tab, Esc, Enter), for every message loop and pump.
bool PreTranslateMainWindowMessage(MSG* message);

// The window's RunDisplay: the timer, the status line, the message box. Once the window is
// destroyed (closed during a run) every operation does nothing.
RunDisplay MainWindowDisplay();

void OnStartClicked();
void OnSwapClicked();
void OnExitClicked();

// The created event, run once before the window is first shown (folder intake).
void OnMainWindowCreated();
// Tbl "...": the folder browser.
void OnBrowseClicked();
