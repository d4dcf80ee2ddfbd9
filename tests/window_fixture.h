// What the window tests share: the real main window created per test, real keyboard and mouse
// input, a pump, and a watcher that reads and closes the summary boxes of a run.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "folder_intake.h"

#include <shlobj.h>
#include "main_window.h"
#include "platform.h"
#include "run_state.h"

inline bool PreTranslate(void* message) {
    return PreTranslateMainWindowMessage(static_cast<MSG*>(message));
}

inline void Pump(int milliseconds = 50) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        PumpEvents();
        Sleep(5);
    } while (GetTickCount() < end);
}

inline void DropQueuedQuit() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// Real keyboard input through SendInput.
inline void PressKey(WORD key, bool shift = false) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (shift) add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (shift) add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Pump(80);
}

// A real mouse click in the middle of a control.
inline void ClickWithMouse(ControlId id) {
    RECT rect;
    GetWindowRect(ControlHandle(id), &rect);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    Pump(30);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
    Pump(100);
}

inline std::wstring WideText(HWND window) {
    wchar_t buffer[512];
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

inline std::wstring ClassOf(HWND window) {
    wchar_t buffer[64];
    GetClassNameW(window, buffer, 64);
    return buffer;
}

// Waits on its own thread for summary boxes, keeps their texts and closes each with OK.
class SummaryBoxCloser {
  public:
    SummaryBoxCloser() : thread_([this] { Watch(); }) {}
    ~SummaryBoxCloser() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::vector<std::string> Texts() {
        // Give a box that is about to open its chance before the caller looks.
        Sleep(300);
        done_ = true;
        if (thread_.joinable()) thread_.join();
        return texts_;
    }

  private:
    void Watch() {
        const Text title = SummaryTitle();
        while (!done_) {
            HWND box = FindWindowW(L"#32770", WideFromUtf8(title).c_str());
            if (box && IsWindowVisible(box)) {
                texts_.push_back(MessageText(box));
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                while (IsWindow(box)) Sleep(10);
            }
            Sleep(20);
        }
    }
    static std::string MessageText(HWND box) {
        std::string found;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM param) -> BOOL {
                wchar_t name[32];
                GetClassNameW(child, name, 32);
                wchar_t text[1024] = L"";
                GetWindowTextW(child, text, 1024);
                if (lstrcmpiW(name, L"Static") == 0 && text[0]) {
                    *reinterpret_cast<std::string*>(param) = Utf8FromWide(text);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }
    std::atomic<bool> done_{false};
    std::vector<std::string> texts_;
    std::thread thread_;
};

class Window : public ::testing::Test {
  protected:
    void SetUp() override {
        window = CreateMainWindow(GetModuleHandleW(nullptr));
        ASSERT_NE(window, nullptr);
        OleInitialize(nullptr);
        StartFolderIntake("\"window_test.exe\"");  // the intake without this test's arguments
        ShowMainWindow(window, SW_SHOWNORMAL);
        SetMessagePreTranslator(PreTranslate);
        Pump(200);
    }
    void TearDown() override {
        SetPumpHook(nullptr);
        if (IsWindow(window)) DestroyWindow(window);
        Pump(50);
        DropQueuedQuit();
    }
    HWND Focused() const {
        HWND focus = GetFocus();
        // The combo box's own edit has the focus when the combo box has it.
        if (focus && GetParent(focus) == ControlHandle(kTbf)) return ControlHandle(kTbf);
        return focus;
    }
    void Click(ControlId id) { SendMessageW(ControlHandle(id), BM_CLICK, 0, 0); }
    void SetUpRun(const TempTree& tree) {
        const std::string root = tree.Root();
        WriteControlUtf8(kTbp, root);
        WriteControlText(kTbt1, "foo");
        WriteControlText(kTbt2, "bar");
    }

    HWND window = nullptr;
};
