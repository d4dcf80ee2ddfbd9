// The real brennic-cli binary on fixture trees: files, summary line, exit statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fixture.h"
#include "platform.h"
#include "run_state.h"

#if defined(_WIN32)
#define popen _popen
#define pclose _pclose
#endif

namespace {

std::string CliPath() {
#if defined(_WIN32)
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, FolderPartLength(path)) + "brennic-cli.exe";
#else
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    return path.substr(0, FolderPartLength(path)) + "brennic-cli";
#endif
}

// What the program prints of a text for the user: the system's narrow bytes (GBK under code
// page 936, UTF-8 on Linux).
std::string Printed(const Text& utf8) {
    return NarrowFromUtf8(utf8.c_str());
}

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

// The tree's folder without its final separator: the Windows C runtime reads \" inside a
// quoted argument as an escaped quote.
std::string FolderArgument(const TempTree& tree) {
    const std::string root = tree.Root();
    return Quote(root.substr(0, root.size() - 1));
}

struct Outcome {
    int status;
    std::string out;
};

Outcome RunCli(const std::string& arguments) {
    std::string command = Quote(CliPath()) + " " + arguments + " 2>" +
#if defined(_WIN32)
                          "nul";
    command = "\"" + command + "\"";  // cmd strips one pair of outer quotes
#else
                          "/dev/null";
#endif
    FILE* pipe = popen(command.c_str(), "r");
    Outcome outcome{-1, ""};
    if (!pipe) return outcome;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.out.append(buffer, got);
    const int status = pclose(pipe);
#if defined(_WIN32)
    outcome.status = status;
#else
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return outcome;
}

std::string LastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

TEST(Cli, ReplacesInATreeAndEndsWithTheSummaryLine) {
    TempTree tree;
    tree.File("a.txt", "old old");
    tree.Folder("s");
    tree.File("s/b.txt", "old");
    tree.File("s/c.htm", "old");
    const Outcome o = RunCli(FolderArgument(tree) + " *.txt old new");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(LastLine(o.out), Printed(BuildSummaryText(2, 2, 3)));
    EXPECT_NE(o.out.find(Printed(FinishedStatusText())), std::string::npos);
    EXPECT_EQ(tree.Read("a.txt"), "new new");
    EXPECT_EQ(tree.Read("s/b.txt"), "new");
    EXPECT_EQ(tree.Read("s/c.htm"), "old");
}

TEST(Cli, NoSubfoldersTreatsOnlyTheFolderItself) {
    TempTree tree;
    tree.File("a.txt", "old");
    tree.Folder("s");
    tree.File("s/b.txt", "old");
    const Outcome o = RunCli("--no-subfolders " + FolderArgument(tree) + " *.txt old new");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(LastLine(o.out), Printed(BuildSummaryText(1, 1, 1)));
    EXPECT_EQ(tree.Read("s/b.txt"), "old");
}

TEST(Cli, TextsWithSpacesAndChineseBytes) {
    TempTree tree;
    const std::string oldText = NarrowFromUtf8("\xE6\x97\xA7 text");  // 旧 text
    const std::string newText = NarrowFromUtf8("\xE6\x96\xB0");       // 新
    tree.File("a.txt", "<" + oldText + ">");
    const Outcome o =
        RunCli(FolderArgument(tree) + " *.txt " + Quote(oldText) + " " + Quote(newText));
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(tree.Read("a.txt"), "<" + newText + ">");
}

TEST(Cli, WrongArgumentsExitWithStatusTwoAndTouchNothing) {
    TempTree tree;
    tree.File("a.txt", "old");
    const std::string folder = FolderArgument(tree);
    for (const std::string& arguments : {folder + " *.txt old", folder + " *.txt old new extra",
                                         "--bogus " + folder + " *.txt old new"}) {
        EXPECT_EQ(RunCli(arguments).status, 2) << arguments;
    }
    EXPECT_EQ(tree.Read("a.txt"), "old");
    const Outcome help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("FOLDER PATTERN FIND REPLACE"), std::string::npos);
}

}  // namespace
