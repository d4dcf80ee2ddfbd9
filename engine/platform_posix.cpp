// POSIX side of the platform layer (the Windows side is platform_win32.cpp): paths, the folder
// search and the pump; the file services are in file_io_posix.cpp. Paths are UTF-8 and "/"
// separates names; the folder search mimics the Windows folder search.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform_internal.h"
#include "wildcard.h"

const char kPathSeparator[] = "/";

struct PlatformSearch {
    DIR* directory = nullptr;
    Text pattern;
    ~PlatformSearch() {
        if (directory) ::closedir(directory);
    }
};

void PlatformSearchCloser::operator()(PlatformSearch* search) const {
    delete search;
}

Text NormalizeSeparators(const Text& path) {
    return path;
}

std::size_t FolderPartLength(const Text& path) {
    const std::size_t slash = path.rfind('/');
    return slash == Text::npos ? 0 : slash + 1;
}

bool EndsWithSeparator(const Text& path) {
    return !path.empty() && path.back() == '/';
}

Text NarrowFromUtf8(const char* utf8) {
    return Text(utf8);
}

Text Utf8FromNarrow(const Text& narrow) {
    return narrow;
}

bool PlatformNextEntry(SearchState& state, FolderEntry& entry) {
    PlatformSearch& search = *state.open;
    const int folderFd = ::dirfd(search.directory);
    while (const dirent* item = ::readdir(search.directory)) {
        const std::string_view name(item->d_name);
        if (!WildcardMatch(search.pattern, name)) continue;
        entry.name.assign(name);
        entry.isLink = item->d_type == DT_LNK;
        entry.isFolder = item->d_type == DT_DIR;
        if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
            struct stat info;
            if (::fstatat(folderFd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
                entry.isLink = S_ISLNK(info.st_mode);
                entry.isFolder = S_ISDIR(info.st_mode);
            }
            // A link to a folder carries the folder attribute, as on Windows.
            if (entry.isLink && ::fstatat(folderFd, item->d_name, &info, 0) == 0) {
                entry.isFolder = S_ISDIR(info.st_mode);
            }
        }
        return true;
    }
    return false;
}

bool PlatformOpenSearch(const Text& pathPattern, SearchState& state, FolderEntry& entry) {
    const std::size_t folderLength = FolderPartLength(pathPattern);
    const Text folder = folderLength ? pathPattern.substr(0, folderLength) : Text(".");
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) return false;
    state.open.reset(new PlatformSearch);
    state.open->directory = directory;
    state.open->pattern = pathPattern.substr(folderLength);
    return PlatformNextEntry(state, entry);
}

bool FolderIdentityOf(const Text& folderPath, FileIdentity& identity) {
    struct stat info;
    if (::stat(folderPath.empty() ? "." : folderPath.c_str(), &info) != 0) return false;
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.index = static_cast<std::uint64_t>(info.st_ino);
    identity.valid = true;
    return true;
}

void PlatformPumpMessages() {}

void SetMessagePreTranslator(bool (*)(void*)) {}

void PlatformExitNow(int exitCode) {
    ::_exit(exitCode);
}
