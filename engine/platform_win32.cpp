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

// Paths near MAX_PATH and beyond take the \\?\ form, which lifts the limit; that form skips
// the system's normalisation, so the folder part is made absolute and normalised first, and
// the last component (a name or a wildcard pattern) is kept exactly as it is.
std::wstring WideFromUtf8(std::string_view utf8) {
    return WideFromCodePage(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()));
}

Text Utf8FromWide(std::wstring_view wide) {
    return NarrowToCodePage(CP_UTF8, wide.data(), static_cast<int>(wide.size()));
}

std::wstring WidePath(const Text& path) {
    std::wstring wide = WideFromUtf8(path);
    constexpr std::size_t kShortEnough = 240;  // CreateDirectory stops at 248, others at 260
    if (wide.size() < kShortEnough || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    const std::size_t cut = wide.rfind(L'\\') + 1;  // 0 without a separator
    const std::wstring folder = cut > 0 ? wide.substr(0, cut) : std::wstring(L".\\");
    const DWORD length = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (length == 0) return wide;
    std::wstring full(length, L'\0');
    full.resize(GetFullPathNameW(folder.c_str(), length, &full[0], nullptr));
    if (!full.empty() && full.back() != L'\\') full.push_back(L'\\');
    full += wide.substr(cut);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

Text NarrowPath(const std::wstring& path) {
    return Utf8FromWide(path);
}

Text Utf8FromNarrow(const Text& narrow) {
    return Utf8FromWide(WideFromCodePage(CP_ACP, narrow.data(), static_cast<int>(narrow.size())));
}

struct PlatformSearch {
    FindHandle handle;
    Text pattern;  // the last component, to check names found only through an 8.3 alias
};

void PlatformSearchCloser::operator()(PlatformSearch* search) const {
    delete search;
}

// Paths are UTF-8, where 0x5C and 0x2F never occur inside a character: plain byte searches.
Text NormalizeSeparators(const Text& path) {
    Text normalized = path;
    for (char& c : normalized) {
        if (c == '/') c = '\\';
    }
    return normalized;
}

std::size_t FolderPartLength(const Text& path) {
    const std::size_t separator = path.rfind('\\');
    return separator == Text::npos ? 0 : separator + 1;
}

bool EndsWithSeparator(const Text& path) {
    return !path.empty() && path.back() == '\\';
}

Text NarrowFromUtf8(const char* utf8) {
    const std::wstring wide = WideFromCodePage(CP_UTF8, utf8, -1);
    if (wide.size() <= 1) return Text();
    Text narrow = NarrowToCodePage(CP_ACP, wide.c_str(), -1);
    if (!narrow.empty()) narrow.pop_back();  // the terminator
    return narrow;
}

namespace {

void FillEntry(const WIN32_FIND_DATAW& data, FolderEntry& entry) {
    entry.name = NarrowPath(data.cFileName);
    entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Only name-surrogate reparse points are links; cloud-file placeholders are real folders.
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                   (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                    data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

// The folder search also matches through 8.3 aliases ("*.htm" finds "page.html"); a name that
// matches only through its alias is not what the user asked for.
bool MatchesOnlyThroughAlias(const PlatformSearch& search, const WIN32_FIND_DATAW& data) {
    return data.cAlternateFileName[0] != L'\0' &&
           !WildcardMatch(search.pattern, NarrowPath(data.cFileName));
}

bool NextAccepted(PlatformSearch& search, WIN32_FIND_DATAW& data, bool haveFirst) {
    for (bool have = haveFirst; have; have = FindNextFileW(search.handle.get(), &data) != FALSE) {
        if (!MatchesOnlyThroughAlias(search, data)) return true;
    }
    return false;
}

}  // namespace

bool PlatformOpenSearch(const Text& pathPattern, SearchState& state, FolderEntry& entry) {
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileExW(WidePath(pathPattern).c_str(), FindExInfoStandard, &data,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE) return false;
    state.open.reset(
        new PlatformSearch{FindHandle(handle), pathPattern.substr(FolderPartLength(pathPattern))});
    if (!NextAccepted(*state.open, data, true)) return false;
    FillEntry(data, entry);
    return true;
}

bool PlatformNextEntry(SearchState& state, FolderEntry& entry) {
    WIN32_FIND_DATAW data;
    PlatformSearch& search = *state.open;
    if (!NextAccepted(search, data, FindNextFileW(search.handle.get(), &data) != FALSE)) {
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
    while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (message.message == WM_QUIT) break;  // stays queued for the event loop
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) break;
        if (!preTranslator || !preTranslator(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void SetMessagePreTranslator(bool (*preTranslate)(void* message)) {
    preTranslator = preTranslate;
}

void PlatformExitNow(int exitCode) {
    ExitProcess(static_cast<UINT>(exitCode));
}
