// Platform services of the engine: folder search, whole-file read and safe rewrite, the event
// pump, paths and the narrow encoding. One header for both platforms; platform_win32.cpp holds
// the Windows side (the A calls, texts in the ANSI code page), platform_posix.cpp the POSIX side
// (UTF-8 paths, "/" as separator, a folder search that behaves like the Windows one).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "text.h"

// ---- Paths -------------------------------------------------------------------------------

extern const char kPathSeparator[];  // "\\" on Windows, "/" on POSIX

// Windows turns every "/" into "\"; on POSIX "\" is an ordinary name character and the text
// comes back unchanged.
Text NormalizeSeparators(const Text& path);
// Index just past the last separator of path (0 when there is none). On Windows a 0x5C that is
// the second byte of a double-byte character of the ANSI code page is no separator; on POSIX
// the bytes are UTF-8, where "/" never occurs inside a character.
std::size_t FolderPartLength(const Text& path);
bool EndsWithSeparator(const Text& path);

// The narrow encoding of the system: a UTF-8 literal converted to the ANSI code page on
// Windows, unchanged on POSIX.
Text NarrowFromUtf8(const char* utf8);

// ---- Folder search -----------------------------------------------------------------------

constexpr int kFolderAttribute = 16;

struct PlatformSearch;  // an open search of the platform
struct PlatformSearchCloser {
    void operator()(PlatformSearch* search) const;
};
// One folder search: an open search of the platform, or none.
struct SearchState {
    std::unique_ptr<PlatformSearch, PlatformSearchCloser> open;
};

struct FolderEntry {
    Text name;  // the entry's own (long) name
    bool isFolder = false;
    bool isLink = false;  // a symbolic link or junction (a reparse point on Windows)
};

// With a non-empty path pattern, closes the search held in state and starts a new one;
// with an empty one, continues it. Filter kFolderAttribute passes only folders ("." and ".."
// included), filter 0 only non-folders. Answers false (and closes the search) at the end.
bool FindNextEntry(const Text& pathPattern, int filter, SearchState& state, FolderEntry& entry);
// The same, answering only the name; the empty text at the end.
Text FindEntry(const Text& pathPattern, int filter, SearchState& state);
void CloseSearch(SearchState& state);

// ---- Whole files -------------------------------------------------------------------------

// Identity of a file or folder on its volume (device and inode, volume serial and file index).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool valid = false;
    bool operator<(const FileIdentity& other) const {
        return volume != other.volume ? volume < other.volume : index < other.index;
    }
};

struct MappedView;  // a read-only mapping of a large file (POSIX)
struct MappedViewCloser {
    void operator()(MappedView* view) const;
};
// A file's whole content: bytes points into owned or into a mapping of the file.
struct FileContent {
    std::string_view bytes;
    Bytes owned;
    std::unique_ptr<MappedView, MappedViewCloser> mapping;
};

// Reads the whole file, sharing it for reading only. False when it cannot be opened, is not a
// regular file, or its content cannot be held in memory: such a file must not be written.
bool ReadFileForRewrite(const Text& path, FileContent& content, FileIdentity& identity);
// The whole content, or empty for every kind of failure.
Bytes ReadWholeFile(const Text& path);

enum class WriteKind {
    NewContent,   // put in place atomically: a temporary file beside it, then a swap
    SameContent,  // the bytes equal the file's current content: overwritten in place
};

// Writes bytes as the file's whole content. At every moment the file holds either its old or
// its new content; a link to a file has its target rewritten and stays a link. False, with the
// file untouched, when the path is empty, the file is read-only, in use, has more than one hard
// link, or the write fails. written (optional) receives the identity of the file now in place.
bool WriteWholeFile(const Text& path, std::string_view bytes,
                    WriteKind kind = WriteKind::NewContent, FileIdentity* written = nullptr);

// Whether a new content is forced to the disk before it replaces the old one (off by default).
void SetFlushBeforeReplace(bool flush);

bool FolderIdentityOf(const Text& folderPath, FileIdentity& identity);

// ---- Event pump --------------------------------------------------------------------------

// Dispatches the pending events of the thread (Windows messages up to a queued quit request,
// which stays queued), then calls the pump hook. Never waits.
void PumpEvents();
// A front end's own work at every pump: the command line delivers Ctrl+C there, tests drive
// stops through it. Pass nullptr to remove it.
void SetPumpHook(std::function<void()> hook);

// Windows: lets the window handle a message before it is dispatched (dialog navigation with
// Tab and Esc), in pumps as in its own loop. message is an MSG*; answer true when handled.
// Unused on POSIX.
void SetMessagePreTranslator(bool (*preTranslate)(void* message));

// Callable from a signal handler or a console control thread: ends the process with exitCode
// at once, unless a file is being written, in which case it ends right after that write.
void AbortBetweenWrites(int exitCode);
