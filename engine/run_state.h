// The process-wide run state and the replacement run that the front ends start.
//
// Everything here runs on one thread: the window's GUI thread, or the command line's main
// thread. Other handlers only run inside PumpEvents at folder entries, so no field needs
// atomic access.
#pragma once

#include <cstdint>
#include <functional>

#include "text.h"

// The value of stopFlag that means "stop requested"; nothing else counts as a stop.
constexpr std::int32_t kStopRequested = 3;

struct RunState {
    std::int32_t stopFlag = 0;
    // 64-bit so that no count ever wraps into a negative number.
    std::int64_t filesMatched = 0;
    std::int64_t placesReplaced = 0;
    std::int64_t filesReplaced = 0;
    Text currentFile;  // last file taken up by the walker, across runs; empty until then
};

extern RunState runState;

// What a run needs of its front end.
struct RunDisplay {
    // > 0 starts periodic ProgressTick calls at that period, 0 stops them.
    std::function<void(int milliseconds)> SetTickerPeriod;
    std::function<void(const Text& text)> SetStatusText;
    std::function<void(const Text& text, const Text& title)> ShowSummary;
};

enum class RunOutcome {
    Finished,        // the walk ran to its end (also after a stop noticed in a subfolder)
    StoppedAtStart,  // a stop was pending at the start folder's entry: nothing was done
    AlreadyRunning,  // a run was under way; this start was ignored
};

struct RunInputs {
    Text folder;
    Text pattern;
    Text find;
    Text replacement;
    bool includeSubfolders = true;
};

// Builds the start path, resets the state, walks, and reports through the display. A start
// while a run is under way (a click dispatched by a pump inside the run) is ignored.
RunOutcome StartReplacement(const RunInputs& inputs, const RunDisplay& display);
bool IsRunUnderway();

// The folder text joined with the pattern, with one separator between them.
Text BuildStartPath(const Text& folder, const Text& pattern);
// "替换完毕! 共搜索到文件 3 个; 替换成功 2 个文件;替换的地方达 7 个!". Texts for the user are
// UTF-8; a front end that prints to an ANSI console converts them (NarrowFromUtf8).
Text BuildSummaryText(std::int64_t filesMatched, std::int64_t filesReplaced,
                      std::int64_t placesReplaced);
Text FinishedStatusText();  // "替换完毕"
Text SummaryTitle();        // "替换完毕!"

void RequestStop();
void ResetRunState();
std::int64_t FilesMatched();
std::int64_t PlacesReplaced();
std::int64_t FilesReplaced();
bool IsStopRequested();
void ProgressTick(const RunDisplay& display);
void ReleaseRunState();
