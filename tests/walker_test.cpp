// The walk on real temporary folder trees: counts, order, stops, and the files it must leave
// alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform.h"
#include "run_state.h"
#include "walker.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct Result {
    bool returned;
    std::int64_t matched, replaced, places;
};

Result Walk(const std::string& pathPattern, const std::string& find, const std::string& with,
            bool recurse = true) {
    ResetRunState();
    const bool returned = ReplaceInFolder(pathPattern, find, with, recurse);
    return {returned, FilesMatched(), FilesReplaced(), PlacesReplaced()};
}

class Walker : public ::testing::Test {
  protected:
    void TearDown() override { SetPumpHook(nullptr); }
    TempTree tree;
};

TEST_F(Walker, CountsAndRewritesEveryMatchingFileOfTheTree) {
    tree.File("a.txt", "foo bar foo");
    tree.File("plain.txt", "nothing here");
    tree.File("empty.txt", "");
    tree.File("other.dat", "foo");
    tree.File("readonly.txt", "foo foo");
    tree.MakeReadOnly("readonly.txt");
    tree.File("hidden.txt", "foo");
    tree.MakeHidden("hidden.txt");
    tree.Folder("sub");
    tree.File("sub/b.txt", "foofoofoo");
    tree.Folder("sub/nodot");
    tree.File("sub/nodot/c.txt", "xfoo");
    tree.Folder("dir.txt");  // named like a matching file: entered, never treated as a file
    tree.File("dir.txt/d.txt", "foo");
#if !defined(_WIN32)
    // Names ending in "." are never entered (Windows itself strips a trailing dot on create).
    tree.Folder("trailing.");
    tree.File("trailing./e.txt", "foo");
#endif

    const Result r = Walk(tree.Root() + "*.txt", "foo", "XY");
    EXPECT_TRUE(r.returned);
    EXPECT_EQ(r.matched, 6);   // a, readonly, hidden, b, c, d
    EXPECT_EQ(r.replaced, 5);  // all but the read-only one
    EXPECT_EQ(r.places, 10);
    EXPECT_EQ(tree.Read("a.txt"), "XY bar XY");
    EXPECT_EQ(tree.Read("plain.txt"), "nothing here");
    EXPECT_EQ(tree.Read("empty.txt"), "");
    EXPECT_EQ(tree.Read("other.dat"), "foo");
    EXPECT_EQ(tree.Read("readonly.txt"), "foo foo");
    EXPECT_EQ(tree.Read("hidden.txt"), "XY");
#if defined(_WIN32)
    // The swap into place keeps the original's attributes.
    EXPECT_TRUE(GetFileAttributesW(tree.Wide("hidden.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(GetFileAttributesW(tree.Wide("readonly.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
#endif
    EXPECT_EQ(tree.Read("sub/b.txt"), "XYXYXY");
    EXPECT_EQ(tree.Read("sub/nodot/c.txt"), "xXY");
    EXPECT_EQ(tree.Read("dir.txt/d.txt"), "XY");
#if !defined(_WIN32)
    EXPECT_EQ(tree.Read("trailing./e.txt"), "foo");
#endif
    // Nothing is left beside the files: no temporary file survives a rewrite.
    EXPECT_EQ(tree.EntryCount(""), 6);
    EXPECT_EQ(tree.EntryCount("sub/"), 1);
}

TEST_F(Walker, FilesOfAFolderComeBeforeItsSubfoldersDepthFirst) {
    tree.File("a.txt", "1");
    tree.Folder("s");
    tree.File("s/b.txt", "2");
    tree.Folder("s/t");
    tree.File("s/t/c.txt", "3");
    // Each pump happens at a folder entry: the current file then is the last one before it.
    std::vector<std::string> atEntry;
    SetPumpHook([&] { atEntry.push_back(runState.currentFile); });
    runState.currentFile = "before";
    Walk(tree.Root() + "*.txt", "x", "y");
    const std::vector<std::string> expected = {"before", tree.Path("a.txt"), tree.Path("s/b.txt")};
    EXPECT_EQ(atEntry, expected);
    EXPECT_EQ(runState.currentFile, tree.Path("s/t/c.txt"));
}

TEST_F(Walker, StopAtTheStartFolderDoesNothing) {
    tree.File("a.txt", "foo");
    SetPumpHook([] { RequestStop(); });
    const Result r = Walk(tree.Root() + "*.txt", "foo", "bar");
    EXPECT_FALSE(r.returned);
    EXPECT_EQ(tree.Read("a.txt"), "foo");
    EXPECT_EQ(r.matched + r.replaced + r.places, 0);
}

TEST_F(Walker, StopInASubfolderFinishesTheFolderInHandAndSkipsTheRest) {
    tree.File("a.txt", "foo");
    tree.File("b.txt", "foo");
    tree.Folder("s");
    tree.File("s/c.txt", "foo");
    tree.Folder("s/deeper");
    tree.File("s/deeper/d.txt", "foo");
    int pumps = 0;
    // The stop arrives while the root's files are worked on: it is seen at the next entry.
    SetPumpHook([&] {
        if (++pumps == 1) return;
        RequestStop();
    });
    const Result r = Walk(tree.Root() + "*.txt", "foo", "bar");
    EXPECT_TRUE(r.returned) << "a stop noticed below the start folder still ends normally";
    EXPECT_EQ(tree.Read("a.txt"), "bar");
    EXPECT_EQ(tree.Read("b.txt"), "bar");
    EXPECT_EQ(tree.Read("s/c.txt"), "foo");
    EXPECT_EQ(tree.Read("s/deeper/d.txt"), "foo");
    EXPECT_EQ(r.replaced, 2);
    EXPECT_EQ(pumps, 2);
}

TEST_F(Walker, EmptyPatternMatchesNoFileButEntersEverySubfolder) {
    tree.File("a.txt", "foo");
    tree.Folder("s");
    tree.Folder("s/t");
    int pumps = 0;
    SetPumpHook([&] { ++pumps; });
    const Result r = Walk(tree.Root(), "foo", "bar");
    EXPECT_TRUE(r.returned);
    EXPECT_EQ(pumps, 3);
    EXPECT_EQ(r.matched + r.replaced + r.places, 0);
    EXPECT_EQ(tree.Read("a.txt"), "foo");
}

TEST_F(Walker, EmptyFindAndDescentOff) {
    tree.File("a.txt", "foo");
    tree.Folder("s");
    tree.File("s/b.txt", "foo");
    Result r = Walk(tree.Root() + "*.txt", "", "bar");
    EXPECT_EQ(r.matched + r.replaced + r.places, 0);
    EXPECT_EQ(tree.Read("a.txt"), "foo");

    r = Walk(tree.Root() + "*.txt", "foo", "bar", false);
    EXPECT_EQ(r.replaced, 1);
    EXPECT_EQ(tree.Read("a.txt"), "bar");
    EXPECT_EQ(tree.Read("s/b.txt"), "foo");
}

TEST_F(Walker, AReplacementHoldingTheFindTextIsAppliedOncePerFile) {
    // Many files in one folder: a listing that handed back a file renamed into place would
    // double it again.
    constexpr int kFiles = 600;
    for (int i = 0; i < kFiles; ++i) tree.File("f" + std::to_string(i) + ".txt", "a");
    const Result r = Walk(tree.Root() + "*.txt", "a", "aa");
    EXPECT_EQ(r.places, kFiles);
    EXPECT_EQ(r.replaced, kFiles);
    for (int i = 0; i < kFiles; ++i) ASSERT_EQ(tree.Read("f" + std::to_string(i) + ".txt"), "aa");
    EXPECT_EQ(tree.EntryCount(""), kFiles);
}

TEST_F(Walker, EveryNameAndEveryDepthIsTreated) {
    // Chinese; 乗, whose GBK second byte is the backslash byte; Korean and an emoji (a
    // surrogate pair in UTF-16), which code page 936 cannot hold; accented Latin.
    const std::vector<std::string> names = {u8"中文", u8"乗", u8"한국어", u8"café😀", u8"Ünïcødé"};
    for (const std::string& name : names) {
        tree.Folder(name);
        tree.File(name + "/" + name + ".txt", "foo");
    }
    // A path over 260 characters, and one over 1,000.
    std::string deep;
    for (int level = 0; level < 50; ++level) {
        deep +=
            (level ? "/" : "") + std::string(u8"深层目录-node_modules-") + std::to_string(level);
        tree.Folder(deep);
        if (level == 12 || level == 49) tree.File(deep + "/deep.txt", "foo");
    }
    const std::string deepPath = tree.Path(deep);
    const auto characters =
        std::count_if(deepPath.begin(), deepPath.end(), [](char c) { return (c & 0xC0) != 0x80; });
    ASSERT_GT(characters, 1000);

    const Result r = Walk(tree.Root() + "*.txt", "foo", "bar");
    EXPECT_EQ(r.matched, static_cast<std::int64_t>(names.size()) + 2);
    EXPECT_EQ(r.replaced, r.matched);
    for (const std::string& name : names) {
        EXPECT_EQ(tree.Read(name + "/" + name + ".txt"), "bar") << name;
    }
    EXPECT_EQ(tree.Read(deep + "/deep.txt"), "bar");
    // The current file, which the status line shows, holds the name whole.
    Walk(tree.Path(u8"한국어/") + "*.txt", "x", "y");
    EXPECT_EQ(runState.currentFile, tree.Path(u8"한국어/한국어.txt"));
    // Started inside such a folder, the walk lists and writes that folder, not its parent.
    tree.File(u8"乗/b.txt", "foo");
    tree.File("b.txt", "foo");
    const Result inside = Walk(tree.Path(u8"乗/") + "b.txt", "foo", "baz");
    EXPECT_EQ(inside.replaced, 1);
    EXPECT_EQ(tree.Read(u8"乗/b.txt"), "baz");
    EXPECT_EQ(tree.Read("b.txt"), "foo");
}

#if defined(_WIN32)
TEST_F(Walker, AFileInUseIsNeitherReadNorWritten) {
    tree.File("locked.txt", "foo");
    HANDLE lock = CreateFileW(tree.Wide("locked.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const Result r = Walk(tree.Root() + "*.txt", "foo", "bar");
    CloseHandle(lock);
    EXPECT_EQ(r.matched + r.replaced + r.places, 0);
    EXPECT_EQ(tree.Read("locked.txt"), "foo");
}

TEST_F(Walker, SlashesInTheFolderTextWalkTheSameTree) {
    tree.Folder("s");
    tree.File("s/a.txt", "foo");
    std::string slashed = tree.Path("s/*.txt");
    for (char& c : slashed) {
        if (c == '\\') c = '/';
    }
    const Result r = Walk(slashed, "foo", "bar");
    EXPECT_EQ(r.replaced, 1);
    EXPECT_EQ(tree.Read("s/a.txt"), "bar");
}
#else
TEST_F(Walker, AFileThatCannotBeReadIsNeverWritten) {
    ASSERT_EQ(mkfifo(tree.Path("pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(symlink("missing-target", tree.Path("dangling.txt").c_str()), 0);
    const Result r = Walk(tree.Root() + "*.txt", "foo", "bar");
    EXPECT_EQ(r.matched + r.replaced + r.places, 0);
    struct stat info;
    ASSERT_EQ(lstat(tree.Path("pipe.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    ASSERT_EQ(lstat(tree.Path("dangling.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST_F(Walker, LinksNeverLoopNeverBecomePlainFilesAndAreTreatedOnce) {
    tree.Folder("s");
    tree.File("s/a.txt", "foo");
    ASSERT_EQ(symlink("..", tree.Path("s/up").c_str()), 0);  // a cycle
    ASSERT_EQ(symlink("s", tree.Path("again").c_str()), 0);  // a second way into s
    ASSERT_EQ(symlink("s/a.txt", tree.Path("link.txt").c_str()), 0);
    const Result r = Walk(tree.Root() + "*.txt", "foo", "foofoo");
    EXPECT_TRUE(r.returned);
    EXPECT_EQ(r.places, 1) << "the linked file was replaced once, not once per name";
    EXPECT_EQ(tree.Read("s/a.txt"), "foofoo");
    struct stat info;
    ASSERT_EQ(lstat(tree.Path("link.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST_F(Walker, ARewriteKeepsModeAndASameContentWriteKeepsTheFile) {
    tree.File("changed.txt", "foo");
    tree.File("same.txt", "bar");
    chmod(tree.Path("changed.txt").c_str(), 0640);
    struct stat before;
    ASSERT_EQ(stat(tree.Path("same.txt").c_str(), &before), 0);
    Walk(tree.Root() + "*.txt", "foo", "baz");
    struct stat changed, same;
    ASSERT_EQ(stat(tree.Path("changed.txt").c_str(), &changed), 0);
    ASSERT_EQ(stat(tree.Path("same.txt").c_str(), &same), 0);
    EXPECT_EQ(changed.st_mode & 07777, 0640u);
    EXPECT_EQ(same.st_ino, before.st_ino) << "unchanged content is written back in place";
    EXPECT_EQ(tree.Read("changed.txt"), "baz");
}

TEST_F(Walker, AFileWithSeveralHardLinksIsNotSplitFromItsOtherNames) {
    tree.File("a.txt", "foo");
    ASSERT_EQ(link(tree.Path("a.txt").c_str(), tree.Path("b.dat").c_str()), 0);
    const Result r = Walk(tree.Root() + "*.txt", "foo", "bar");
    EXPECT_EQ(r.matched, 1);
    EXPECT_EQ(r.replaced, 0);
    EXPECT_EQ(tree.Read("a.txt"), "foo");
    EXPECT_EQ(tree.Read("b.dat"), "foo");
}
#endif

}  // namespace
