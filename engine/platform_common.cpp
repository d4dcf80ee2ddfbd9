// The parts of the platform layer that are the same on every OS: the entry filter of the
// folder search, the pump hook and the abort guard around writes.
#include <atomic>
#include <utility>

#include "platform_internal.h"

namespace {

bool Passes(const FolderEntry& entry, int filter) {
    return filter == kFolderAttribute ? entry.isFolder : !entry.isFolder;
}

std::function<void()> pumpHook;
bool flushBeforeReplace = false;

// Dekker-style pair: the aborting side sets abortCode then reads writing; the writer sets
// writing then reads abortCode. With sequentially consistent atomics at least one side sees
// the other, so the process never ends between the start and the end of a write.
std::atomic<int> writing{0};
std::atomic<int> abortCode{-1};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

}  // namespace

bool FindNextEntry(const Text& pathPattern, int filter, SearchState& state, FolderEntry& entry) {
    bool found;
    if (!pathPattern.empty()) {
        CloseSearch(state);
        const std::size_t folderLength = FolderPartLength(pathPattern);
        found = folderLength < pathPattern.size() && PlatformOpenSearch(pathPattern, state, entry);
    } else {
        found = state.open && PlatformNextEntry(state, entry);
    }
    while (found && !Passes(entry, filter)) found = PlatformNextEntry(state, entry);
    if (!found) CloseSearch(state);
    return found;
}

Text FindEntry(const Text& pathPattern, int filter, SearchState& state) {
    FolderEntry entry;
    return FindNextEntry(pathPattern, filter, state, entry) ? std::move(entry.name) : Text();
}

void CloseSearch(SearchState& state) {
    state.open.reset();
}

Bytes ReadWholeFile(const Text& path) {
    FileContent content;
    FileIdentity identity;
    if (!ReadFileForRewrite(path, content, identity)) return Bytes();
    return content.mapping ? Bytes(content.bytes) : std::move(content.owned);
}

bool WriteWholeFile(const Text& path, std::string_view bytes, WriteKind kind,
                    FileIdentity* written) {
    if (path.empty()) return false;
    return kind == WriteKind::SameContent ? PlatformOverwriteInPlace(path, bytes, written)
                                          : PlatformReplaceViaTemporary(path, bytes, written);
}

void SetFlushBeforeReplace(bool flush) {
    flushBeforeReplace = flush;
}
bool FlushBeforeReplace() {
    return flushBeforeReplace;
}

void PumpEvents() {
    PlatformPumpMessages();
    if (pumpHook) pumpHook();
}

void SetPumpHook(std::function<void()> hook) {
    pumpHook = std::move(hook);
}

void AbortBetweenWrites(int exitCode) {
    abortCode.store(exitCode);
    if (writing.load() == 0) PlatformExitNow(exitCode);
}

WriteSection::WriteSection() {
    writing.store(1);
    const int code = abortCode.load();
    if (code >= 0) PlatformExitNow(code);
}

WriteSection::~WriteSection() {
    writing.store(0);
    const int code = abortCode.load();
    if (code >= 0) PlatformExitNow(code);
}
