// POSIX file services of a safe rewrite (the Windows side is file_io_win32.cpp): the original
// is read through one descriptor that stays open until the swap, the new content goes to a
// temporary file beside the original's target, and a rename puts it in place once the
// original is confirmed unchanged. No file is ever mapped: a mapping would turn another
// program's truncation into SIGBUS.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform_internal.h"

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
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
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

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool WriteAllAt(int fd, const char* data, std::size_t length, std::uint64_t offset) {
    while (length > 0) {
        const ssize_t written = ::pwrite(fd, data, length, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        offset += static_cast<std::uint64_t>(written);
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

void SyncFolderOf(const Text& path) {
    const std::size_t folderLength = FolderPartLength(path);
    const Text folder = folderLength ? path.substr(0, folderLength) : Text(".");
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid()) ::fsync(directory.get());
}

}  // namespace

struct SourceFile {
    FileDescriptor file;
    Text target;       // the path of the file itself: the end of a chain of links
    struct stat info;  // at the open
};

struct TemporaryFile {
    FileDescriptor file;
    Text path;         // empty while the file has no name, and once it has become the file
    Text folder;       // where it is named at the swap
    struct stat info;  // at its creation
    std::uint64_t written = 0;
    WriteSection section;
    ~TemporaryFile() {
        if (!path.empty()) ::unlink(path.c_str());
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
    // O_NOFOLLOW first: a plain file, the common case, needs no second look at its path.
    // O_NONBLOCK: a FIFO that matches the pattern must not hang the walk.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    source->file.Reset(::open(path.c_str(), kFlags | O_NOFOLLOW));
    source->target = path;
    if (!source->file.valid() && errno == ELOOP) {  // a symbolic link: rewrite its target
        source->file.Reset(::open(path.c_str(), kFlags));
        char* resolved = source->file.valid() ? ::realpath(path.c_str(), nullptr) : nullptr;
        if (!resolved) return nullptr;
        source->target = resolved;
        std::free(resolved);
    }
    if (!source->file.valid()) {
        if (errno == ENOENT) problem = FileProblem::Vanished;
        return nullptr;
    }
    if (::fstat(source->file.get(), &source->info) != 0) return nullptr;
    if (!S_ISREG(source->info.st_mode)) {
        problem = FileProblem::NotAFile;
        return nullptr;
    }
    if (source->info.st_size > (1 << 20)) {
        ::posix_fadvise(source->file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    problem = FileProblem::None;
    return source;
}

std::uint64_t SourceSize(const SourceFile& source) {
    return static_cast<std::uint64_t>(source.info.st_size);
}

FileIdentity SourceIdentity(const SourceFile& source) {
    return IdentityOf(source.info);
}

Text SourceTargetText(const SourceFile& source) {
    return source.target;
}

bool ReadSource(SourceFile& source, std::uint64_t offset, char* buffer, std::size_t want,
                std::size_t& got) {
    got = 0;
    while (got < want) {
        const ssize_t n =
            ::pread(source.file.get(), buffer + got, want - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// No owner write bit stands for the read-only attribute of Windows (root could otherwise
// write anything); a file we cannot write counts the same.
FileProblem RewritePermission(const SourceFile& source) {
    const struct stat& info = source.info;
    if (info.st_nlink > 1) return FileProblem::HardLinked;
    if ((info.st_mode & S_IWUSR) == 0) return FileProblem::ReadOnly;
    static const uid_t self = ::geteuid();
    if (self != 0 && self != info.st_uid && ::access(source.target.c_str(), W_OK) != 0) {
        return FileProblem::ReadOnly;
    }
    return FileProblem::None;
}

namespace {

// A name beside the target that no other file has. create makes the file under a candidate
// name and answers false with EEXIST when that name is taken.
template <typename Create>
bool NameBeside(const Text& folder, Text& name, Create create) {
    static unsigned counter = 0;
    static const pid_t pid = ::getpid();
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TextJoin({folder, ".brennic-", IntToText(pid), "-",
                         IntToText(static_cast<std::int64_t>(counter++)), ".tmp"});
        if (create(name)) return true;
        if (errno != EEXIST) break;
    }
    name.clear();
    return false;
}

// Unnamed files (O_TMPFILE) get their name through /proc at the swap.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

}  // namespace

TemporaryHandle CreateTemporaryFor(const SourceFile& source) {
    const mode_t mode = source.info.st_mode & 07777;
    TemporaryHandle temporary(new TemporaryFile);
    temporary->folder = source.target.substr(0, FolderPartLength(source.target));
    // Without a name until the swap, where the file system allows it: a run killed while the
    // new content is written leaves nothing behind.
    if (CanNameUnnamedFiles()) {
        const Text folder = temporary->folder.empty() ? Text(".") : temporary->folder;
        temporary->file.Reset(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    }
    if (!temporary->file.valid() &&
        !NameBeside(temporary->folder, temporary->path, [&](const Text& name) {
            // O_EXCL: a name another file has just makes us try the next one.
            temporary->file.Reset(
                ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
            return temporary->file.valid();
        })) {
        return nullptr;
    }
    struct stat& created = temporary->info;
    if (::fstat(temporary->file.get(), &created) != 0) return nullptr;
    // The umask may have cut bits off the mode asked for at creation.
    if ((created.st_mode & 07777) != mode && ::fchmod(temporary->file.get(), mode) != 0) {
        return nullptr;
    }
    // Keeps the owner where we may (as root); otherwise the file becomes ours, as with any
    // editor that saves through a temporary file.
    if (source.info.st_uid != created.st_uid || source.info.st_gid != created.st_gid) {
        (void)!::fchown(temporary->file.get(), source.info.st_uid, source.info.st_gid);
    }
    return temporary;
}

bool WriteTemporary(TemporaryFile& temporary, std::string_view bytes) {
    if (!WriteAllAt(temporary.file.get(), bytes.data(), bytes.size(), temporary.written)) {
        return false;
    }
    temporary.written += bytes.size();
    return true;
}

bool CopySourcePrefix(SourceFile& source, TemporaryFile& temporary, std::uint64_t length) {
    if (length == 0) return true;
    const int from = source.file.get();
    const int to = temporary.file.get();
    std::uint64_t at = 0;
    while (at < length) {
        // Holes stay holes: a sparse file is copied by its data only.
        const off_t data = ::lseek(from, static_cast<off_t>(at), SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;  // nothing but a hole up to the end
        std::uint64_t begin = at, end = length;
        if (data >= 0) {
            begin = static_cast<std::uint64_t>(data);
            const off_t hole = ::lseek(from, data, SEEK_HOLE);
            if (hole >= 0 && static_cast<std::uint64_t>(hole) < end) {
                end = static_cast<std::uint64_t>(hole);
            }
        }
        if (begin >= length) break;
        // The kernel copies without bringing the bytes up to us; plain reads where it cannot.
        off_t in = static_cast<off_t>(begin), out = static_cast<off_t>(begin);
        while (static_cast<std::uint64_t>(in) < end) {
            const ssize_t n =
                ::copy_file_range(from, &in, to, &out, static_cast<std::size_t>(end - in), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
        }
        char buffer[64 * 1024];
        while (static_cast<std::uint64_t>(in) < end) {
            std::size_t got = 0;
            const std::uint64_t left = end - static_cast<std::uint64_t>(in);
            const std::size_t want = left < sizeof buffer ? left : sizeof buffer;
            if (!ReadSource(source, static_cast<std::uint64_t>(in), buffer, want, got) ||
                got != want || !WriteAllAt(to, buffer, got, static_cast<std::uint64_t>(in))) {
                return false;
            }
            in += static_cast<off_t>(got);
        }
        at = end;
    }
    // A hole at the end still counts in the length.
    if (::ftruncate(to, static_cast<off_t>(length)) != 0) return false;
    temporary.written = length;
    return true;
}

namespace {

// The descriptor's file still has the size and times it had at the open, and the target's
// path still names it.
bool StillAsRead(const SourceFile& source) {
    struct stat now, named;
    return ::fstat(source.file.get(), &now) == 0 && now.st_size == source.info.st_size &&
           SameTime(now.st_mtim, source.info.st_mtim) &&
           SameTime(now.st_ctim, source.info.st_ctim) &&
           ::lstat(source.target.c_str(), &named) == 0 && named.st_dev == now.st_dev &&
           named.st_ino == now.st_ino;
}

}  // namespace

FileProblem SwapIntoPlace(SourceFile& source, TemporaryHandle temporary, FileIdentity* nowInPlace) {
    if (FlushBeforeReplace() && ::fsync(temporary->file.get()) != 0)
        return FileProblem::WriteFailed;
    if (!StillAsRead(source)) return FileProblem::Changed;
    // From here to the rename a kill would leave the temporary file behind (whole): keep it
    // short.
    if (temporary->path.empty()) {
        const Text self = "/proc/self/fd/" + std::to_string(temporary->file.get());
        if (!NameBeside(temporary->folder, temporary->path, [&](const Text& name) {
                return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(),
                                AT_SYMLINK_FOLLOW) == 0;
            })) {
            return FileProblem::WriteFailed;
        }
    }
    if (!temporary->file.Close()) return FileProblem::WriteFailed;
    if (::rename(temporary->path.c_str(), source.target.c_str()) != 0) {
        return FileProblem::WriteFailed;
    }
    temporary->path.clear();  // it is the file now: nothing to remove
    if (FlushBeforeReplace()) SyncFolderOf(source.target);
    if (nowInPlace) *nowInPlace = IdentityOf(temporary->info);  // rename keeps the inode
    return FileProblem::None;
}

FileProblem OverwriteSourceInPlace(SourceFile& source, std::uint64_t offset,
                                   std::string_view bytes) {
    WriteSection section;
    FileDescriptor file(::open(source.target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) return FileProblem::WriteFailed;
    struct stat opened;
    if (::fstat(file.get(), &opened) != 0 || opened.st_dev != source.info.st_dev ||
        opened.st_ino != source.info.st_ino || !StillAsRead(source)) {
        return FileProblem::Changed;
    }
    const bool ok = WriteAllAt(file.get(), bytes.data(), bytes.size(), offset) &&
                    (!FlushBeforeReplace() || ::fsync(file.get()) == 0);
    return file.Close() && ok ? FileProblem::None : FileProblem::WriteFailed;
}

bool CreateNewFile(const Text& path, std::string_view bytes) {
    WriteSection section;
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.valid()) return false;
    if (WriteAllAt(file.get(), bytes.data(), bytes.size(), 0) && file.Close()) return true;
    ::unlink(path.c_str());
    return false;
}
