// Folder intake on Windows: the first command-line argument, drops from Explorer and the
// folder browser fill Tbp.
#include "folder_intake.h"

#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include "folder_check.h"
#include "main_window.h"
#include "platform.h"

namespace {

void PlayDefaultAlert() {
    MessageBeep(MB_OK);
}
void (*playAlert)() = PlayDefaultAlert;

// 文件夹拖放对象: accepts only lists of file-system items (CF_HDROP). Its drops never move or
// delete the dragged items: the effect reported back is a copy, and nothing is copied.
class FolderDropTarget : public IDropTarget {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDropTarget) {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives as long as the program: the count only keeps COM's bookkeeping honest.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        acceptable_ = fileListsOn_ && HoldsFileList(data);
        *effect = acceptable_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = acceptable_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        acceptable_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        acceptable_ = false;
        Text dropped;
        if (!fileListsOn_ || !DroppedText(data, dropped)) {
            *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        *effect = DROPEFFECT_COPY;
        OnFilesDropped(dropped);
        return S_OK;
    }

    void SwitchFileListsOn() { fileListsOn_ = true; }

  private:
    static FORMATETC FileListFormat() {
        return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    }

    static bool HoldsFileList(IDataObject* data) {
        FORMATETC format = FileListFormat();
        return data && data->QueryGetData(&format) == S_OK;
    }

    // One path as it is; several, each followed by CR LF.
    static bool DroppedText(IDataObject* data, Text& text) {
        FORMATETC format = FileListFormat();
        STGMEDIUM medium = {};
        if (!data || data->GetData(&format, &medium) != S_OK) return false;
        HDROP drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
        if (drop) {
            const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                const UINT length = DragQueryFileW(drop, i, nullptr, 0);
                std::wstring wide(length + 1, L'\0');
                DragQueryFileW(drop, i, &wide[0], length + 1);
                wide.resize(length);
                const Text path = Utf8FromWide(wide);
                text = count == 1 ? path : TextJoin({text, path, "\r\n"});
            }
            GlobalUnlock(medium.hGlobal);
        }
        ReleaseStgMedium(&medium);
        return drop != nullptr;
    }

    ULONG references_ = 1;
    bool fileListsOn_ = false;  // all four acceptance switches start off
    bool acceptable_ = false;
};

FolderDropTarget folderDropTarget;

// The same check for the command line and for drops.
void ApplyIntakeCheck(const Text& path) {
    if (IsExistingFolder(path)) {
        WriteControlUtf8(kTbp, path);
    } else {
        WriteControlUtf8(kTbp, u8"文件夹错误！");
        playAlert();
    }
}

// The element at span of the ANSI line, read from the wide line: each character of the wide
// line is measured by the bytes it takes in the ANSI code page. Where the two lines do not
// correspond (they always should), the ANSI element is taken as it is.
Text ElementOfWideLine(std::string_view line, const std::wstring& wide, ArgumentSpan span) {
    const Text fromAnsi = Utf8FromNarrow(Text(line.substr(span.begin, span.end - span.begin)));
    std::size_t bytes = 0, first = std::wstring::npos, last = std::wstring::npos;
    for (std::size_t i = 0;;) {
        if (bytes == span.begin && first == std::wstring::npos) first = i;
        if (bytes == span.end && first != std::wstring::npos) {
            last = i;
            break;
        }
        if (i >= wide.size() || bytes > span.end) break;
        const int units = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() ? 2 : 1;
        bytes += static_cast<std::size_t>(
            WideCharToMultiByte(CP_ACP, 0, &wide[i], units, nullptr, 0, nullptr, nullptr));
        i += static_cast<std::size_t>(units);
    }
    if (last == std::wstring::npos) return fromAnsi;
    const std::wstring element = wide.substr(first, last - first);
    // The element read both ways must be the same bytes in the ANSI code page.
    const int length = WideCharToMultiByte(
        CP_ACP, 0, element.data(), static_cast<int>(element.size()), nullptr, 0, nullptr, nullptr);
    Text check(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_ACP, 0, element.data(), static_cast<int>(element.size()), &check[0],
                            length, nullptr, nullptr);
    }
    if (check != line.substr(span.begin, span.end - span.begin)) return fromAnsi;
    return Utf8FromWide(element);
}

}  // namespace

IDropTarget* FolderDropTargetObject() {
    return &folderDropTarget;
}

void SetAlertSound(void (*play)()) {
    playAlert = play ? play : PlayDefaultAlert;
}

void OnMainWindowCreated() {
    StartFolderIntake(GetCommandLineA(), GetCommandLineW());
}

void StartFolderIntake(const Text& commandLine, const std::wstring& wideCommandLine) {
    RegisterDragDrop(MainWindowHandle(), &folderDropTarget);  // the answer is ignored
    folderDropTarget.SwitchFileListsOn();
    const std::vector<ArgumentSpan> arguments = SplitCommandLineSpans(commandLine);
    if (arguments.empty() || arguments[0].begin == arguments[0].end) return;
    ApplyIntakeCheck(wideCommandLine.empty()
                         ? Utf8FromNarrow(commandLine.substr(arguments[0].begin,
                                                             arguments[0].end - arguments[0].begin))
                         : ElementOfWideLine(commandLine, wideCommandLine, arguments[0]));
}

void OnFilesDropped(const Text& dropped) {
    ApplyIntakeCheck(dropped);
}

void ApplyBrowserResult(const Text& chosen) {
    if (!chosen.empty()) WriteControlUtf8(kTbp, chosen);
}

void OnBrowseClicked() {
    BROWSEINFOW browse = {};
    browse.hwndOwner = GetActiveWindow();
    browse.pidlRoot = nullptr;  // the desktop
    browse.lpszTitle = L"替换文件所在目录";
    browse.ulFlags = BIF_EDITBOX;  // folders only; no file-system-only filter
    Text chosen;
    if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse)) {
        // No 260 limit: the path is fetched into a buffer of the longest path Windows has.
        std::wstring path(32768, L'\0');
        if (SHGetPathFromIDListEx(item, &path[0], static_cast<DWORD>(path.size()),
                                  GPFIDL_DEFAULT)) {
            path.resize(wcslen(path.c_str()));
            chosen = Utf8FromWide(path);
        }
        CoTaskMemFree(item);
    }
    ApplyBrowserResult(chosen);
}
