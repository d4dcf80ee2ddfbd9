// The recursive walk of a replacement run.
#include "walker.h"

#include <set>
#include <vector>

#include "platform.h"
#include "run_state.h"

namespace {

struct Walk {
    Bytes find;
    Bytes replacement;
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
    FileContent content;
    FileIdentity identity;
    if (!ReadFileForRewrite(path, content, identity)) return;
    if (identity.valid && walk.filesTreated.count(identity)) return;

    Bytes result;
    bool replaced;
    try {
        replaced = ReplaceAllBytesInto(content.bytes, walk.find, walk.replacement, result);
    } catch (const std::exception&) {
        return;  // no memory for the result: the file stays as it is
    }
    FileIdentity written;
    bool ok;
    if (replaced) {
        content = FileContent();  // the old content is not needed any more: free it first
        ok = WriteWholeFile(path, result, WriteKind::NewContent, &written);
    } else {
        ok = WriteWholeFile(path, content.bytes, WriteKind::SameContent, &written);
    }
    if (ok && replaced) runState.filesReplaced += 1;
    if (identity.valid) walk.filesTreated.insert(identity);
    if (written.valid) walk.filesTreated.insert(written);
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

bool ReplaceInFolder(const Text& pathPattern, const Text& find, const Text& replacement,
                     bool recurse) {
    const Text path = NormalizeSeparators(pathPattern);
    const std::size_t folderLength = FolderPartLength(path);
    Walk walk;
    walk.find = TextToBytes(find);
    walk.replacement = TextToBytes(replacement);
    return WalkFolder(path.substr(0, folderLength), path.substr(folderLength), recurse, walk);
}
