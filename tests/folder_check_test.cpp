// The command-line split and the folder check of the folder intake, in both builds.
#include <gtest/gtest.h>

#include <vector>

#include "fixture.h"
#include "folder_check.h"
#include "platform.h"

#if defined(_WIN32)
#include <direct.h>
#define chdir _chdir
#else
#include <unistd.h>
#endif

namespace {

TEST(SplitCommandLine, FollowsTheRuleOfTheRawCommandLine) {
    using Args = std::vector<Text>;
    struct Case {
        const char* line;
        Args expected;
    };
    const Case cases[] = {
        {"prog.exe", {}},
        {"prog.exe ", {}},
        {"\"C:\\my prog\\p.exe\"", {}},
        {"prog.exe D:\\data", {"D:\\data"}},
        {"prog.exe D:\\data more args", {"D:\\data", "more", "args"}},
        {"prog.exe D:\\my data", {"D:\\my", "data"}},
        {"prog.exe \"D:\\my data\"", {"D:\\my data"}},
        {"\"C:\\p.exe\" \"D:\\my data\" x", {"D:\\my data", "x"}},
        {"\"C:\\p.exe\"D:\\x", {"D:\\x"}},            // no space after the quoted path
        {"prog.exe \"D:\\data\\\"", {"D:\\data\\"}},  // no escapes: the backslash stays
        {"prog.exe \"\"", {""}},                      // two quotes: an empty element
        {"prog.exe \"\"\"\"", {"", ""}},
        {"prog.exe \"", {""}},                // a lone quote
        {"prog.exe \"abc", {"abc"}},          // runs to the end of the line
        {"prog.exe \"a\"b", {"a", "b"}},      // a quoted token ends at its quote
        {"prog.exe a\"b c\"", {"a", "b c"}},  // a quote begins a new token
        {"prog.exe \t a\x01"
         "b",
         {"a", "b"}},  // every byte up to 0x20 separates
        {"prog.exe \xD6\xD0 x", {"\xD6\xD0", "x"}},
        {"prog.exe a\x81\"b\"", {"a\x81\"b", ""}},  // 0x81 takes a quote; the last one opens ""
        {"prog.exe x ab\x81", {"x", "ab"}},         // a last lead byte is dropped
        {"prog.exe \"ab\x81", {"ab"}},
        {"prog.exe \xB0 y z", {"\xB0 y", "z"}},  // 0xB0 takes the space into the token
    };
    for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.expected) << c.line;
}

class FolderCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        tree.Folder("Data");
        tree.Folder("Data/sub");
        tree.File("Data/file.txt", "x");
        tree.Folder(".hidden");
        tree.MakeHidden(".hidden");
        tree.Folder(chinese);
    }
    std::string Root(const std::string& rest) const { return tree.Root() + NativeRelative(rest); }
    const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87\xE7\x9B\xAE";  // 中文目
    TempTree tree;
};

TEST_F(FolderCheck, TakesExactlyTheFoldersTheParentLists) {
    const std::string sep = kPathSeparator;
    struct Case {
        std::string path;
        bool expected;
    };
    const Case cases[] = {
        {Root("Data"), true},
        {Root("Data/sub"), true},
        {Root("data"), false},  // the last component is compared byte for byte
        {Root("Data/file.txt"), false},
        {Root("Data/"), false},  // a trailing separator: the last component is empty
        {Root("Data/."), true},
        {Root("Data/.."), true},
        {Root("missing/sub"), false},
        {Root("Data/su*"), false},
        {Root(".hidden"), true},
        {Root(chinese), true},
        {Root("Data") + "\r\n" + Root("Data") + "\r\n", false},  // two dropped lines
        {"", false},
#if defined(_WIN32)
        {"C:\\", false},  // a drive root has no parent to list it
#else
        {"/", false},
        {Root("Data/sub/"), false},
#endif
    };
    for (const Case& c : cases) EXPECT_EQ(IsExistingFolder(c.path), c.expected) << c.path;
#if defined(_WIN32)
    // "/" is no separator to the check.
    std::string slashed = Root("Data/sub");
    for (char& ch : slashed) {
        if (ch == '\\') ch = '/';
    }
    EXPECT_FALSE(IsExistingFolder(slashed));
    // The part before the last component goes to the file system, which ignores case there.
    std::string upper = Root("Data/sub");
    upper.replace(upper.size() - 8, 4, "DATA");
    EXPECT_TRUE(IsExistingFolder(upper)) << upper;
#endif
}

TEST_F(FolderCheck, APathWithoutSeparatorIsLookedUpInTheCurrentFolder) {
    ASSERT_EQ(chdir(tree.Root().c_str()), 0);
    EXPECT_TRUE(IsExistingFolder("Data"));
    EXPECT_FALSE(IsExistingFolder("data"));
    EXPECT_TRUE(IsExistingFolder(chinese));
    EXPECT_TRUE(IsExistingFolder(NativeRelative("Data/sub")));
    ASSERT_EQ(chdir(".."), 0);
}

}  // namespace
