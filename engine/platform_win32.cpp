// Windows side of the platform layer (the POSIX side is platform_posix.cpp). Every file and
// folder call is an A call: texts are bytes of the ANSI code page, as the user typed them.
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "platform_internal.h"
#include "wildcard.h"

const char kPathSeparator[] = "\\";

namespace {

bool (*preTranslator)(void* message) = nullptr;
std::atomic<unsigned> temporaryCounter{0};

// Owns one kernel handle whose invalid value is Invalid (files use INVALID_HANDLE_VALUE).
template <HANDLE (*Invalid)(), BOOL(WINAPI* Release)(HANDLE)>
class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle = Invalid()) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != Invalid(); }
    bool Close() {
        if (!valid()) return true;
        const BOOL closed = Release(handle_);
        handle_ = Invalid();
        return closed != FALSE;
    }

  private:
    HANDLE handle_;
};

HANDLE InvalidFileHandle() {
    return INVALID_HANDLE_VALUE;
}
using FileHandle = OwnedHandle<InvalidFileHandle, CloseHandle>;
using FindHandle = OwnedHandle<InvalidFileHandle, FindClose>;

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileIdentity identity;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.valid = true;
    return identity;
}

bool IdentityOfPath(const Text& path, DWORD flags, FileIdentity& identity) {
    FileHandle handle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info)) return false;
    identity = IdentityOf(info);
    return true;
}

// ReadFile and WriteFile move at most a DWORD at a time; large files go in chunks.
constexpr std::size_t kChunk = 1u << 30;

bool WriteAll(HANDLE file, std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD want = static_cast<DWORD>(left < kChunk ? left : kChunk);
        DWORD written = 0;
        if (!WriteFile(file, data, want, &written, nullptr) || written == 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

// A symbolic link to a file is rewritten at its target, so the link stays a link.
bool ResolveTarget(const Text& path, DWORD attributes, Text& target) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        target = path;
        return true;
    }
    FileHandle handle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!handle.valid()) return false;
    char buffer[MAX_PATH * 4];
    const DWORD length = GetFinalPathNameByHandleA(handle.get(), buffer, sizeof buffer,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof buffer) return false;
    std::string_view final(buffer, length);
    if (final.substr(0, 8) == "\\\\?\\UNC\\") {
        target = TextJoin({"\\\\", final.substr(8)});
    } else if (final.substr(0, 4) == "\\\\?\\") {
        target = Text(final.substr(4));
    } else {
        target = Text(final);
    }
    return true;
}

// The checks of a plain write-open: not read-only, not in use (we ask for no sharing), and
// allowed to us. A file with several hard links is refused: putting a new file in its place
// would silently split it from its other names.
bool MayRewrite(const Text& target) {
    FileHandle probe(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!probe.valid() || !GetFileInformationByHandle(probe.get(), &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return false;
    return info.nNumberOfLinks <= 1;
}

Text TemporaryNameBeside(const Text& target) {
    const std::size_t folderLength = FolderPartLength(target);
    return TextJoin({std::string_view(target).substr(0, folderLength), "~brennic-",
                     IntToText(static_cast<std::int64_t>(GetCurrentProcessId())), "-",
                     IntToText(static_cast<std::int64_t>(temporaryCounter.fetch_add(1))), ".tmp"});
}

bool WriteTemporary(const Text& temporary, std::string_view bytes) {
    FileHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    bool ok = WriteAll(file.get(), bytes);
    if (ok && FlushBeforeReplace()) ok = FlushFileBuffers(file.get()) != FALSE;
    return file.Close() && ok;
}

// ReplaceFileA keeps the original's attributes on Windows; not every implementation does (Wine
// drops hidden and system), so they are put back when the swap lost them.
void KeepAttributes(const Text& target, DWORD original) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (original == INVALID_FILE_ATTRIBUTES) return;
    const DWORD now = GetFileAttributesA(target.c_str());
    if (now == INVALID_FILE_ATTRIBUTES || (now & kKept) == (original & kKept)) return;
    const DWORD wanted = (now & ~kKept & (FILE_ATTRIBUTE_READONLY)) | (original & kKept);
    SetFileAttributesA(target.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

bool PlatformReplaceViaTemporary(const Text& path, std::string_view bytes, FileIdentity* written) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (!existed && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    Text target = path;
    if (existed && (!ResolveTarget(path, attributes, target) || !MayRewrite(target))) return false;
    const DWORD targetAttributes = existed ? GetFileAttributesA(target.c_str()) : 0;

    WriteSection section;
    const Text temporary = TemporaryNameBeside(target);
    bool ok = WriteTemporary(temporary, bytes);
    if (ok && existed) {
        // Keeps the original's attributes, ACL, creation time and short name.
        ok = ReplaceFileA(target.c_str(), temporary.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                          nullptr) != FALSE;
    } else if (ok) {
        ok = MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!ok) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    if (existed) KeepAttributes(target, targetAttributes);
    if (written) IdentityOfPath(target, 0, *written);
    return true;
}

bool PlatformOverwriteInPlace(const Text& path, std::string_view bytes, FileIdentity* written) {
    WriteSection section;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return false;
    bool ok = WriteAll(file.get(), bytes);
    if (ok && FlushBeforeReplace()) ok = FlushFileBuffers(file.get()) != FALSE;
    if (!file.Close() || !ok) return false;
    if (written) *written = IdentityOf(info);
    return true;
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
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (wideLength <= 1) return Text();
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], wideLength);
    const int narrowLength =
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (narrowLength <= 1) return Text();
    Text narrow(static_cast<std::size_t>(narrowLength), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &narrow[0], narrowLength, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(narrowLength - 1));
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

// Windows reads into memory: a mapped view would keep the file from being replaced.
struct MappedView {};

void MappedViewCloser::operator()(MappedView* view) const {
    delete view;
}

bool ReadFileForRewrite(const Text& path, FileContent& result, FileIdentity& identity) {
    result = FileContent();
    Bytes& content = result.owned;
    if (path.empty()) return false;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.get(), &info)) {
        return false;
    }
    identity = IdentityOf(info);
    const std::uint64_t size =
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    try {
        content.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {  // too large for memory
        content = Bytes();
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const std::size_t left = content.size() - done;
        DWORD got = 0;
        if (!ReadFile(file.get(), &content[done], static_cast<DWORD>(left < kChunk ? left : kChunk),
                      &got, nullptr)) {
            content = Bytes();
            return false;
        }
        if (got == 0) break;  // the file shrank meanwhile: keep what came
        done += got;
    }
    content.resize(done);
    result.bytes = content;
    return true;
}

bool FolderIdentityOf(const Text& folderPath, FileIdentity& identity) {
    return IdentityOfPath(folderPath.empty() ? Text(".") : folderPath, FILE_FLAG_BACKUP_SEMANTICS,
                          identity);
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
