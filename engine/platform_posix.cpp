// POSIX side of the platform layer (the Windows side is platform_win32.cpp). Paths are UTF-8
// and "/" separates names; the folder search mimics FindFirstFileA/FindNextFileA.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "platform_internal.h"
#include "wildcard.h"

const char kPathSeparator[] = "/";

namespace {

bool flushBeforeReplace = false;

// Owns one file descriptor.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and tells whether the close succeeded (a late write error shows up here).
    bool Close() {
        if (fd_ < 0) return true;
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

  private:
    int fd_;
};

FileIdentity IdentityOf(const struct stat& info) {
    FileIdentity identity;
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.index = static_cast<std::uint64_t>(info.st_ino);
    identity.valid = true;
    return identity;
}

bool WriteAll(int fd, const Bytes& bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    off_t offset = 0;
    while (left > 0) {
        const ssize_t written = ::pwrite(fd, data, left, offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) return false;
        data += written;
        offset += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// The file a rewrite must land in: the path itself, or the end of its chain of links.
bool ResolveTarget(const Text& path, Text& target) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISLNK(info.st_mode)) {
        target = path;
        return true;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return false;
    target = resolved;
    std::free(resolved);
    return true;
}

// A file we may rewrite: a regular file with a write permission for its owner (the read-only
// attribute of Windows; root would otherwise write anything), writable by us, one link only.
bool MayRewrite(const Text& target, struct stat& info) {
    if (::stat(target.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode)) return false;
    if ((info.st_mode & S_IWUSR) == 0) return false;
    if (::access(target.c_str(), W_OK) != 0) return false;
    return info.st_nlink <= 1;
}

bool OverwriteInPlace(const Text& path, const Bytes& bytes, FileIdentity* written) {
    Text target;
    struct stat info;
    if (!ResolveTarget(path, target) || !MayRewrite(target, info)) return false;
    WriteSection section;
    FileDescriptor file(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) return false;
    const bool ok =
        WriteAll(file.get(), bytes) && (!flushBeforeReplace || ::fsync(file.get()) == 0);
    if (!file.Close() || !ok) return false;
    if (written) *written = IdentityOf(info);
    return true;
}

bool ReplaceViaTemporary(const Text& path, const Bytes& bytes, FileIdentity* written) {
    Text target;
    struct stat info;
    bool existed = true;
    if (!ResolveTarget(path, target)) {
        if (errno != ENOENT) return false;
        target = path;  // a new file: created whole, like every other write
        existed = false;
    } else if (!MayRewrite(target, info)) {
        return false;
    }

    const std::size_t folderLength = FolderPartLength(target);
    Text temporary =
        TextJoin({std::string_view(target).substr(0, folderLength), ".brennic-XXXXXX"});
    WriteSection section;
    FileDescriptor file(::mkostemp(&temporary[0], O_CLOEXEC));
    if (!file.valid()) return false;
    bool ok = WriteAll(file.get(), bytes);
    if (ok && existed) {
        ok = ::fchmod(file.get(), info.st_mode & 07777) == 0;
        // Keeps the owner where we may (as root); otherwise the file becomes ours, as with
        // any editor that saves through a temporary file.
        if (ok && (info.st_uid != ::geteuid() || info.st_gid != ::getegid())) {
            (void)!::fchown(file.get(), info.st_uid, info.st_gid);
        }
    } else if (ok) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(file.get(), 0666 & ~mask) == 0;
    }
    if (ok && flushBeforeReplace) ok = ::fsync(file.get()) == 0;
    if (!file.Close()) ok = false;
    if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (flushBeforeReplace) {
        const Text folder = folderLength ? target.substr(0, folderLength) : Text(".");
        FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.valid()) ::fsync(directory.get());
    }
    struct stat now;
    if (written && ::stat(target.c_str(), &now) == 0) *written = IdentityOf(now);
    return true;
}

}  // namespace

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

std::size_t CharacterLength(std::string_view text, std::size_t index) {
    const unsigned char lead = static_cast<unsigned char>(text[index]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = 3;
    } else if (lead >= 0xC0) {
        length = 2;
    }
    // Stop at a byte that does not continue the sequence, so broken UTF-8 still steps.
    std::size_t taken = 1;
    while (taken < length && index + taken < text.size() &&
           (static_cast<unsigned char>(text[index + taken]) & 0xC0) == 0x80) {
        ++taken;
    }
    return taken;
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

bool ReadFileForRewrite(const Text& path, Bytes& content, FileIdentity& identity) {
    content.clear();
    if (path.empty()) return false;
    // O_NONBLOCK: a FIFO that matches the pattern must not hang the walk.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) return false;
    struct stat info;
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    identity = IdentityOf(info);
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    try {
        content.resize(size);
    } catch (const std::exception&) {  // too large for memory
        content = Bytes();
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file.get(), &content[done], size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            content = Bytes();
            return false;
        }
        if (got == 0) break;  // the file shrank meanwhile: keep what came
        done += static_cast<std::size_t>(got);
    }
    content.resize(done);
    return true;
}

bool WriteWholeFile(const Text& path, const Bytes& bytes, WriteKind kind, FileIdentity* written) {
    if (path.empty()) return false;
    return kind == WriteKind::SameContent ? OverwriteInPlace(path, bytes, written)
                                          : ReplaceViaTemporary(path, bytes, written);
}

void SetFlushBeforeReplace(bool flush) {
    flushBeforeReplace = flush;
}

bool FolderIdentityOf(const Text& folderPath, FileIdentity& identity) {
    struct stat info;
    if (::stat(folderPath.empty() ? "." : folderPath.c_str(), &info) != 0) return false;
    identity = IdentityOf(info);
    return true;
}

void PlatformPumpMessages() {}

void SetMessagePreTranslator(bool (*)(void*)) {}

void PlatformExitNow(int exitCode) {
    ::_exit(exitCode);
}
