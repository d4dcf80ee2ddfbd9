// The main window: created from one table of controls, bound to the engine's run.
#include "main_window.h"

#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "platform.h"

const wchar_t kMainWindowClass[] = L"BrennicMainWindow";

namespace {

// Layout at 96 DPI; scaled by the system DPI when the window is created (the manifest
// declares the program DPI-aware, so Windows does not stretch a bitmap of it).
constexpr int kWindowWidth = 375;
constexpr int kWindowHeight = 360;
constexpr int kComboDroppedHeight = 160;

struct ControlSpec {
    ControlId id;
    const wchar_t* windowClass;
    const wchar_t* text;
    int left, top, width, height;
    DWORD style;
    DWORD exStyle;
    bool tabStop;
};

constexpr DWORD kLabel = SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX;
constexpr DWORD kButton = BS_PUSHBUTTON | BS_CENTER;
constexpr DWORD kMultiLine = ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;

// Top to bottom; the tab stops come in tab order.
const ControlSpec kControls[] = {
    {k标签1, L"STATIC", L"替换文件的类型：", 8, 8, 96, 20, kLabel, 0, false},
    {kTbf, L"COMBOBOX", L"", 104, 8, 253, kComboDroppedHeight,
     CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, 0, true},
    {k标签5, L"STATIC", L"文件所在目录：", 8, 37, 96, 20, kLabel, 0, false},
    {kTbp, L"EDIT", L"", 104, 37, 217, 20, ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, true},
    {kTbl, L"BUTTON", L"...", 321, 37, 36, 20, kButton, 0, true},
    {k标签6, L"STATIC", L"是否包含子目录：", 8, 64, 96, 20, kLabel, 0, false},
    {kTC1, L"BUTTON", L"包含", 104, 64, 253, 20, BS_AUTOCHECKBOX | BS_LEFT, 0, true},
    {k标签2, L"STATIC", L"要替换的字符：", 8, 93, 96, 20, kLabel, 0, false},
    {kTbt1, L"EDIT", L"", 104, 93, 253, 74, kMultiLine, WS_EX_CLIENTEDGE, true},
    {kTb3, L"BUTTON", L"<< = >>", 104, 169, 253, 19, kButton, 0, true},
    {k标签3, L"STATIC", L"被替换为：", 8, 190, 96, 20, kLabel, 0, false},
    {kTbt2, L"EDIT", L"", 104, 190, 253, 74, kMultiLine, WS_EX_CLIENTEDGE, true},
    {k标签4, L"STATIC", L"", 9, 271, 349, 2, kLabel, WS_EX_STATICEDGE, false},
    {kTb1, L"BUTTON", L"开始替换", 104, 281, 83, 24, kButton, 0, true},
    {kTb4, L"BUTTON", L"停    止", 189, 281, 83, 24, kButton, 0, true},
    {kTb2, L"BUTTON", L"退  出", 274, 281, 84, 24, kButton, 0, true},
    {k搜索文件显示, L"STATIC", L"", 1, 311, 379, 19, kLabel, WS_EX_STATICEDGE, false},
};

const wchar_t* const kPatternRows[] = {L"*.txt", L"*.htm", L"*.html", L"*.asp", L"*.php", L"*.*"};

HWND mainWindow = nullptr;
bool windowAlive = false;
HWND lastFocus = nullptr;
int tickerPeriod = 0;

int Scale(int value, int dpi) {
    return MulDiv(value, dpi, 96);
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The control that owns a focused window: the combo box for its inner edit.
HWND OwningControl(HWND focused) {
    for (HWND w = focused; w && w != mainWindow; w = GetParent(w)) {
        if (GetParent(w) == mainWindow) return w;
    }
    return nullptr;
}

bool TakesFocusByTab(HWND control) {
    return (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(control) &&
           IsWindowEnabled(control);
}

void MoveFocus(bool backwards) {
    constexpr int kCount = sizeof kControls / sizeof kControls[0];
    HWND current = OwningControl(GetFocus());
    int index = 0;
    for (int i = 0; i < kCount; ++i) {
        if (ControlHandle(kControls[i].id) == current) index = i;
    }
    for (int step = 1; step <= kCount; ++step) {
        const int next = (index + (backwards ? kCount - step : step)) % kCount;
        HWND candidate = ControlHandle(kControls[next].id);
        if (TakesFocusByTab(candidate)) {
            SetFocus(candidate);
            // Like dialog navigation: entering an edit box selects its text.
            wchar_t className[16];
            GetClassNameW(candidate, className, 16);
            if (lstrcmpiW(className, L"EDIT") == 0) SendMessageW(candidate, EM_SETSEL, 0, -1);
            return;
        }
    }
}

bool IsMultiLineBox(HWND control) {
    return control == ControlHandle(kTbt1) || control == ControlHandle(kTbt2);
}

bool PatternListIsOpen() {
    return SendMessageW(ControlHandle(kTbf), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                switch (LOWORD(wParam)) {
                    case kTb1:
                        OnStartClicked();
                        return 0;
                    case kTb4:
                        RequestStop();
                        return 0;
                    case kTb3:
                        OnSwapClicked();
                        return 0;
                    case kTb2:
                        OnExitClicked();
                        return 0;
                    case kTbl:
                        OnBrowseClicked();
                        return 0;
                    default:
                        break;
                }
            }
            break;
        case WM_TIMER:
            if (wParam == k时钟) {
                ProgressTick(MainWindowDisplay());
                return 0;
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                if (HWND owner = OwningControl(GetFocus())) lastFocus = owner;
            } else if (lastFocus) {
                SetFocus(lastFocus);
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:  // labels and the check box on the button face, black text
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_DESTROY:
            RevokeDragDrop(window);
            RequestStop();
            KillTimer(window, k时钟);
            tickerPeriod = 0;
            windowAlive = false;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, L"DEFAULT_ICON");
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, L"DEFAULT_ICON", IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

HWND MainWindowHandle() {
    return windowAlive ? mainWindow : nullptr;
}

HWND ControlHandle(ControlId id) {
    return mainWindow ? GetDlgItem(mainWindow, id) : nullptr;
}

HWND CreateMainWindow(HINSTANCE instance) {
    INITCOMMONCONTROLSEX common = {sizeof common, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);
    if (!RegisterMainWindowClass(instance)) return nullptr;

    const int dpi = SystemDpi();
    const int width = Scale(kWindowWidth, dpi);
    const int height = Scale(kWindowHeight, dpi);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    constexpr DWORD kFixedFrame = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    mainWindow = CreateWindowExW(0, kMainWindowClass, L"Brennic", kFixedFrame | WS_CLIPCHILDREN,
                                 left, top, width, height, nullptr, nullptr, instance, nullptr);
    if (!mainWindow) return nullptr;
    windowAlive = true;
    tickerPeriod = 0;

    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(mainWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (const ControlSpec& spec : kControls) {
        const DWORD style = WS_CHILD | WS_VISIBLE | spec.style | (spec.tabStop ? WS_TABSTOP : 0);
        HWND control = CreateWindowExW(
            spec.exStyle, spec.windowClass, spec.text, style, Scale(spec.left, dpi),
            Scale(spec.top, dpi), Scale(spec.width, dpi), Scale(spec.height, dpi), mainWindow,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
        if (!control) {
            DestroyWindow(mainWindow);
            return nullptr;
        }
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    HWND combo = ControlHandle(kTbf);
    for (const wchar_t* row : kPatternRows) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    }
    SendMessageW(combo, CB_SETCURSEL, 0, 0);  // shows "*.txt"
    SendMessageW(ControlHandle(kTC1), BM_SETCHECK, BST_CHECKED, 0);
    lastFocus = combo;
    return mainWindow;
}

void ShowMainWindow(HWND window, int showCommand) {
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SetForegroundWindow(window);
    lastFocus = ControlHandle(kTbf);
    SetFocus(lastFocus);
}

Text ReadControlText(ControlId id) {
    HWND control = ControlHandle(id);
    if (!control) return Text();
    const int length = GetWindowTextLengthA(control);
    if (length <= 0) return Text();
    Text text(static_cast<std::size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(control, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void WriteControlText(ControlId id, const Text& text) {
    if (HWND control = ControlHandle(id)) SetWindowTextA(control, text.c_str());
}

namespace {

std::wstring ReadControlWide(ControlId id) {
    HWND control = ControlHandle(id);
    if (!control) return std::wstring();
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(control, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void WriteControlWide(ControlId id, const std::wstring& text) {
    if (HWND control = ControlHandle(id)) SetWindowTextW(control, text.c_str());
}

}  // namespace

Text ReadControlUtf8(ControlId id) {
    return Utf8FromWide(ReadControlWide(id));
}

void WriteControlUtf8(ControlId id, const Text& text) {
    WriteControlWide(id, WideFromUtf8(text));
}

bool PreTranslateMainWindowMessage(MSG* message) {
    if (!windowAlive || !IsChild(mainWindow, message->hwnd)) return false;
    if (message->message == WM_KEYDOWN) {
        const bool control = GetKeyState(VK_CONTROL) < 0;
        const bool alt = GetKeyState(VK_MENU) < 0;
        switch (message->wParam) {
            case VK_TAB:
                if (control || alt) return false;
                MoveFocus(GetKeyState(VK_SHIFT) < 0);
                return true;
            case VK_ESCAPE:
                if (PatternListIsOpen()) return false;  // Esc first folds the open list
                SendMessageW(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
                return true;
            case VK_RETURN:
                if (IsMultiLineBox(message->hwnd) || PatternListIsOpen()) return false;
                return true;  // no default button: Enter does nothing here
            default:
                return false;
        }
    }
    // Swallow the characters of those keys too, so no box beeps or types them.
    if (message->message == WM_CHAR &&
        (message->wParam == '\t' || message->wParam == 0x1B ||
         (message->wParam == '\r' && !IsMultiLineBox(message->hwnd)))) {
        return true;
    }
    return false;
}

RunDisplay MainWindowDisplay() {
    RunDisplay display;
    display.SetTickerPeriod = [](int milliseconds) {
        if (!windowAlive) return;
        const int period = milliseconds > 0 ? milliseconds : 0;
        if (period == tickerPeriod) return;
        tickerPeriod = period;
        if (period > 0) {
            SetTimer(mainWindow, k时钟, static_cast<UINT>(period), nullptr);
        } else {
            KillTimer(mainWindow, k时钟);
        }
    };
    display.SetStatusText = [](const Text& text) {
        if (windowAlive) WriteControlUtf8(k搜索文件显示, text);
    };
    display.ShowSummary = [](const Text& text, const Text& title) {
        if (!windowAlive) return;  // closed during the run: end quietly
        MessageBoxW(nullptr, WideFromUtf8(text).c_str(), WideFromUtf8(title).c_str(),
                    MB_OK | MB_TASKMODAL);
    };
    return display;
}

void OnStartClicked() {
    RunInputs inputs;
    inputs.folder = ReadControlUtf8(kTbp);
    inputs.pattern = ReadControlUtf8(kTbf);
    inputs.find = ReadControlText(kTbt1);
    inputs.replacement = ReadControlText(kTbt2);
    inputs.includeSubfolders = SendMessageW(ControlHandle(kTC1), BM_GETCHECK, 0, 0) == BST_CHECKED;
    StartReplacement(inputs, MainWindowDisplay());
}

void OnSwapClicked() {
    // Exactly as they stand, also characters that the ANSI code page lacks.
    const std::wstring a = ReadControlWide(kTbt2);
    const std::wstring b = ReadControlWide(kTbt1);
    WriteControlWide(kTbt2, b);
    WriteControlWide(kTbt1, a);
}

void OnExitClicked() {
    // Queued, not carried out here: the loop, or a pump of a run under way, destroys it.
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
}
