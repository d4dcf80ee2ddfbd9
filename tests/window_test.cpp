// The real main window under Wine: layout control by control, keyboard, the commands, and
// whole runs started from the start button with the summary box read and closed.
#include "window_fixture.h"

namespace {

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

}  // namespace
