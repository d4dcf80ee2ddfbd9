// The real main window under Wine: layout control by control, keyboard, the commands, and
// whole runs started from the start button with the summary box read and closed.
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

namespace {

bool PreTranslate(void* message) {
    return PreTranslateMainWindowMessage(static_cast<MSG*>(message));
}

void Pump(int milliseconds = 50) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        PumpEvents();
        Sleep(5);
    } while (GetTickCount() < end);
}

void DropQueuedQuit() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// Real keyboard input through SendInput.
void PressKey(WORD key, bool shift = false) {
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
void ClickWithMouse(ControlId id) {
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

std::wstring WideText(HWND window) {
    wchar_t buffer[512];
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

std::wstring ClassOf(HWND window) {
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

TEST_F(Window, WindowMatchesTheLayout) {
    EXPECT_EQ(WideText(window), L"Brennic");
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 375);
    EXPECT_EQ(outer.bottom - outer.top, 360);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 375) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 360) / 2);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0u) << "the DEFAULT_ICON resource";

    struct Expected {
        ControlId id;
        const wchar_t* windowClass;
        const wchar_t* text;
        int left, top, width, height;
        bool tabStop;
    };
    const Expected controls[] = {
        {k标签1, L"Static", L"替换文件的类型：", 8, 8, 96, 20, false},
        {kTbf, L"ComboBox", L"*.txt", 104, 8, 253, 0, true},
        {k标签5, L"Static", L"文件所在目录：", 8, 37, 96, 20, false},
        {kTbp, L"Edit", L"", 104, 37, 217, 20, true},
        {kTbl, L"Button", L"...", 321, 37, 36, 20, true},
        {k标签6, L"Static", L"是否包含子目录：", 8, 64, 96, 20, false},
        {kTC1, L"Button", L"包含", 104, 64, 253, 20, true},
        {k标签2, L"Static", L"要替换的字符：", 8, 93, 96, 20, false},
        {kTbt1, L"Edit", L"", 104, 93, 253, 74, true},
        {kTb3, L"Button", L"<< = >>", 104, 169, 253, 19, true},
        {k标签3, L"Static", L"被替换为：", 8, 190, 96, 20, false},
        {kTbt2, L"Edit", L"", 104, 190, 253, 74, true},
        {k标签4, L"Static", L"", 9, 271, 349, 2, false},
        {kTb1, L"Button", L"开始替换", 104, 281, 83, 24, true},
        {kTb4, L"Button", L"停    止", 189, 281, 83, 24, true},
        {kTb2, L"Button", L"退  出", 274, 281, 84, 24, true},
        {k搜索文件显示, L"Static", L"", 1, 311, 379, 19, false},
    };
    for (const Expected& c : controls) {
        HWND control = ControlHandle(c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(lstrcmpiW(ClassOf(control).c_str(), c.windowClass), 0) << c.id;
        EXPECT_EQ(WideText(control), c.text) << c.id;
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, c.left) << c.id;
        EXPECT_EQ(rect.top, c.top) << c.id;
        EXPECT_EQ(rect.right - rect.left, c.width) << c.id;
        if (c.height) {
            EXPECT_EQ(rect.bottom - rect.top, c.height) << c.id;
        }
        const LONG controlStyle = GetWindowLongW(control, GWL_STYLE);
        EXPECT_EQ((controlStyle & WS_TABSTOP) != 0, c.tabStop) << c.id;
        EXPECT_TRUE(IsWindowVisible(control) && IsWindowEnabled(control)) << c.id;
        if (lstrcmpiW(c.windowClass, L"Button") == 0 && c.id != kTC1) {
            EXPECT_EQ(controlStyle & BS_TYPEMASK, BS_PUSHBUTTON) << "no default button " << c.id;
        }
    }
    // The two sunken lines, the multi-line boxes, the combo box and its rows, the check box.
    EXPECT_TRUE(GetWindowLongW(ControlHandle(k标签4), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    EXPECT_TRUE(GetWindowLongW(ControlHandle(k搜索文件显示), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    for (ControlId box : {kTbt1, kTbt2}) {
        const LONG boxStyle = GetWindowLongW(ControlHandle(box), GWL_STYLE);
        EXPECT_TRUE(boxStyle & ES_MULTILINE);
        EXPECT_TRUE(boxStyle & ES_WANTRETURN);
        EXPECT_TRUE(boxStyle & WS_VSCROLL);
        EXPECT_FALSE(boxStyle & ES_AUTOHSCROLL) << "lines wrap";
    }
    EXPECT_TRUE(GetWindowLongW(ControlHandle(kTbp), GWL_STYLE) & ES_AUTOHSCROLL);
    HWND combo = ControlHandle(kTbf);
    EXPECT_EQ(GetWindowLongW(combo, GWL_STYLE) & 3, CBS_DROPDOWN);
    EXPECT_FALSE(GetWindowLongW(combo, GWL_STYLE) & CBS_SORT);
    std::vector<std::wstring> rows;
    for (int i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t row[32];
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(row));
        rows.push_back(row);
    }
    EXPECT_EQ(rows, (std::vector<std::wstring>{L"*.txt", L"*.htm", L"*.html", L"*.asp", L"*.php",
                                               L"*.*"}));
    EXPECT_EQ(SendMessageW(ControlHandle(kTC1), BM_GETCHECK, 0, 0), BST_CHECKED);
    HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(ControlHandle(kTb1), WM_GETFONT, 0, 0)),
              guiFont);
    EXPECT_EQ(Focused(), ControlHandle(kTbf));
    EXPECT_FALSE(KillTimer(window, k时钟)) << "the timer does not tick at start";
}

TEST_F(Window, TabWalksTheTabOrderBothWaysAndNeverTypesIntoTheBoxes) {
    const ControlId order[] = {kTbf, kTbp, kTbl, kTC1, kTbt1, kTb3, kTbt2, kTb1, kTb4, kTb2};
    ASSERT_EQ(Focused(), ControlHandle(kTbf));
    for (int i = 1; i <= 10; ++i) {
        PressKey(VK_TAB);
        EXPECT_EQ(Focused(), ControlHandle(order[i % 10])) << "after " << i << " Tabs";
    }
    PressKey(VK_TAB, true);
    EXPECT_EQ(Focused(), ControlHandle(kTb2)) << "Shift+Tab from Tbf wraps to Tb2";
    SetFocus(ControlHandle(kTbt1));
    PressKey(VK_TAB);
    EXPECT_EQ(Focused(), ControlHandle(kTb3));
    EXPECT_EQ(ReadControlText(kTbt1), "");
}

TEST_F(Window, EnterBreaksLinesInTheBoxesAndDoesNothingElsewhere) {
    SetFocus(ControlHandle(kTbt2));
    PressKey('A');
    PressKey(VK_RETURN);
    PressKey('B');
    EXPECT_EQ(ReadControlText(kTbt2), "a\r\nb");
    TempTree tree;
    tree.File("a.txt", "foo");
    SetUpRun(tree);
    SummaryBoxCloser boxes;
    for (ControlId id : {kTbp, kTb1, kTbf}) {
        SetFocus(ControlHandle(id));
        PressKey(VK_RETURN);
        EXPECT_EQ(Focused(), ControlHandle(id));
    }
    EXPECT_TRUE(boxes.Texts().empty()) << "Enter on the start button must not start a run";
    EXPECT_EQ(tree.Read("a.txt"), "foo");
}

TEST_F(Window, EscClosesTheWindowFromAMultiLineBox) {
    SetFocus(ControlHandle(kTbt1));
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsStopRequested()) << "destroying the window requests a stop";
}

TEST_F(Window, FocusComesBackToTheLastControlWhenTheWindowIsActivatedAgain) {
    SetFocus(ControlHandle(kTbt2));
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 100, 100, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(other);
    Pump(100);
    SetActiveWindow(window);
    Pump(100);
    EXPECT_EQ(Focused(), ControlHandle(kTbt2));
    DestroyWindow(other);
}

TEST_F(Window, SwapMovesBothTextsWholeWithTheirLineBreaks) {
    WriteControlText(kTbt1, "ab");
    WriteControlText(kTbt2, "x\r\ny");
    ClickWithMouse(kTb3);  // a real mouse click
    EXPECT_EQ(ReadControlText(kTbt1), "x\r\ny");
    EXPECT_EQ(ReadControlText(kTbt2), "ab");
    Click(kTb3);
    EXPECT_EQ(ReadControlText(kTbt1), "ab");
    EXPECT_EQ(ReadControlText(kTbt2), "x\r\ny");
    WriteControlText(kTbt1, "");
    Click(kTb3);
    EXPECT_EQ(ReadControlText(kTbt1), "x\r\ny");
    EXPECT_EQ(ReadControlText(kTbt2), "");
}

TEST_F(Window, ExitIsQueuedAndCarriedOutByTheLoop) {
    Click(kTb2);
    EXPECT_TRUE(IsWindow(window)) << "not destroyed inside the click handler";
    Pump(100);
    EXPECT_FALSE(IsWindow(window));
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(Window, ARunFromTheStartButtonRewritesTheTreeAndShowsTheCounts) {
    TempTree tree;
    tree.File("a.txt", "foo foo");
    tree.Folder("s");
    tree.File("s/b.txt", "foo");
    tree.File("s/c.htm", "foo");
    SetUpRun(tree);
    SummaryBoxCloser boxes;
    ClickWithMouse(kTb1);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{BuildSummaryText(2, 2, 3)});
    EXPECT_EQ(ReadControlUtf8(k搜索文件显示), FinishedStatusText());
    EXPECT_EQ(tree.Read("a.txt"), "bar bar");
    EXPECT_EQ(tree.Read("s/b.txt"), "bar");
    EXPECT_EQ(tree.Read("s/c.htm"), "foo");
    EXPECT_FALSE(KillTimer(window, k时钟)) << "the timer is stopped after the run";
}

TEST_F(Window, UncheckedSubfolderBoxKeepsTheRunInTheChosenFolder) {
    TempTree tree;
    tree.File("a.txt", "foo");
    tree.Folder("s");
    tree.File("s/b.txt", "foo");
    SetUpRun(tree);
    ClickWithMouse(kTC1);
    ASSERT_EQ(SendMessageW(ControlHandle(kTC1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SummaryBoxCloser boxes;
    Click(kTb1);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{BuildSummaryText(1, 1, 1)});
    EXPECT_EQ(tree.Read("s/b.txt"), "foo");
}

TEST_F(Window, StopClickedBeforeTheWalkEndsTheRunWithoutASummary) {
    TempTree tree;
    tree.File("a.txt", "foo");
    SetUpRun(tree);
    PostMessageW(ControlHandle(kTb4), BM_CLICK, 0, 0);  // waits in the queue for the first pump
    SummaryBoxCloser boxes;
    Click(kTb1);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(tree.Read("a.txt"), "foo");
    EXPECT_TRUE(KillTimer(window, k时钟)) << "the timer keeps ticking after a stop at the start";
}

TEST_F(Window, ARunOnAFolderOutsideTheCodePageAndItsNameInTheStatusLine) {
    TempTree tree;
    tree.Folder(u8"창");
    tree.Folder(u8"창/한국어");
    tree.File(u8"창/한국어/café😀.txt", "foo");
    WriteControlUtf8(kTbp, tree.Path(u8"창"));
    WriteControlText(kTbt1, "foo");
    WriteControlText(kTbt2, "bar");
    SummaryBoxCloser boxes;
    ClickWithMouse(kTb1);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{BuildSummaryText(1, 1, 1)});
    EXPECT_EQ(tree.Read(u8"창/한국어/café😀.txt"), "bar");
    // A tick shows the current file: the Korean and emoji name, as it is.
    ProgressTick(MainWindowDisplay());
    EXPECT_EQ(ReadControlUtf8(k搜索文件显示), tree.Path(u8"창/한국어/café😀.txt"));
}

// A run on a.txt and s/b.txt in which `clicked` is clicked while the start folder's files are
// worked on, so the click is dispatched at the entry of s. Answers the summary boxes shown.
std::vector<std::string> RunClickingDuringTheStartFolder(const TempTree& tree, ControlId clicked) {
    tree.File("a.txt", "foo");
    tree.Folder("s");
    tree.File("s/b.txt", "foo");
    WriteControlUtf8(kTbp, tree.Root());
    WriteControlText(kTbt1, "foo");
    WriteControlText(kTbt2, "bar");
    int pumps = 0;
    SetPumpHook([&pumps, clicked] {
        if (++pumps == 1) PostMessageW(ControlHandle(clicked), BM_CLICK, 0, 0);
    });
    SummaryBoxCloser boxes;
    SendMessageW(ControlHandle(kTb1), BM_CLICK, 0, 0);
    return boxes.Texts();
}

TEST_F(Window, StopDuringTheRunTakesEffectAtTheNextFolder) {
    TempTree tree;
    EXPECT_EQ(RunClickingDuringTheStartFolder(tree, kTb4),
              std::vector<std::string>{BuildSummaryText(1, 1, 1)});
    EXPECT_EQ(tree.Read("a.txt"), "bar");
    EXPECT_EQ(tree.Read("s/b.txt"), "foo");
}

TEST_F(Window, ClosingDuringARunStopsItQuietly) {
    TempTree tree;
    EXPECT_TRUE(RunClickingDuringTheStartFolder(tree, kTb2).empty())
        << "no summary for a window that is gone";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(tree.Read("a.txt"), "bar");
    EXPECT_EQ(tree.Read("s/b.txt"), "foo");
}

TEST_F(Window, AStartClickedDuringARunIsIgnored) {
    TempTree tree;
    EXPECT_EQ(RunClickingDuringTheStartFolder(tree, kTb1),
              std::vector<std::string>{BuildSummaryText(2, 2, 2)});
    EXPECT_EQ(tree.Read("s/b.txt"), "bar");
}

// ---- Folder intake ------------------------------------------------------------------------

int beeps = 0;
void CountBeep() {
    ++beeps;
}

// A data object as a drag source hands over: a file list (CF_HDROP) or plain text only.
class TestDataObject : public IDataObject {
  public:
    // Wide paths, as Explorer gives them.
    static TestDataObject* FileList(const std::vector<std::string>& paths) {
        std::wstring wide;
        for (const std::string& path : paths) wide += WideFromUtf8(path) + L'\0';
        wide += L'\0';
        const std::string list(reinterpret_cast<const char*>(wide.data()),
                               wide.size() * sizeof(wchar_t));
        HGLOBAL memory =
            GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size());
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        CopyMemory(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size());
        GlobalUnlock(memory);
        return new TestDataObject(CF_HDROP, memory);
    }
    static TestDataObject* PlainText(const std::string& text) {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        CopyMemory(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        return new TestDataObject(CF_TEXT, memory);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        const SIZE_T size = GlobalSize(memory_);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
        CopyMemory(GlobalLock(copy), GlobalLock(memory_), size);
        GlobalUnlock(copy);
        GlobalUnlock(memory_);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format->cfFormat == format_ && (format->tymed & TYMED_HGLOBAL) ? S_OK
                                                                              : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

  private:
    TestDataObject(CLIPFORMAT format, HGLOBAL memory) : format_(format), memory_(memory) {}
    virtual ~TestDataObject() { GlobalFree(memory_); }
    ULONG references_ = 1;
    CLIPFORMAT format_;
    HGLOBAL memory_;
};

// Drags the object over the window's drop target and drops it; answers the drop effect.
DWORD DropOnWindow(TestDataObject* data) {
    IDropTarget* target = FolderDropTargetObject();
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    target->DragEnter(data, MK_LBUTTON, POINTL{10, 10}, &effect);
    const DWORD entered = effect;
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    target->Drop(data, MK_LBUTTON, POINTL{10, 10}, &effect);
    data->Release();
    EXPECT_EQ(entered, effect) << "the cursor showed what the drop then did";
    return effect;
}

TEST_F(Window, DropsOfFoldersFilesAndTextReachTbpAsTheCheckSays) {
    EXPECT_EQ(RegisterDragDrop(window, FolderDropTargetObject()), DRAGDROP_E_ALREADYREGISTERED)
        << "the drop target is registered on the window";
    TempTree tree;
    tree.Folder("one");
    tree.Folder("two");
    tree.File("file.txt", "x");
    tree.Folder(u8"한국어 😀");
    const Text rejected = u8"文件夹错误！";
    SetAlertSound(CountBeep);
    beeps = 0;

    EXPECT_EQ(DropOnWindow(TestDataObject::FileList({tree.Path("one")})), DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(ReadControlUtf8(kTbp), tree.Path("one"));
    EXPECT_EQ(beeps, 0);
    // A name that code page 936 cannot hold arrives whole.
    DropOnWindow(TestDataObject::FileList({tree.Path(u8"한국어 😀")}));
    EXPECT_EQ(ReadControlUtf8(kTbp), tree.Path(u8"한국어 😀"));
    EXPECT_EQ(beeps, 0);

    DropOnWindow(TestDataObject::FileList({tree.Path("file.txt")}));
    EXPECT_EQ(ReadControlUtf8(kTbp), rejected);
    EXPECT_EQ(beeps, 1);

    DropOnWindow(TestDataObject::FileList({tree.Path("one"), tree.Path("two")}));
    EXPECT_EQ(ReadControlUtf8(kTbp), rejected) << "two folders make two lines";
    EXPECT_EQ(beeps, 2);

    WriteControlUtf8(kTbp, "kept");
    EXPECT_EQ(DropOnWindow(TestDataObject::PlainText(tree.Path("one"))), DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(ReadControlUtf8(kTbp), "kept") << "plain text is refused";
    EXPECT_EQ(beeps, 2);
    SetAlertSound(nullptr);
    // The dragged items are never moved or deleted.
    EXPECT_TRUE(tree.Exists("file.txt"));
    EXPECT_EQ(GetFileAttributesW(tree.Wide("one").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Window, TheBrowserResultReplacesTbpOnlyWhenThereIsOne) {
    WriteControlUtf8(kTbp, "before");
    ApplyBrowserResult("");
    EXPECT_EQ(ReadControlUtf8(kTbp), "before") << "cancel or a virtual folder";
    ApplyBrowserResult("C:\\");
    EXPECT_EQ(ReadControlUtf8(kTbp), "C:\\") << "taken without the folder check";
    const std::string korean = u8"C:\\한국어\\창";
    ApplyBrowserResult(korean);
    EXPECT_EQ(ReadControlUtf8(kTbp), korean);
}

// Starts the real brennic.exe with arguments and reads its folder box.
std::wstring TbpOfProgramStartedWith(const std::string& arguments) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string program = self;
    program = program.substr(0, FolderPartLength(program)) + "brennic.exe";
    std::string commandLine = "\"" + program + "\"" + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return L"<not started>";
    }
    std::wstring text = L"<no window>";
    for (int i = 0; i < 200; ++i) {
        struct Search {
            DWORD processId;
            HWND found;
        } search{process.dwProcessId, nullptr};
        EnumWindows(
            [](HWND w, LPARAM param) -> BOOL {
                auto* s = reinterpret_cast<Search*>(param);
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                wchar_t name[64];
                GetClassNameW(w, name, 64);
                if (owner == s->processId && lstrcmpW(name, kMainWindowClass) == 0) {
                    s->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found && IsWindowVisible(search.found)) {
            wchar_t buffer[1024] = L"";
            SendMessageW(GetDlgItem(search.found, kTbp), WM_GETTEXT, 1024,
                         reinterpret_cast<LPARAM>(buffer));
            text = buffer;
            PostMessageW(search.found, WM_CLOSE, 0, 0);
            break;
        }
        Sleep(50);
    }
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        text += L" <did not end>";
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return text;
}

TEST(ProgramStart, TheFirstArgumentIsCheckedIntoTbp) {
    TempTree tree;
    tree.Folder("my data");
    tree.File("file.txt", "x");
    const std::string folder = tree.Path("my data");
    EXPECT_EQ(TbpOfProgramStartedWith(" \"" + folder + "\" ignored"), WideFromUtf8(folder));
    EXPECT_EQ(TbpOfProgramStartedWith(" \"" + tree.Path("file.txt") + "\""), L"文件夹错误！");
    EXPECT_EQ(TbpOfProgramStartedWith(" " + folder), L"文件夹错误！")
        << "unquoted: only the first word";
    EXPECT_EQ(TbpOfProgramStartedWith(""), L"");
    EXPECT_EQ(TbpOfProgramStartedWith(" \"\""), L"");
}

}  // namespace
