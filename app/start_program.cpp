// brennic.exe: start-up, the event loop and shut-down of the window program.
#include <windows.h>

#include <ole2.h>

#include <cstdlib>

#include "main_window.h"
#include "platform.h"
#include "run_state.h"

namespace {

bool PreTranslate(void* message) {
    return PreTranslateMainWindowMessage(static_cast<MSG*>(message));
}

// Relative paths in Tbp and on the command line are taken against the program's own folder.
void EnterProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return;
    path.resize(path.rfind(L'\\', length) + 1);  // empty without a separator
    if (!path.empty()) SetCurrentDirectoryW(path.c_str());
}

void ReleaseAtExit() {
    ReleaseRunState();
}

int StartProgram(HINSTANCE instance, int showCommand) {
    EnterProgramFolder();
    std::atexit(ReleaseAtExit);
    // OLE on the GUI thread, for the drop target and the folder browser.
    const bool oleReady = SUCCEEDED(OleInitialize(nullptr));
    HWND window = CreateMainWindow(instance);
    if (!window) {
        MessageBoxW(nullptr, L"无法创建主窗口。", L"Brennic", MB_OK | MB_ICONERROR);
        return 1;
    }
    OnMainWindowCreated();
    ShowMainWindow(window, showCommand);
    SetMessagePreTranslator(PreTranslate);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslateMainWindowMessage(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (oleReady) OleUninitialize();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return StartProgram(instance, showCommand == SW_SHOWDEFAULT ? SW_SHOWNORMAL : showCommand);
}
