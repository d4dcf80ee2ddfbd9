// The folder intake of the real main window under Wine: drops through the registered target,
// the browser's result, and the first argument of the real program.
#include "window_fixture.h"

namespace {

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

// Starts the real brennic.exe with arguments (UTF-8) and reads its folder box.
std::wstring TbpOfProgramStartedWith(const std::string& arguments) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    program = program.substr(0, program.rfind(L'\\') + 1) + L"brennic.exe";
    std::wstring commandLine = L"\"" + program + L"\"" + WideFromUtf8(arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
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
    // A folder whose name code page 936 cannot hold: "?" in the ANSI command line, whole in Tbp.
    tree.Folder(u8"한국어 😀");
    const std::string korean = tree.Path(u8"한국어 😀");
    EXPECT_EQ(TbpOfProgramStartedWith(" \"" + korean + "\""), WideFromUtf8(korean));
    EXPECT_EQ(TbpOfProgramStartedWith(""), L"");
    EXPECT_EQ(TbpOfProgramStartedWith(" \"\""), L"");
}

}  // namespace
