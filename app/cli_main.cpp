// brennic-cli: the replacement run from the command line, on the same engine as the window.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "run_state.h"
#include "walker.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#define BRENNIC_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define BRENNIC_ISATTY(fd) isatty(fd)
#endif

namespace {

constexpr int kExitFinished = 0;
constexpr int kExitStopped = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIncomplete = 3;
constexpr int kExitAborted = 130;

const char kUsage[] =
    "Usage: brennic-cli [options] FOLDER PATTERN FIND REPLACE\n"
    "\n"
    "Replaces every occurrence of the bytes of FIND by the bytes of REPLACE in each file of\n"
    "FOLDER and its subfolders whose name matches PATTERN (wildcards * and ?, \"*.*\" for\n"
    "every file), writes the files back and prints a summary of three counts.\n"
    "\n"
    "Options:\n"
    "  -n, --dry-run    read and count as a run would, write nothing; the summary is the one\n"
    "                   the run would print\n"
    "  -q, --quiet      do not name the files that were left as they were\n"
    "  --no-subfolders  treat only FOLDER's own files\n"
    "  --flush          force every rewritten file to the disk before it replaces the old one\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "  --               end of options\n"
    "\n"
    "Each matching file that could not be read, and each file holding FIND that could not be\n"
    "rewritten, is named on standard error with the reason. The last line on standard output\n"
    "is the summary.\n"
    "\n"
    "Ctrl+C stops at the next folder and prints the counts reached; a second Ctrl+C ends at\n"
    "once, between two files, never inside a write (during a large file, once it is done).\n"
    "\n"
    "Exit status: 0 the run went to its end and every file holding FIND was rewritten;\n"
    "3 it went to its end, but a matching file could not be read or a file holding FIND could\n"
    "not be rewritten (named on standard error); 1 it was stopped; 2 wrong arguments;\n"
    "130 ended by a second Ctrl+C.\n";

volatile std::sig_atomic_t interrupts = 0;
bool stopDelivered = false;
bool progressOnTerminal = false;
std::size_t progressWidth = 0;
int tickerPeriod = 0;
std::chrono::steady_clock::time_point lastTick;
RunDisplay display;
bool quiet = false;
std::int64_t filesLeftAsTheyWere = 0;  // files that make the exit status 3

void OnInterrupt() {
    interrupts = interrupts + 1;
    if (interrupts >= 2) AbortBetweenWrites(kExitAborted);
}

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    OnInterrupt();
    return TRUE;
}
void InstallInterruptHandler() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
#else
void OnSignal(int) {
    OnInterrupt();
}
void InstallInterruptHandler() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}
#endif

void ClearProgress() {
    if (progressWidth == 0) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(progressWidth), "");
    std::fflush(stderr);
    progressWidth = 0;
}

void ShowProgress(const Text& text) {
    if (!progressOnTerminal) return;
    // One updating line: a long path is shown by its end, where the file name is.
    constexpr std::size_t kWidth = 78;
    // The counts so far, then the file in hand.
    const Text counts = "[" + std::to_string(FilesMatched()) + " files, " +
                        std::to_string(PlacesReplaced()) + " places] ";
    const Text narrow = counts + NarrowFromUtf8(text.c_str());
    std::string shown =
        narrow.size() > kWidth ? "..." + narrow.substr(narrow.size() - kWidth + 3) : narrow;
    const std::size_t width = shown.size();
    if (width < progressWidth) shown.append(progressWidth - width, ' ');
    std::fprintf(stderr, "\r%s", shown.c_str());
    std::fflush(stderr);
    progressWidth = shown.size();
}

// The pump of the command line: Ctrl+C becomes a stop request, and the ticker ticks.
void OnPump() {
    if (interrupts > 0 && !stopDelivered) {
        stopDelivered = true;
        RequestStop();
        ClearProgress();
        std::fputs("stopping at the next folder (Ctrl+C again ends at once)\n", stderr);
    }
    if (tickerPeriod > 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTick >= std::chrono::milliseconds(tickerPeriod)) {
            lastTick = now;
            ProgressTick(display);
        }
    }
}

// The folder and the pattern name files: on Windows they come from the wide command line, so
// any folder can be named, also one whose name the ANSI code page cannot hold. The find and
// replacement texts stay the ANSI bytes of argv: they are what the run matches.
std::vector<Text> PathArguments(int argc, char** argv) {
    std::vector<Text> arguments;
#if defined(_WIN32)
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        if (count == argc) {
            for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
        }
        LocalFree(wide);
    }
    if (arguments.empty()) {  // split differently: take the ANSI arguments as they are
        for (int i = 0; i < argc; ++i) arguments.push_back(Utf8FromNarrow(argv[i]));
    }
#else
    arguments.assign(argv, argv + argc);
#endif
    return arguments;
}

// Texts for the user are UTF-8; the console of a Windows program reads the ANSI code page.
void PrintLine(FILE* stream, const Text& utf8) {
    std::fprintf(stream, "%s\n", NarrowFromUtf8(utf8.c_str()).c_str());
}

// Why a file was left as it was, and whether that makes the run incomplete.
const char* ProblemText(FileProblem problem, bool& incomplete) {
    incomplete = true;
    switch (problem) {
        case FileProblem::ReadOnly:
            return "read-only";
        case FileProblem::InUse:
            return "in use by another program";
        case FileProblem::HardLinked:
            return "more than one hard link";
        case FileProblem::Changed:
            return "changed by another program during the run";
        case FileProblem::Unreadable:
            return "could not be read";
        case FileProblem::WriteFailed:
            return "could not be written (disk full, access denied, ...)";
        case FileProblem::Vanished:
            incomplete = false;
            return "gone before it could be read (or a link to nothing)";
        case FileProblem::NotAFile:
            incomplete = false;
            return "not a regular file";
        case FileProblem::None:
            break;
    }
    incomplete = false;
    return "";
}

void OnFileLeftAsItWas(const Text& path, FileProblem problem) {
    bool incomplete = false;
    const char* reason = ProblemText(problem, incomplete);
    if (incomplete) ++filesLeftAsTheyWere;
    if (quiet) return;
    ClearProgress();
    std::fprintf(stderr, "brennic-cli: %s: %s\n", NarrowFromUtf8(path.c_str()).c_str(), reason);
}

int Usage(const char* problem) {
    std::fprintf(stderr, "brennic-cli: %s\nTry 'brennic-cli --help'.\n", problem);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    RunInputs inputs;
    bool flush = false;
    bool dryRun = false;
    std::vector<int> operands;  // indexes into argv
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnded && (argument == "-n" || argument == "-q")) {
            (argument == "-n" ? dryRun : quiet) = true;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-' &&
                   argument[1] == '-') {
            if (argument == "--") {
                optionsEnded = true;
            } else if (argument == "--help") {
                std::fputs(kUsage, stdout);
                return kExitFinished;
            } else if (argument == "--version") {
                std::puts("brennic-cli " BRENNIC_VERSION);
                return kExitFinished;
            } else if (argument == "--no-subfolders") {
                inputs.includeSubfolders = false;
            } else if (argument == "--flush") {
                flush = true;
            } else if (argument == "--dry-run") {
                dryRun = true;
            } else if (argument == "--quiet") {
                quiet = true;
            } else {
                return Usage(("unknown option " + argument).c_str());
            }
        } else {
            operands.push_back(i);
        }
    }
    if (operands.size() < 4) return Usage("missing arguments: FOLDER PATTERN FIND REPLACE");
    if (operands.size() > 4) return Usage("too many arguments (quote texts that hold spaces)");
    const std::vector<Text> paths = PathArguments(argc, argv);
    inputs.folder = paths[static_cast<std::size_t>(operands[0])];
    inputs.pattern = paths[static_cast<std::size_t>(operands[1])];
    inputs.find = argv[operands[2]];
    inputs.replacement = argv[operands[3]];

    SetFlushBeforeReplace(flush);
    SetDryRun(dryRun);
    SetFileReport(OnFileLeftAsItWas);
    progressOnTerminal = BRENNIC_ISATTY(2) != 0;
    display.SetTickerPeriod = [](int milliseconds) {
        tickerPeriod = milliseconds > 0 ? milliseconds : 0;
        lastTick = std::chrono::steady_clock::now();
    };
    display.SetStatusText = [](const Text& text) {
        if (tickerPeriod > 0) {
            ShowProgress(text);
        } else {  // the ticker is off: this is the run's final status
            ClearProgress();
            PrintLine(stdout, text);
        }
    };
    display.ShowSummary = [](const Text& text, const Text&) {
        PrintLine(stdout, text);
        std::fflush(stdout);
    };
    InstallInterruptHandler();
    SetPumpHook(OnPump);

    const RunOutcome outcome = StartReplacement(inputs, display);
    ClearProgress();
    if (dryRun) std::fputs("dry run: nothing was written\n", stderr);
    if (outcome == RunOutcome::StoppedAtStart) {
        std::fputs("stopped before the first folder: nothing was changed\n", stderr);
        return kExitStopped;
    }
    if (IsStopRequested()) return kExitStopped;
    return filesLeftAsTheyWere > 0 ? kExitIncomplete : kExitFinished;
}
