// The replacement run: start path, what it reports through RunDisplay, stops and restarts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture.h"
#include "platform.h"
#include "run_state.h"

namespace {

// Records every display call as one line.
struct Recorder {
    std::vector<std::string> calls;
    RunDisplay Display() {
        RunDisplay display;
        display.SetTickerPeriod = [this](int ms) {
            calls.push_back("ticker " + std::to_string(ms));
        };
        display.SetStatusText = [this](const Text& t) { calls.push_back("status " + t); };
        display.ShowSummary = [this](const Text& t, const Text& title) {
            calls.push_back("summary " + t + " | " + title);
        };
        return display;
    }
};

class Run : public ::testing::Test {
  protected:
    void TearDown() override { SetPumpHook(nullptr); }
    TempTree tree;
    Recorder recorder;
};

TEST(StartPath, FolderAndPatternAreJoinedByOneSeparator) {
    struct Case {
        const char* folder;
        const char* pattern;
        const char* expected;
    };
#if defined(_WIN32)
    const Case cases[] = {
        {"C:/data/sub", "*.txt", "C:\\data\\sub\\*.txt"},
        {"C:\\data\\", "*.txt", "C:\\data\\*.txt"},
        {"C:\\data", "*.txt", "C:\\data\\*.txt"},
        {"", "*.txt", "\\*.txt"},
        {"C:\\data", "", "C:\\data\\"},
        {"C:\\data", " *.txt ", "C:\\data\\ *.txt "},  // the pattern is used as typed
        // Paths are UTF-8: 乗 (GBK 81 5C) holds no separator byte and gets its separator.
        {u8"C:\\x乗", "*.txt", u8"C:\\x乗\\*.txt"},
        {u8"C:/한국어/😀", "*.txt", u8"C:\\한국어\\😀\\*.txt"},
    };
#else
    const Case cases[] = {
        {"/data/sub", "*.txt", "/data/sub/*.txt"},
        {"/data/", "*.txt", "/data/*.txt"},
        {"", "*.txt", "/*.txt"},
        {"/data", "", "/data/"},
        {"/a\\b", "*.txt", "/a\\b/*.txt"},  // a backslash is part of a POSIX name
    };
#endif
    for (const Case& c : cases) EXPECT_EQ(BuildStartPath(c.folder, c.pattern), c.expected);
}

TEST(Summary, TextsAreUtf8AndPrintAsTheSystemsNarrowBytes) {
    EXPECT_EQ(BuildSummaryText(3, 2, 7),
              u8"替换完毕! 共搜索到文件 3 个; 替换成功 2 个文件;替换的地方达 7 个!");
    EXPECT_EQ(BuildSummaryText(-1, 0, 3000000000LL),
              u8"替换完毕! 共搜索到文件 -1 个; 替换成功 0 个文件;替换的地方达 3000000000 个!");
    EXPECT_EQ(FinishedStatusText(), "\xE6\x9B\xBF\xE6\x8D\xA2\xE5\xAE\x8C\xE6\xAF\x95");
    EXPECT_EQ(SummaryTitle(), u8"替换完毕!");
#if defined(_WIN32)
    // An ANSI console under code page 936 gets GBK.
    EXPECT_EQ(NarrowFromUtf8(FinishedStatusText().c_str()), "\xCC\xE6\xBB\xBB\xCD\xEA\xB1\xCF");
#endif
}

TEST_F(Run, ACompleteRunReportsThroughTheDisplayInOrder) {
    tree.File("a.txt", "foo foo");
    tree.Folder("s");
    tree.File("s/b.txt", "nothing");
    const RunOutcome outcome =
        StartReplacement({tree.Root(), "*.txt", "foo", "bar", true}, recorder.Display());
    EXPECT_EQ(outcome, RunOutcome::Finished);
    const std::vector<std::string> expected = {
        "ticker 100", "ticker 0", "status " + FinishedStatusText(),
        "summary " + BuildSummaryText(1, 1, 2) + " | " + SummaryTitle()};
    EXPECT_EQ(recorder.calls, expected);
    EXPECT_EQ(tree.Read("a.txt"), "bar bar");
}

TEST_F(Run, AStopPendingAtTheStartLeavesTheTickerRunningAndShowsNothing) {
    tree.File("a.txt", "foo");
    SetPumpHook([] { RequestStop(); });
    EXPECT_EQ(StartReplacement({tree.Root(), "*.txt", "foo", "bar", true}, recorder.Display()),
              RunOutcome::StoppedAtStart);
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"ticker 100"});
    EXPECT_EQ(tree.Read("a.txt"), "foo");
}

TEST_F(Run, AStopRequestedBetweenRunsIsClearedByTheNextRun) {
    tree.File("a.txt", "foo");
    RequestStop();
    EXPECT_EQ(StartReplacement({tree.Root(), "*.txt", "foo", "bar", true}, recorder.Display()),
              RunOutcome::Finished);
    EXPECT_EQ(tree.Read("a.txt"), "bar");
}

TEST_F(Run, AStartDuringARunIsIgnoredAndKeepsItsCounts) {
    tree.File("a.txt", "foo");
    tree.Folder("s");
    tree.File("s/b.txt", "foo");
    std::vector<RunOutcome> nested;
    SetPumpHook([&] {
        EXPECT_TRUE(IsRunUnderway());
        nested.push_back(
            StartReplacement({tree.Root(), "*.txt", "bar", "baz", true}, RunDisplay()));
    });
    EXPECT_EQ(StartReplacement({tree.Root(), "*.txt", "foo", "bar", true}, recorder.Display()),
              RunOutcome::Finished);
    EXPECT_FALSE(IsRunUnderway());
    EXPECT_EQ(nested,
              (std::vector<RunOutcome>{RunOutcome::AlreadyRunning, RunOutcome::AlreadyRunning}));
    EXPECT_EQ(FilesReplaced(), 2);
    EXPECT_EQ(tree.Read("a.txt"), "bar");
}

TEST_F(Run, TheTickShowsTheCurrentFileWhichTheResetKeeps) {
    tree.File("a.txt", "x");
    StartReplacement({tree.Root(), "*.txt", "x", "y", true}, RunDisplay());
    ResetRunState();
    recorder.calls.clear();
    ProgressTick(recorder.Display());
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"status " + tree.Path("a.txt")});
    ReleaseRunState();
    recorder.calls.clear();
    ProgressTick(recorder.Display());
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"status "});
}

TEST(RunStateOps, StopResetAndCountersDoNotWrap) {
    RequestStop();
    EXPECT_EQ(runState.stopFlag, 3);
    runState.placesReplaced = 2147483647;
    ResetRunState();
    EXPECT_EQ(runState.stopFlag, 0);
    EXPECT_EQ(PlacesReplaced(), 0);
    runState.placesReplaced = 2147483647;
    ReplaceAllBytes(Bytes("aa"), "a", "b");
    EXPECT_EQ(PlacesReplaced(), 2147483649LL);
}

}  // namespace
