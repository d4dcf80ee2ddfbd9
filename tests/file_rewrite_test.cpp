// The rewrite of one file, driven through the walk: files that another program changes while
// they are treated, and files larger than the read buffer. (A sparse file over 4 GiB takes
// too long to read for a unit test: bench/huge_file.sh checks it.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "platform.h"
#include "run_state.h"
#include "walker.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

struct Counts {
    std::int64_t matched, replaced, places;
    bool operator==(const Counts& other) const {
        return matched == other.matched && replaced == other.replaced && places == other.places;
    }
};

Counts Walk(const std::string& pathPattern, const std::string& find, const std::string& with) {
    ResetRunState();
    ReplaceInFolder(pathPattern, find, with, true);
    return {FilesMatched(), FilesReplaced(), PlacesReplaced()};
}

// What another program does to a file. Each answers whether the platform let it: on Windows
// the file is open for the rewrite and writers are refused, so only a rename over it can
// happen; on POSIX everything can.
bool AppendTo(const std::string& path, const std::string& text) {
#if defined(_WIN32)
    FILE* file = _wfopen(WideFromUtf8(path).c_str(), L"ab");
#else
    FILE* file = std::fopen(path.c_str(), "ab");
#endif
    if (!file) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

bool CutShort(const std::string& path, long length) {
#if defined(_WIN32)
    HANDLE file =
        CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = length;
    const bool ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
#else
    return ::truncate(path.c_str(), length) == 0;
#endif
}

bool ReplaceByOtherFile(const std::string& path, const std::string& content) {
    const std::string other = path + ".other";
#if defined(_WIN32)
    const std::wstring from = WideFromUtf8(other), to = WideFromUtf8(path);
    FILE* out = _wfopen(from.c_str(), L"wb");
    if (!out) return false;
    std::fwrite(content.data(), 1, content.size(), out);
    std::fclose(out);
    const bool moved = MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (!moved) DeleteFileW(from.c_str());
#else
    FILE* out = std::fopen(other.c_str(), "wb");
    if (!out) return false;
    std::fwrite(content.data(), 1, content.size(), out);
    std::fclose(out);
    const bool moved = std::rename(other.c_str(), path.c_str()) == 0;
    if (!moved) std::remove(other.c_str());
#endif
    return moved;
}

class Rewrite : public ::testing::Test {
  protected:
    void TearDown() override { SetBeforeReplaceHook(nullptr); }
    TempTree tree;
};

TEST_F(Rewrite, AFileChangedBeforeTheSwapKeepsTheOtherProgramsContent) {
    struct Case {
        const char* name;
        std::string content;  // "foo" holds a match: a swap; otherwise an in-place write
        std::function<bool(const std::string& path)> change;
        std::string changed;  // the file as the other program leaves it
    };
    const std::string big(3u << 20, 'x');  // several read chunks
    const Case cases[] = {
        {"appended", "a foo b", [](const std::string& p) { return AppendTo(p, "+more"); },
         "a foo b+more"},
        {"cut short", "a foo b", [](const std::string& p) { return CutShort(p, 2); }, "a "},
        {"replaced by another file", "a foo b",
         [](const std::string& p) { return ReplaceByOtherFile(p, "new foo"); }, "new foo"},
        {"large, appended", big + "foo", [](const std::string& p) { return AppendTo(p, "!"); },
         big + "foo!"},
        {"no match, appended", "plain", [](const std::string& p) { return AppendTo(p, "+log"); },
         "plain+log"},
        {"no match, replaced", "plain",
         [](const std::string& p) { return ReplaceByOtherFile(p, "theirs"); }, "theirs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree fresh;
        fresh.File("a.txt", c.content);
        fresh.Folder("later");
        fresh.File("later/b.txt", "foo");  // the run goes on after the changed file
        bool changed = false;
        int calls = 0;
        SetBeforeReplaceHook([&](const Text& target) {
            if (calls++ == 0) changed = c.change(target);
        });
        const Counts counts = Walk(fresh.Root() + "*.txt", "foo", "bar");
        SetBeforeReplaceHook(nullptr);
        const bool holdsMatch = c.content.find("foo") != std::string::npos;
        EXPECT_EQ(fresh.Read("later/b.txt"), "bar");
        EXPECT_EQ(fresh.EntryCount(""), 1) << "no temporary file stays behind";
        if (changed) {
            EXPECT_TRUE(fresh.Read("a.txt") == c.changed);
            // Its matches were counted; it was not replaced.
            EXPECT_EQ(counts, (Counts{holdsMatch ? 2 : 1, 1, holdsMatch ? 2 : 1}));
        } else {
#if defined(_WIN32)
            // The file was open for the rewrite: the other writer was refused, lost nothing,
            // and the rewrite went through.
            EXPECT_EQ(counts, (Counts{holdsMatch ? 2 : 1, holdsMatch ? 2 : 1, holdsMatch ? 2 : 1}));
#else
            ADD_FAILURE() << "POSIX lets the other program change the file";
#endif
        }
    }
}

TEST_F(Rewrite, FilesLargerThanTheReadBufferAreReplacedWhole) {
    // The first match lies several chunks in: the unchanged bytes before it are copied over.
    std::string late(5u << 20, 'x');
    for (std::size_t at : {std::size_t(3u << 20) - 1, std::size_t(4u << 20), late.size() - 3}) {
        late.replace(at, 3, "foo");
    }
    tree.File("late.txt", late);
    const std::string untouched((2u << 20) + 5, 'y');
    tree.File("same.txt", untouched);
    const Counts counts = Walk(tree.Root() + "*.txt", "foo", "quux");
    EXPECT_EQ(counts, (Counts{1, 1, 3}));
    std::string expected = late;
    for (std::size_t at = expected.find("foo"); at != std::string::npos;
         at = expected.find("foo", at + 4)) {
        expected.replace(at, 3, "quux");
    }
    EXPECT_TRUE(tree.Read("late.txt") == expected);
    EXPECT_TRUE(tree.Read("same.txt") == untouched);
}

#if defined(_WIN32)
TEST_F(Rewrite, AFileOpenInAnotherProgramIsLeftWholeAndReportedInUse) {
    // One held for writing: never read. One held for reading without letting it be deleted
    // or replaced: read and counted, but the swap is refused.
    tree.File("writer.txt", "foo");
    tree.File("reader.txt", "foo foo");
    tree.File("free.txt", "foo");
    HANDLE writer = CreateFileW(tree.Wide("writer.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE reader = CreateFileW(tree.Wide("reader.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::vector<std::pair<std::string, FileProblem>> reports;
    SetFileReport([&](const Text& path, FileProblem problem) {
        reports.emplace_back(path.substr(FolderPartLength(path)), problem);
    });
    const Counts counts = Walk(tree.Root() + "*.txt", "foo", "bar");
    SetFileReport(nullptr);
    CloseHandle(writer);
    CloseHandle(reader);
    EXPECT_EQ(counts, (Counts{2, 1, 3}));
    EXPECT_EQ(tree.Read("writer.txt"), "foo");
    EXPECT_EQ(tree.Read("reader.txt"), "foo foo");
    EXPECT_EQ(tree.Read("free.txt"), "bar");
    EXPECT_EQ(tree.EntryCount(""), 3) << "no temporary file stays behind";
    std::sort(reports.begin(), reports.end());
    const std::vector<std::pair<std::string, FileProblem>> expected = {
        {"reader.txt", FileProblem::InUse}, {"writer.txt", FileProblem::InUse}};
    EXPECT_EQ(reports, expected);
}
#endif

TEST(WholeFiles, WriteRefusesAnEmptyPathAndCreatesAMissingFile) {
    TempTree tree;
    EXPECT_FALSE(WriteWholeFile("", "x"));
    EXPECT_TRUE(WriteWholeFile(tree.Path("new.txt"), "fresh"));
    EXPECT_EQ(tree.Read("new.txt"), "fresh");
    EXPECT_TRUE(WriteWholeFile(tree.Path("new.txt"), "again"));
    EXPECT_EQ(ReadWholeFile(tree.Path("new.txt")), "again");
    EXPECT_EQ(ReadWholeFile(tree.Path("missing.txt")), "");
    EXPECT_EQ(ReadWholeFile(""), "");
    tree.MakeReadOnly("new.txt");
    EXPECT_FALSE(WriteWholeFile(tree.Path("new.txt"), "refused"));
    EXPECT_EQ(tree.Read("new.txt"), "again");
}

}  // namespace
