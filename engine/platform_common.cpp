// The parts of the platform layer that are the same on every OS: the entry filter of the
// folder search, whole-file read and write on top of the file services, the hooks and the
// abort guard around writes.
#include <atomic>
#include <utility>

#include "platform_internal.h"

namespace {

bool Passes(const FolderEntry& entry, int filter) {
    return filter == kFolderAttribute ? entry.isFolder : !entry.isFolder;
}

std::function<void()> pumpHook;
std::function<void(const Text&)> beforeReplaceHook;
bool flushBeforeReplace = false;

// Dekker-style pair: the aborting side sets abortCode then reads writing; the writer sets
// writing then reads abortCode. With sequentially consistent atomics at least one side sees
// the other, so the process never ends between the start and the end of a write.
std::atomic<int> writing{0};
std::atomic<int> abortCode{-1};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

}  // namespace

std::size_t CharacterLength(std::string_view text, std::size_t index) {
    const unsigned char lead = static_cast<unsigned char>(text[index]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = 3;
    } else if (lead >= 0xC0) {
        length = 2;
    }
    // Stop at a byte that does not continue the sequence, so broken UTF-8 still steps.
    std::size_t taken = 1;
    while (taken < length && index + taken < text.size() &&
           (static_cast<unsigned char>(text[index + taken]) & 0xC0) == 0x80) {
        ++taken;
    }
    return taken;
}

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
    FileProblem problem;
    SourceHandle source = path.empty() ? nullptr : OpenSource(path, problem);
    if (!source) return Bytes();
    Bytes content;
    try {
        content.resize(static_cast<std::size_t>(SourceSize(*source)));
    } catch (const std::exception&) {  // too large for memory
        return Bytes();
    }
    std::size_t got = 0;
    if (!ReadSource(*source, 0, &content[0], content.size(), got)) return Bytes();
    content.resize(got);  // the file shrank meanwhile: keep what came
    return content;
}

bool WriteWholeFile(const Text& path, std::string_view bytes) {
    if (path.empty()) return false;
    FileProblem problem;
    SourceHandle source = OpenSource(path, problem);
    if (!source) return problem == FileProblem::Vanished && CreateNewFile(path, bytes);
    if (RewritePermission(*source) != FileProblem::None) return false;
    TemporaryHandle temporary = CreateTemporaryFor(*source);
    if (!temporary || !WriteTemporary(*temporary, bytes)) return false;
    return SwapIntoPlace(*source, std::move(temporary), nullptr) == FileProblem::None;
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

void SetBeforeReplaceHook(std::function<void(const Text& target)> hook) {
    beforeReplaceHook = std::move(hook);
}

void RunBeforeReplaceHook(const SourceFile& source) {
    if (beforeReplaceHook) beforeReplaceHook(SourceTargetText(source));
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
