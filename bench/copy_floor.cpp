// The copy floor of the comparison: stream every matching file of a tree through a 1 MiB
// buffer into a new file beside it and rename that over the original. This is the least a
// rewrite that never leaves a half-written file must do.
#include <fcntl.h>
#include <fnmatch.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

const char* pattern = "*";
constexpr std::size_t kBuffer = 1u << 20;
std::unique_ptr<char[]> buffer(new char[kBuffer]);

int Visit(const char* path, const struct stat* info, int type, struct FTW* where) {
    if (type != FTW_F || fnmatch(pattern, path + where->base, 0) != 0) return 0;
    const int in = open(path, O_RDONLY);
    if (in < 0) return 0;
    const std::string temporary = std::string(path) + ".copy-floor.tmp";
    const int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, info->st_mode & 07777);
    bool ok = out >= 0;
    for (ssize_t got; ok && (got = read(in, buffer.get(), kBuffer)) > 0;) {
        ok = write(out, buffer.get(), static_cast<std::size_t>(got)) == got;
    }
    close(in);
    if (out >= 0) ok = close(out) == 0 && ok;
    if (ok) ok = rename(temporary.c_str(), path) == 0;
    if (!ok) unlink(temporary.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: copy_floor FOLDER PATTERN\n");
        return 2;
    }
    pattern = argv[2];
    return nftw(argv[1], Visit, 64, FTW_PHYS) == 0 ? 0 : 1;
}
