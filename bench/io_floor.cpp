// The I/O floor of the comparison: read every matching file of a tree whole and write it back
// whole, in place, with nothing else. No tool that rewrites those files can do less.
#include <fcntl.h>
#include <fnmatch.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

const char* pattern = "*";

int Visit(const char* path, const struct stat* info, int type, struct FTW* where) {
    if (type != FTW_F || fnmatch(pattern, path + where->base, 0) != 0) return 0;
    std::string content(static_cast<std::size_t>(info->st_size), '\0');
    int fd = open(path, O_RDONLY);
    if (fd < 0) return 0;
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = read(fd, &content[done], content.size() - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    fd = open(path, O_WRONLY | O_TRUNC);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < done) {
        const ssize_t put = write(fd, content.data() + written, done - written);
        if (put <= 0) break;
        written += static_cast<std::size_t>(put);
    }
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: io_floor FOLDER PATTERN\n");
        return 2;
    }
    pattern = argv[2];
    return nftw(argv[1], Visit, 64, FTW_PHYS) == 0 ? 0 : 1;
}
