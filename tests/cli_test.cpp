// The real brennic-cli binary on fixture trees: files, summary line, exit statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

// Runs the program; its standard error goes to errors when asked for.
Outcome RunCli(const std::string& arguments, std::string* errors = nullptr) {
    static const TempTree logs;  // outside every tree the program walks
    const std::string errorFile = logs.Path("stderr.txt");
#if defined(_WIN32)
    const std::string discard = "nul";
#else
    const std::string discard = "/dev/null";
#endif
    std::string command =
        Quote(CliPath()) + " " + arguments + " 2>" + (errors ? Quote(errorFile) : discard);
#if defined(_WIN32)
    command = "\"" + command + "\"";  // cmd strips one pair of outer quotes
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
    if (errors) *errors = logs.Read("stderr.txt");
    return outcome;
}

// A file's last-write time, to the resolution the file system keeps.
std::int64_t ModifiedTime(const TempTree& tree, const std::string& relative) {
#if defined(_WIN32)
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(tree.Wide(relative).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
#else
    struct stat info;
    if (stat(tree.Path(relative).c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
#endif
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
    const Outcome o = RunCli(FolderArgument(tree) + " \"*.txt\" old new");
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
    const Outcome o = RunCli("--no-subfolders " + FolderArgument(tree) + " \"*.txt\" old new");
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
        RunCli(FolderArgument(tree) + " \"*.txt\" " + Quote(oldText) + " " + Quote(newText));
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(tree.Read("a.txt"), "<" + newText + ">");
}

TEST(Cli, ADryRunTouchesNothingAndPrintsTheSummaryOfTheRealRun) {
    TempTree tree;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.txt", "old old"}, {"plain.txt", "nothing"}, {"ro.txt", "old"}, {"s/b.txt", "old"}};
    tree.Folder("s");
    for (const auto& file : files) tree.File(file.first, file.second);
    tree.MakeReadOnly("ro.txt");
    std::vector<std::int64_t> times;
    for (const auto& file : files) times.push_back(ModifiedTime(tree, file.first));
#if !defined(_WIN32)
    usleep(20000);  // so that a write would show in the time stamps
#else
    Sleep(20);
#endif

    std::string errors;
    const Outcome dry = RunCli("-n " + FolderArgument(tree) + " \"*.txt\" old new", &errors);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(tree.Read(files[i].first), files[i].second) << files[i].first;
        EXPECT_EQ(ModifiedTime(tree, files[i].first), times[i]) << files[i].first;
    }
    EXPECT_EQ(tree.EntryCount(""), 3) << "no temporary file";
    EXPECT_NE(errors.find("dry run"), std::string::npos) << errors;
    EXPECT_EQ(dry.status, 3) << "the read-only file holding the text would be left as it is";

    const Outcome run = RunCli(FolderArgument(tree) + " \"*.txt\" old new");
    EXPECT_EQ(LastLine(dry.out), LastLine(run.out));
    EXPECT_EQ(LastLine(run.out), Printed(BuildSummaryText(3, 2, 4)));
    EXPECT_EQ(tree.Read("a.txt"), "new new");
}

TEST(Cli, FilesLeftAsTheyWereAreNamedOnStandardErrorAndTheStatusIsThree) {
    TempTree tree;
    tree.File("a.txt", "old");
    tree.File("ro.txt", "old old");
    tree.MakeReadOnly("ro.txt");
    tree.File("clean.txt", "nothing to do");
    std::string errors;
    Outcome o = RunCli(FolderArgument(tree) + " \"*.txt\" old new", &errors);
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(LastLine(o.out), Printed(BuildSummaryText(2, 1, 3)));
    EXPECT_NE(errors.find(Printed(tree.Path("ro.txt")) + ": read-only"), std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("a.txt"), std::string::npos) << "only the files left as they were";

    o = RunCli("--quiet " + FolderArgument(tree) + " \"*.txt\" old new", &errors);
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(errors.find("ro.txt"), std::string::npos) << errors;

    // Without the read-only file the run is complete again.
    TempTree clean;
    clean.File("a.txt", "old");
    clean.File("b.txt", "nothing");
    EXPECT_EQ(RunCli(FolderArgument(clean) + " \"*.txt\" old new").status, 0);
}

#if defined(_WIN32)
// What Explorer's Properties show of a program.
std::wstring VersionValue(const std::string& program, const wchar_t* name) {
    const std::wstring path = WideFromUtf8(program);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return L"<no version resource>";
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return L"<unreadable>";
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return L"<missing>";
    }
    return std::wstring(value, length > 0 ? length - 1 : 0);
}

TEST(Release, BothProgramsCarryAVersionResource) {
    const std::string cli = CliPath();
    const std::string window = cli.substr(0, FolderPartLength(cli)) + "brennic.exe";
    for (const std::string& program : {cli, window}) {
        EXPECT_EQ(VersionValue(program, L"ProductName"), L"Brennic") << program;
        EXPECT_EQ(VersionValue(program, L"FileVersion"), WideFromUtf8(BRENNIC_VERSION)) << program;
        EXPECT_NE(VersionValue(program, L"FileDescription").find(L"批量替换"), std::wstring::npos)
            << program;
    }
}
#endif

TEST(Cli, WrongArgumentsExitWithStatusTwoAndTouchNothing) {
    TempTree tree;
    tree.File("a.txt", "old");
    const std::string folder = FolderArgument(tree);
    for (const std::string& arguments :
         {folder + " \"*.txt\" old", folder + " \"*.txt\" old new extra",
          "--bogus " + folder + " \"*.txt\" old new"}) {
        EXPECT_EQ(RunCli(arguments).status, 2) << arguments;
    }
    EXPECT_EQ(tree.Read("a.txt"), "old");
    const Outcome help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("FOLDER PATTERN FIND REPLACE"), std::string::npos);
}

}  // namespace
