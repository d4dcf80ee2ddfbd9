// The folder search: one table of names, patterns and expected matches that must hold for the
// POSIX layer and for the real FindFirstFileA under Wine alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fixture.h"
#include "platform.h"

namespace {

std::vector<std::string> Search(const std::string& pathPattern, int filter) {
    std::vector<std::string> names;
    SearchState search;
    for (Text name = FindEntry(pathPattern, filter, search); !name.empty();
         name = FindEntry(Text(), filter, search)) {
        names.push_back(name);
    }
    EXPECT_FALSE(search.open) << "a search that ran out is closed";
    std::sort(names.begin(), names.end());
    return names;
}

class FolderSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a.txt", "B.TXT", "d.htm", "c.html", "noext", "e.txt.bak", "ab.c",
                                 "\xE4\xB8\xAD\xE6\x96\x87.txt"}) {
            tree.File(Name(name), "x");
        }
        tree.Folder("sub.txt");
        tree.Folder(Name("\xE7\x9B\xAE\xE5\xBD\x95"));
    }
    // Names are UTF-8 on both platforms.
    static std::string Name(const char* utf8) { return utf8; }

    TempTree tree;
};

TEST_F(FolderSearch, PatternsMatchAsTheWindowsFolderSearchDoes) {
    const std::string chinese = Name("\xE4\xB8\xAD\xE6\x96\x87.txt");
    struct Case {
        const char* pattern;
        std::vector<std::string> expected;
    };
    const std::vector<std::string> allFiles = [&] {
        std::vector<std::string> all = {"a.txt", "B.TXT",     "d.htm", "c.html",
                                        "noext", "e.txt.bak", "ab.c",  chinese};
        std::sort(all.begin(), all.end());
        return all;
    }();
    const Case cases[] = {
        {"*.txt", {"B.TXT", "a.txt", chinese}},
        {"*.TXT", {"B.TXT", "a.txt", chinese}},
        {"*.htm", {"d.htm"}},
        {"*.html", {"c.html"}},
        {"*.*", allFiles},
        {"*", allFiles},
        {"?.txt", {"B.TXT", "a.txt"}},
        {"??.txt", {chinese}},  // "?" is one character, also a double-byte one
        {"A.TXT", {"a.txt"}},
        {"*.t?t", {"B.TXT", "a.txt", chinese}},
        {"*.bak", {"e.txt.bak"}},
        {"a*", {"a.txt", "ab.c"}},
        {"x*", {}},
        {"sub.txt", {}},  // a folder never passes the file filter
    };
    for (const Case& c : cases) {
        std::vector<std::string> expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Search(tree.Root() + c.pattern, 0), expected) << c.pattern;
    }
}

TEST_F(FolderSearch, FolderFilterListsDotEntriesAndEveryFolder) {
    std::vector<std::string> expected = {".", "..", "sub.txt", Name("\xE7\x9B\xAE\xE5\xBD\x95")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Search(tree.Root() + "*.*", kFolderAttribute), expected);
}

TEST_F(FolderSearch, SearchesThatFindNothing) {
    SearchState search;
    EXPECT_EQ(FindEntry(tree.Root(), 0, search), "") << "empty last component";
    EXPECT_EQ(FindEntry(tree.Path("missing/*.*"), 0, search), "");
    EXPECT_FALSE(search.open);
    EXPECT_EQ(FindEntry(Text(), 0, search), "") << "continuing with no open search";
}

TEST_F(FolderSearch, HiddenFilesAreListed) {
    tree.File("hidden.txt", "x");
    tree.MakeHidden("hidden.txt");
    const std::vector<std::string> found = Search(tree.Root() + "h*.txt", 0);
    EXPECT_EQ(found, std::vector<std::string>{"hidden.txt"});
}

TEST_F(FolderSearch, ANewSearchInTheSameStateReplacesTheOldOne) {
    SearchState search;
    EXPECT_FALSE(FindEntry(tree.Root() + "*.*", 0, search).empty());
    EXPECT_TRUE(search.open);
    EXPECT_EQ(FindEntry(tree.Root() + "d.*", 0, search), "d.htm");
    EXPECT_EQ(FindEntry(Text(), 0, search), "");
    CloseSearch(search);
    EXPECT_FALSE(search.open);
}

}  // namespace
