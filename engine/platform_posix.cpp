// POSIX side of the platform layer (the Windows side is platform_win32.cpp). Paths are UTF-8
// and "/" separates names; the folder search mimics FindFirstFileA/FindNextFileA.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "platform_internal.h"
#include "wildcard.h"

const char kPathSeparator[] = "/";

namespace {

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

bool WriteAll(int fd, std::string_view bytes) {
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

// The file a rewrite must land in: the path itself, or the end of its chain of links. info
// receives the target's status.
bool ResolveTarget(const Text& path, Text& target, struct stat& info) {
    if (::lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISLNK(info.st_mode)) {
        target = path;
        return true;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return false;
    target = resolved;
    std::free(resolved);
    return ::stat(target.c_str(), &info) == 0;
}

// A file we may rewrite: a regular file with a write permission for its owner (the read-only
// attribute of Windows; root would otherwise write anything), writable by us, one link only.
bool MayRewrite(const Text& target, const struct stat& info) {
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0 || info.st_nlink > 1) {
        return false;
    }
    const uid_t self = ::geteuid();
    return self == 0 || self == info.st_uid || ::access(target.c_str(), W_OK) == 0;
}

// A name beside target that no other file has; created with O_EXCL, so a clash just retries.
int CreateTemporaryBeside(const Text& target, mode_t mode, Text& temporary) {
    static unsigned counter = 0;
    const std::string_view folder = std::string_view(target).substr(0, FolderPartLength(target));
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = TextJoin({folder, ".brennic-", IntToText(::getpid()), "-",
                              IntToText(static_cast<std::int64_t>(counter++)), ".tmp"});
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool PlatformOverwriteInPlace(const Text& path, std::string_view bytes, FileIdentity* written) {
    Text target;
    struct stat info;
    if (!ResolveTarget(path, target, info) || !MayRewrite(target, info)) return false;
    WriteSection section;
    FileDescriptor file(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) return false;
    const bool ok =
        WriteAll(file.get(), bytes) && (!FlushBeforeReplace() || ::fsync(file.get()) == 0);
    if (!file.Close() || !ok) return false;
    if (written) *written = IdentityOf(info);
    return true;
}

bool PlatformReplaceViaTemporary(const Text& path, std::string_view bytes, FileIdentity* written) {
    Text target;
    struct stat info;
    bool existed = true;
    if (!ResolveTarget(path, target, info)) {
        if (errno != ENOENT) return false;
        target = path;  // a new file: created whole, like every other write
        existed = false;
    } else if (!MayRewrite(target, info)) {
        return false;
    }

    WriteSection section;
    const mode_t mode = existed ? (info.st_mode & 07777) : 0666;
    Text temporary;
    FileDescriptor file(CreateTemporaryBeside(target, mode, temporary));
    if (!file.valid()) return false;
    bool ok = WriteAll(file.get(), bytes);
    struct stat created;
    ok = ok && ::fstat(file.get(), &created) == 0;
    if (ok && existed) {
        // The umask may have cut bits off the mode asked for at creation.
        if ((created.st_mode & 07777) != mode) ok = ::fchmod(file.get(), mode) == 0;
        // Keeps the owner where we may (as root); otherwise the file becomes ours, as with
        // any editor that saves through a temporary file.
        if (ok && (info.st_uid != created.st_uid || info.st_gid != created.st_gid)) {
            (void)!::fchown(file.get(), info.st_uid, info.st_gid);
        }
    }
    if (ok && FlushBeforeReplace()) ok = ::fsync(file.get()) == 0;
    if (!file.Close()) ok = false;
    if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (FlushBeforeReplace()) {
        const std::size_t folderLength = FolderPartLength(target);
        const Text folder = folderLength ? target.substr(0, folderLength) : Text(".");
        FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.valid()) ::fsync(directory.get());
    }
    if (written) *written = IdentityOf(created);  // rename keeps the inode
    return true;
}

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

struct MappedView {
    void* address = nullptr;
    std::size_t length = 0;
    ~MappedView() {
        if (address) ::munmap(address, length);
    }
};

void MappedViewCloser::operator()(MappedView* view) const {
    delete view;
}

bool ReadFileForRewrite(const Text& path, FileContent& content, FileIdentity& identity) {
    content = FileContent();
    if (path.empty()) return false;
    // O_NONBLOCK: a FIFO that matches the pattern must not hang the walk.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) return false;
    struct stat info;
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    identity = IdentityOf(info);
    const std::size_t size = static_cast<std::size_t>(info.st_size);

    // Large files are mapped: no copy into a buffer, and the pages come from the cache.
    constexpr std::size_t kMapFrom = 4u << 20;
    if (size >= kMapFrom) {
        void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.get(), 0);
        if (address != MAP_FAILED) {
            ::madvise(address, size, MADV_SEQUENTIAL);
            content.mapping.reset(new MappedView{address, size});
            content.bytes = std::string_view(static_cast<const char*>(address), size);
            return true;
        }
    }
    try {
        content.owned.resize(size);
    } catch (const std::exception&) {  // too large for memory
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file.get(), &content.owned[done], size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            content = FileContent();
            return false;
        }
        if (got == 0) break;  // the file shrank meanwhile: keep what came
        done += static_cast<std::size_t>(got);
    }
    content.owned.resize(done);
    content.bytes = content.owned;
    return true;
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
