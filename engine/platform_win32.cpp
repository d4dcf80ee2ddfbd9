// Windows side of the platform layer (the POSIX side is platform_posix.cpp): paths, the folder
// search and the pump; the file services are in file_io_win32.cpp. Texts are bytes of the
// ANSI code page, as the user typed them.
#include "platform_win32.h"

#include "platform_internal.h"
#include "wildcard.h"

const char kPathSeparator[] = "\\";

namespace {

bool (*preTranslator)(void* message) = nullptr;

std::wstring WideFromCodePage(UINT codePage, const char* text, int length) {
    const int wideLength = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (wideLength <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(codePage, 0, text, length, &wide[0], wideLength);
    return wide;
}

Text NarrowToCodePage(UINT codePage, const wchar_t* wide, int length) {
    const int narrowLength =
        WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (narrowLength <= 0) return Text();
    Text narrow(static_cast<std::size_t>(narrowLength), '\0');
    WideCharToMultiByte(codePage, 0, wide, length, &narrow[0], narrowLength, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::wstring WidePath(const Text& path) {
    return WideFromCodePage(CP_ACP, path.data(), static_cast<int>(path.size()));
}

Text NarrowPath(const std::wstring& path) {
    return NarrowToCodePage(CP_ACP, path.data(), static_cast<int>(path.size()));
}

struct PlatformSearch {
    FindHandle handle;
    Text pattern;  // the last component, to check names found only through an 8.3 alias
};

void PlatformSearchCloser::operator()(PlatformSearch* search) const {
    delete search;
}

std::size_t CharacterLength(std::string_view text, std::size_t index) {
    return (IsDBCSLeadByte(static_cast<BYTE>(text[index])) && index + 1 < text.size()) ? 2 : 1;
}

Text NormalizeSeparators(const Text& path) {
    return ReplaceAllText(path, "/", "\\");
}

std::size_t FolderPartLength(const Text& path) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < path.size(); i += CharacterLength(path, i)) {
        if (path[i] == '\\') length = i + 1;
    }
    return length;
}

bool EndsWithSeparator(const Text& path) {
    return !path.empty() && FolderPartLength(path) == path.size();
}

Text NarrowFromUtf8(const char* utf8) {
    const std::wstring wide = WideFromCodePage(CP_UTF8, utf8, -1);
    if (wide.size() <= 1) return Text();
    Text narrow = NarrowToCodePage(CP_ACP, wide.c_str(), -1);
    if (!narrow.empty()) narrow.pop_back();  // the terminator
    return narrow;
}

namespace {

void FillEntry(const WIN32_FIND_DATAA& data, FolderEntry& entry) {
    entry.name = data.cFileName;
    entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Only name-surrogate reparse points are links; cloud-file placeholders are real folders.
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                   (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                    data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

// The folder search also matches through 8.3 aliases ("*.htm" finds "page.html"); a name that
// matches only through its alias is not what the user asked for.
bool MatchesOnlyThroughAlias(const PlatformSearch& search, const WIN32_FIND_DATAA& data) {
    return data.cAlternateFileName[0] != '\0' && !WildcardMatch(search.pattern, data.cFileName);
}

bool NextAccepted(PlatformSearch& search, WIN32_FIND_DATAA& data, bool haveFirst) {
    for (bool have = haveFirst; have; have = FindNextFileA(search.handle.get(), &data) != FALSE) {
        if (!MatchesOnlyThroughAlias(search, data)) return true;
    }
    return false;
}

}  // namespace

bool PlatformOpenSearch(const Text& pathPattern, SearchState& state, FolderEntry& entry) {
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileExA(pathPattern.c_str(), FindExInfoStandard, &data,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE) return false;
    state.open.reset(
        new PlatformSearch{FindHandle(handle), pathPattern.substr(FolderPartLength(pathPattern))});
    if (!NextAccepted(*state.open, data, true)) return false;
    FillEntry(data, entry);
    return true;
}

bool PlatformNextEntry(SearchState& state, FolderEntry& entry) {
    WIN32_FIND_DATAA data;
    PlatformSearch& search = *state.open;
    if (!NextAccepted(search, data, FindNextFileA(search.handle.get(), &data) != FALSE)) {
        return false;
    }
    FillEntry(data, entry);
    return true;
}

bool FolderIdentityOf(const Text& folderPath, FileIdentity& identity) {
    FileHandle handle(CreateFileW(WidePath(folderPath.empty() ? Text(".") : folderPath).c_str(),
                                  FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info)) return false;
    identity = IdentityOf(info);
    return true;
}

void PlatformPumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (message.message == WM_QUIT) break;  // stays queued for the event loop
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) break;
        if (!preTranslator || !preTranslator(&message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void SetMessagePreTranslator(bool (*preTranslate)(void* message)) {
    preTranslator = preTranslate;
}

void PlatformExitNow(int exitCode) {
    ExitProcess(static_cast<UINT>(exitCode));
}
