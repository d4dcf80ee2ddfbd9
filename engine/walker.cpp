// The recursive walk of a replacement run.
#include "walker.h"

#include <set>
#include <vector>

#include "file_rewrite.h"
#include "platform.h"
#include "run_state.h"

namespace {

bool dryRunSetting = false;
std::function<void(const Text&, FileProblem)> fileReport;

void Report(const Text& path, FileProblem problem) {
    if (fileReport && problem != FileProblem::None) fileReport(path, problem);
}

struct Walk {
    Walk(std::string_view find, std::string_view replacement) : rewriter(find, replacement) {
        rewriter.SetDryRun(dryRunSetting);
    }
    FileRewriter rewriter;
    std::set<FileIdentity> foldersEntered;
    std::set<FileIdentity> filesTreated;
};

std::vector<FolderEntry> ListFolder(const Text& pathPattern, int filter) {
    std::vector<FolderEntry> entries;
    SearchState search;
    FolderEntry entry;
    for (bool more = FindNextEntry(pathPattern, filter, search, entry); more;
         more = FindNextEntry(Text(), filter, search, entry)) {
        entries.push_back(std::move(entry));
    }
    return entries;
}

void TreatFile(const Text& path, Walk& walk) {
    runState.currentFile = path;
    FileProblem problem;
    SourceHandle source = OpenSource(path, problem);
    if (!source) {  // never read, so never written, and counted nowhere
        Report(path, problem);
        return;
    }
    if (!walk.filesTreated.insert(SourceIdentity(*source)).second) return;  // reached again

    const RewriteResult result = walk.rewriter.Rewrite(*source);
    if (!result.read || result.places > 0) Report(path, result.problem);
    if (!result.read) return;
    if (result.places > 0) {
        runState.filesMatched += 1;
        runState.placesReplaced += result.places;
    }
    if (result.replaced) runState.filesReplaced += 1;
    // A link met later must not lead to the new file as to an untreated one.
    if (result.nowInPlace.valid) walk.filesTreated.insert(result.nowInPlace);
}

bool WalkFolder(const Text& folder, const Text& pattern, bool recurse, Walk& walk) {
    PumpEvents();
    if (IsStopRequested()) return false;

    FileIdentity identity;
    if (FolderIdentityOf(folder, identity) && !walk.foldersEntered.insert(identity).second) {
        return true;  // reached again through another path
    }

    if (!pattern.empty()) {
        for (const FolderEntry& file : ListFolder(TextJoin({folder, pattern}), 0)) {
            TreatFile(TextJoin({folder, file.name}), walk);
        }
    }
    if (!recurse) return true;

    for (const FolderEntry& sub : ListFolder(TextJoin({folder, "*.*"}), kFolderAttribute)) {
        if (TextCompare(TextRight(sub.name, 1), ".") == 0) continue;  // ".", ".." and "name."
        if (sub.isLink) continue;
        WalkFolder(TextJoin({folder, sub.name, kPathSeparator}), pattern, true, walk);
    }
    return true;
}

}  // namespace

void SetDryRun(bool dryRun) {
    dryRunSetting = dryRun;
}

void SetFileReport(std::function<void(const Text& path, FileProblem problem)> report) {
    fileReport = std::move(report);
}

bool ReplaceInFolder(const Text& pathPattern, const Text& find, const Text& replacement,
                     bool recurse) {
    const Text path = NormalizeSeparators(pathPattern);
    const std::size_t folderLength = FolderPartLength(path);
    Walk walk(TextToBytes(find), TextToBytes(replacement));
    return WalkFolder(path.substr(0, folderLength), path.substr(folderLength), recurse, walk);
}
