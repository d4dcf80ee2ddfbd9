// Windows file services of a safe rewrite (the POSIX side is file_io_posix.cpp). The original
// is read through one handle that lets others read, rename and delete it but not write it, so
// another writer fails instead of being lost; the new content goes to a temporary file beside
// the original's target, and ReplaceFileW puts it in place once the original is confirmed
// unchanged. The target comes from the open handle, never from attributes: Wine shows a Unix
// symbolic link as a plain file, and its ReplaceFile on the link would delete the link's target.
#include <atomic>

#include "platform_internal.h"
#include "platform_win32.h"

namespace {

std::atomic<unsigned> temporaryCounter{0};

// ReadFile and WriteFile move at most a DWORD at a time.
constexpr std::size_t kMaxTransfer = 1u << 30;

std::uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool SameFileAsRead(const BY_HANDLE_FILE_INFORMATION& now, const BY_HANDLE_FILE_INFORMATION& read) {
    return now.dwVolumeSerialNumber == read.dwVolumeSerialNumber &&
           now.nFileIndexHigh == read.nFileIndexHigh && now.nFileIndexLow == read.nFileIndexLow &&
           SizeOf(now) == SizeOf(read) &&
           CompareFileTime(&now.ftLastWriteTime, &read.ftLastWriteTime) == 0;
}

bool InformationOfPath(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    FileHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    return handle.valid() && GetFileInformationByHandle(handle.get(), &info);
}

bool WriteAll(HANDLE file, const char* data, std::size_t left) {
    while (left > 0) {
        const DWORD want = static_cast<DWORD>(left < kMaxTransfer ? left : kMaxTransfer);
        DWORD written = 0;
        if (!WriteFile(file, data, want, &written, nullptr) || written == 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

// The path of the file the handle has open, links resolved; empty when the system cannot say.
std::wstring FinalPathOf(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
    return std::wstring();
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t separator = path.rfind(L'\\');
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

// ReplaceFileW keeps the original's attributes on Windows; not every implementation does (Wine
// drops hidden and system), so they are put back when the swap lost them.
void KeepAttributes(const std::wstring& target, DWORD original) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD now = GetFileAttributesW(target.c_str());
    if (now == INVALID_FILE_ATTRIBUTES || (now & kKept) == (original & kKept)) return;
    const DWORD wanted = (now & ~kKept & FILE_ATTRIBUTE_READONLY) | (original & kKept);
    SetFileAttributesW(target.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

struct SourceFile {
    FileHandle file;
    std::wstring target;  // the file's own path, from the handle
    BY_HANDLE_FILE_INFORMATION info;
};

struct TemporaryFile {
    FileHandle file;
    std::wstring path;           // empty once it has become the file, or must be kept
    bool deletePending = false;  // goes away with its handle unless kept at the swap
    WriteSection section;
    ~TemporaryFile() {
        file.Close();
        if (!path.empty()) DeleteFileW(path.c_str());
    }
};

void SourceFileCloser::operator()(SourceFile* source) const {
    delete source;
}
void TemporaryFileCloser::operator()(TemporaryFile* temporary) const {
    delete temporary;
}

SourceHandle OpenSource(const Text& path, FileProblem& problem) {
    problem = FileProblem::Unreadable;
    SourceHandle source(new SourceFile);
    source->file.Reset(CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source->file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) problem = FileProblem::InUse;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            problem = FileProblem::Vanished;
        }
        return nullptr;
    }
    if (!GetFileInformationByHandle(source->file.get(), &source->info)) return nullptr;
    if (GetFileType(source->file.get()) != FILE_TYPE_DISK ||
        (source->info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        problem = FileProblem::NotAFile;
        return nullptr;
    }
    source->target = FinalPathOf(source->file.get());
    if (source->target.empty()) {
        // Some file systems (a few network redirectors, RAM disks) cannot name the file from
        // the handle. The path itself will do unless it is a link.
        const std::wstring wide = WidePath(path);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return nullptr;
        }
        source->target = wide;
    }
    problem = FileProblem::None;
    return source;
}

std::uint64_t SourceSize(const SourceFile& source) {
    return SizeOf(source.info);
}

FileIdentity SourceIdentity(const SourceFile& source) {
    return IdentityOf(source.info);
}

Text SourceTargetText(const SourceFile& source) {
    std::wstring path = source.target;
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path = path.substr(4);
    }
    return NarrowPath(path);
}

bool ReadSource(SourceFile& source, std::uint64_t offset, char* buffer, std::size_t want,
                std::size_t& got) {
    got = 0;
    while (got < want) {
        const std::uint64_t at = offset + got;
        OVERLAPPED position = {};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const std::size_t left = want - got;
        DWORD n = 0;
        if (!ReadFile(source.file.get(), buffer + got,
                      static_cast<DWORD>(left < kMaxTransfer ? left : kMaxTransfer), &n,
                      &position)) {
            return GetLastError() == ERROR_HANDLE_EOF;
        }
        if (n == 0) break;
        got += n;
    }
    return true;
}

FileProblem RewritePermission(const SourceFile& source) {
    if (source.info.nNumberOfLinks > 1) return FileProblem::HardLinked;
    if (source.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return FileProblem::ReadOnly;
    return FileProblem::None;
}

TemporaryHandle CreateTemporaryFor(const SourceFile& source) {
    const std::wstring folder = FolderOf(source.target);
    TemporaryHandle temporary(new TemporaryFile);
    for (int attempt = 0; attempt < 100 && !temporary->file.valid(); ++attempt) {
        const std::wstring name = folder + L"~brennic-" + std::to_wstring(GetCurrentProcessId()) +
                                  L"-" + std::to_wstring(temporaryCounter.fetch_add(1)) + L".tmp";
        temporary->file.Reset(
            CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (temporary->file.valid()) temporary->path = name;
        if (!temporary->file.valid() && GetLastError() != ERROR_FILE_EXISTS) return nullptr;
    }
    if (!temporary->file.valid()) return nullptr;
    // Marked for deletion at once: a run killed while the new content is written leaves
    // nothing behind. The mark is lifted right before the swap.
    FILE_DISPOSITION_INFO dispose = {TRUE};
    temporary->deletePending =
        SetFileInformationByHandle(temporary->file.get(), FileDispositionInfo, &dispose,
                                   sizeof dispose) != FALSE;
    return temporary;
}

bool WriteTemporary(TemporaryFile& temporary, std::string_view bytes) {
    return WriteAll(temporary.file.get(), bytes.data(), bytes.size());
}

bool CopySourcePrefix(SourceFile& source, TemporaryFile& temporary, std::uint64_t length) {
    if (length == 0) return true;
    constexpr std::size_t kBuffer = 1u << 20;
    std::unique_ptr<char[]> buffer(new char[length < kBuffer ? length + 1 : kBuffer]);
    for (std::uint64_t at = 0; at < length;) {
        const std::uint64_t left = length - at;
        const std::size_t want = left < kBuffer ? static_cast<std::size_t>(left) : kBuffer;
        std::size_t got = 0;
        if (!ReadSource(source, at, buffer.get(), want, got) || got != want ||
            !WriteAll(temporary.file.get(), buffer.get(), got)) {
            return false;
        }
        at += got;
    }
    return true;
}

namespace {

// The source still has the size and last-write time it had when it was read, and its path
// still names it. With the source's handle closed, the path's own handle answers for both.
// That handle asks for the delete access that the swap needs: a program holding the file open
// without sharing deletion makes it fail here, before ReplaceFileW is tried (Wine's leaves an
// empty rf*.tmp file in the folder each time it fails).
FileProblem CheckStillAsRead(const SourceFile& source) {
    BY_HANDLE_FILE_INFORMATION now, named;
    if (source.file.valid() && !GetFileInformationByHandle(source.file.get(), &now)) {
        return FileProblem::Changed;
    }
    FileHandle path(CreateFileW(source.target.c_str(), FILE_READ_ATTRIBUTES | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!path.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) return FileProblem::InUse;
        if (error == ERROR_ACCESS_DENIED) return FileProblem::WriteFailed;
        return FileProblem::Changed;  // gone, or renamed away
    }
    if (!GetFileInformationByHandle(path.get(), &named)) return FileProblem::Changed;
    if (!source.file.valid()) now = named;
    return SameFileAsRead(now, source.info) && SameFileAsRead(named, source.info)
               ? FileProblem::None
               : FileProblem::Changed;
}

bool Replace(const SourceFile& source, const TemporaryFile& temporary) {
    return ReplaceFileW(source.target.c_str(), temporary.path.c_str(), nullptr,
                        REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                        nullptr) != FALSE;
}

}  // namespace

FileProblem SwapIntoPlace(SourceFile& source, TemporaryHandle temporary, FileIdentity* nowInPlace) {
    if (FlushBeforeReplace() && !FlushFileBuffers(temporary->file.get())) {
        return FileProblem::WriteFailed;
    }
    if (const FileProblem problem = CheckStillAsRead(source); problem != FileProblem::None) {
        return problem;
    }
    // From here to the swap a kill would leave the temporary file behind (whole): keep it short.
    FILE_DISPOSITION_INFO keep = {FALSE};
    if (temporary->deletePending &&
        !SetFileInformationByHandle(temporary->file.get(), FileDispositionInfo, &keep,
                                    sizeof keep)) {
        return FileProblem::WriteFailed;  // it goes with its handle; the original is untouched
    }
    if (!temporary->file.Close()) return FileProblem::WriteFailed;
    // Keeps the original's attributes, ACL, creation time and short name.
    bool swapped = Replace(source, *temporary);
    DWORD error = swapped ? ERROR_SUCCESS : GetLastError();
    if (!swapped && (error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_SHARING_VIOLATION ||
                     error == ERROR_ACCESS_DENIED)) {
        // Nothing was moved. A ReplaceFile that wants write access to the original cannot
        // have it while our handle denies writers: let go of the handle and check again.
        source.file.Close();
        if (const FileProblem problem = CheckStillAsRead(source); problem != FileProblem::None) {
            return problem;
        }
        swapped = Replace(source, *temporary);
        error = swapped ? ERROR_SUCCESS : GetLastError();
    }
    if (!swapped && error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        // The original is gone and the new content is still under the temporary name: put it
        // in place, or at least keep it, since it is now the only copy.
        swapped = MoveFileExW(temporary->path.c_str(), source.target.c_str(),
                              MOVEFILE_WRITE_THROUGH) != FALSE;
        if (!swapped) temporary->path.clear();
    }
    if (!swapped) {
        // Another program holds the original open without letting it be replaced.
        return error == ERROR_SHARING_VIOLATION ? FileProblem::InUse : FileProblem::WriteFailed;
    }
    temporary->path.clear();
    KeepAttributes(source.target, source.info.dwFileAttributes);
    BY_HANDLE_FILE_INFORMATION info;
    if (nowInPlace && InformationOfPath(source.target, info)) *nowInPlace = IdentityOf(info);
    return FileProblem::None;
}

FileProblem OverwriteSourceInPlace(SourceFile& source, std::uint64_t offset,
                                   std::string_view bytes) {
    WriteSection section;
    // Our reading handle denies writers, this one included; the write handle denies everyone,
    // so nothing can change between its check and its write.
    source.file.Close();
    FileHandle file(CreateFileW(source.target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION now;
    if (!file.valid()) return FileProblem::WriteFailed;
    if (!GetFileInformationByHandle(file.get(), &now) || !SameFileAsRead(now, source.info)) {
        return FileProblem::Changed;
    }
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    bool ok = SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN) &&
              WriteAll(file.get(), bytes.data(), bytes.size());
    if (ok && FlushBeforeReplace()) ok = FlushFileBuffers(file.get()) != FALSE;
    return file.Close() && ok ? FileProblem::None : FileProblem::WriteFailed;
}

bool CreateNewFile(const Text& path, std::string_view bytes) {
    WriteSection section;
    const std::wstring wide = WidePath(path);
    FileHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    if (WriteAll(file.get(), bytes.data(), bytes.size()) && file.Close()) return true;
    file.Close();
    DeleteFileW(wide.c_str());
    return false;
}
