// Platform services of the engine: folder search, the file services of a safe rewrite, the
// event pump, paths and the narrow encoding. One header for both platforms; platform_win32.cpp
// and file_io_win32.cpp hold the Windows side, platform_posix.cpp and file_io_posix.cpp the
// POSIX side (UTF-8 paths, "/" as separator, a folder search that behaves like the Windows one).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "text.h"

// ---- Paths -------------------------------------------------------------------------------

extern const char kPathSeparator[];  // "\\" on Windows, "/" on POSIX

// Windows turns every "/" into "\"; on POSIX "\" is an ordinary name character and the text
// comes back unchanged.
Text NormalizeSeparators(const Text& path);
// Index just past the last separator of path (0 when there is none). Paths are UTF-8, where a
// separator byte never occurs inside a character.
std::size_t FolderPartLength(const Text& path);
bool EndsWithSeparator(const Text& path);

// Two encodings meet here. Texts that name files and folders (paths, patterns, entry names,
// currentFile) and the texts shown to the user are UTF-8 on every platform; on Windows they
// reach the system through the wide calls. Texts that are matched against file contents (the
// find and replacement texts) are bytes of the system's narrow encoding: the ANSI code page
// on Windows, UTF-8 on POSIX.
//
// UTF-8 to the narrow encoding (for output to an ANSI console), and back (for a path that
// arrives as ANSI bytes, such as an element of the raw command line). Unchanged on POSIX.
Text NarrowFromUtf8(const char* utf8);
Text Utf8FromNarrow(const Text& narrow);
#if defined(_WIN32)
// The texts of the wide calls (UTF-16), to and from UTF-8.
std::wstring WideFromUtf8(std::string_view utf8);
Text Utf8FromWide(std::wstring_view wide);
#endif

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

// ---- File identity -----------------------------------------------------------------------

// Identity of a file or folder on its volume (device and inode, volume serial and file index).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool valid = false;
    bool operator<(const FileIdentity& other) const {
        return volume != other.volume ? volume < other.volume : index < other.index;
    }
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && index == other.index;
    }
};

// ---- Rewriting one file ------------------------------------------------------------------

// Why a file was left exactly as it was.
enum class FileProblem {
    None,
    Vanished,     // gone between the listing and the open (or a link to nothing)
    NotAFile,     // a FIFO, a device, a folder: nothing to rewrite
    Unreadable,   // access denied, or a read failed
    InUse,        // another program holds it open for writing
    ReadOnly,     // read-only, or not writable by us
    HardLinked,   // more than one hard link: a new file in its place would split them
    Changed,      // another program changed it while it was read or before the swap
    WriteFailed,  // the new content could not be written (disk full, ...) or put in place
};

// The original file, open for reading from its first read until its swap, so that it can be
// checked for changes made meanwhile. Others may read it (and, on Windows, rename or delete
// it, which the swap needs) but not write it through another handle.
struct SourceFile;
struct SourceFileCloser {
    void operator()(SourceFile* source) const;
};
using SourceHandle = std::unique_ptr<SourceFile, SourceFileCloser>;

// The new content, in a file beside the original's target until the swap. Dropping the
// handle before a swap removes the file.
struct TemporaryFile;
struct TemporaryFileCloser {
    void operator()(TemporaryFile* temporary) const;
};
using TemporaryHandle = std::unique_ptr<TemporaryFile, TemporaryFileCloser>;

// Opens the file that path names. A link to a file opens its target, and every later step
// works on that target, whatever the platform says about links. problem says why not.
SourceHandle OpenSource(const Text& path, FileProblem& problem);
// Size and identity as they were when the file was opened.
std::uint64_t SourceSize(const SourceFile& source);
FileIdentity SourceIdentity(const SourceFile& source);
// Reads up to want bytes at offset; got < want only at the end of the file. False on error.
bool ReadSource(SourceFile& source, std::uint64_t offset, char* buffer, std::size_t want,
                std::size_t& got);
// None, ReadOnly or HardLinked: whether a rewrite may be tried at all.
FileProblem RewritePermission(const SourceFile& source);

// An empty file beside the source's target, with its mode and owner where the platform has
// them; nullptr when it cannot be created.
TemporaryHandle CreateTemporaryFor(const SourceFile& source);
bool WriteTemporary(TemporaryFile& temporary, std::string_view bytes);
// Copies the source's first length bytes into the empty temporary file.
bool CopySourcePrefix(SourceFile& source, TemporaryFile& temporary, std::uint64_t length);
// Confirms that the source's path still names the file that was read, with the size and
// modification time it had when it was opened, and puts the temporary file in its place.
// Changed (temporary removed, file left as the other program left it) when it does not.
FileProblem SwapIntoPlace(SourceFile& source, TemporaryHandle temporary, FileIdentity* nowInPlace);
// Writes bytes back over the source's own bytes at offset (unchanged content), after the
// same check. Only for a source that RewritePermission allows: the caller has asked already.
FileProblem OverwriteSourceInPlace(SourceFile& source, std::uint64_t offset,
                                   std::string_view bytes);

// Runs right before the check that precedes a swap or an in-place write, with the path of the
// target; tests change the file there. Pass nullptr to remove it.
void SetBeforeReplaceHook(std::function<void(const Text& target)> hook);
void RunBeforeReplaceHook(const SourceFile& source);

// ---- Whole files -------------------------------------------------------------------------

// The whole content, or empty for every kind of failure.
Bytes ReadWholeFile(const Text& path);
// Writes bytes as the file's whole content: an existing file through a temporary file and a
// swap, a missing one created whole. False, with the file untouched, when the path is empty,
// the file is read-only, in use, has more than one hard link, or the write fails.
bool WriteWholeFile(const Text& path, std::string_view bytes);
// Creates a file that does not exist yet with the given content; removed again on failure.
bool CreateNewFile(const Text& path, std::string_view bytes);

// Whether a new content is forced to the disk before it replaces the old one (off by default).
void SetFlushBeforeReplace(bool flush);
bool FlushBeforeReplace();

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
