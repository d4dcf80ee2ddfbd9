// The run state and the replacement run.
#include "run_state.h"

#include "platform.h"
#include "walker.h"

RunState runState;

namespace {
bool runUnderway = false;
}

void RequestStop() {
    runState.stopFlag = kStopRequested;
}

void ResetRunState() {
    runState.filesMatched = 0;
    runState.placesReplaced = 0;
    runState.filesReplaced = 0;
    runState.stopFlag = 0;
}

std::int64_t FilesMatched() {
    return runState.filesMatched;
}
std::int64_t PlacesReplaced() {
    return runState.placesReplaced;
}
std::int64_t FilesReplaced() {
    return runState.filesReplaced;
}
bool IsStopRequested() {
    return runState.stopFlag == kStopRequested;
}
bool IsRunUnderway() {
    return runUnderway;
}

void ProgressTick(const RunDisplay& display) {
    const Text shown = runState.currentFile;
    if (display.SetStatusText) display.SetStatusText(shown);
}

void ReleaseRunState() {
    runState.currentFile.clear();
    runState.currentFile.shrink_to_fit();
}

Text BuildStartPath(const Text& folder, const Text& pattern) {
    Text path = NormalizeSeparators(folder);
    // Look at the last character, not the last byte: on a double-byte code page a name may
    // end in a character whose second byte is 0x5C, which is no separator.
    if (!EndsWithSeparator(path)) path = TextJoin({path, kPathSeparator});
    return TextJoin({path, pattern});
}

Text FinishedStatusText() {
    return u8"替换完毕";
}
Text SummaryTitle() {
    return u8"替换完毕!";
}

Text BuildSummaryText(std::int64_t filesMatched, std::int64_t filesReplaced,
                      std::int64_t placesReplaced) {
    return TextJoin({u8"替换完毕! 共搜索到文件 ", IntToText(filesMatched), u8" 个; 替换成功 ",
                     IntToText(filesReplaced), u8" 个文件;替换的地方达 ", IntToText(placesReplaced),
                     u8" 个!"});
}

RunOutcome StartReplacement(const RunInputs& inputs, const RunDisplay& display) {
    if (runUnderway) return RunOutcome::AlreadyRunning;
    struct UnderwayMark {
        UnderwayMark() { runUnderway = true; }
        ~UnderwayMark() { runUnderway = false; }
        UnderwayMark(const UnderwayMark&) = delete;
        UnderwayMark& operator=(const UnderwayMark&) = delete;
    } mark;

    const Text startPath = BuildStartPath(inputs.folder, inputs.pattern);
    if (display.SetTickerPeriod) display.SetTickerPeriod(100);
    ResetRunState();
    if (!ReplaceInFolder(startPath, inputs.find, inputs.replacement, inputs.includeSubfolders)) {
        return RunOutcome::StoppedAtStart;
    }
    if (display.SetTickerPeriod) display.SetTickerPeriod(0);
    if (display.SetStatusText) display.SetStatusText(FinishedStatusText());
    if (display.ShowSummary) {
        display.ShowSummary(BuildSummaryText(FilesMatched(), FilesReplaced(), PlacesReplaced()),
                            SummaryTitle());
    }
    return RunOutcome::Finished;
}
