// The rewrite of one file.
#include "file_rewrite.h"

namespace {

// Receives the replaced stream of one file. The temporary file is created at the first match
// only, and the unchanged bytes in front of it are copied from the original then.
class TemporaryOutput : public ReplaceOutput {
  public:
    TemporaryOutput(SourceFile& source, bool allowed) : source_(source), allowed_(allowed) {}

    bool Begin(std::uint64_t prefixLength) override {
        if (!allowed_) return false;
        temporary_ = CreateTemporaryFor(source_);
        if (!temporary_ || !CopySourcePrefix(source_, *temporary_, prefixLength)) return Fail();
        return true;
    }
    bool Write(std::string_view bytes) override {
        return WriteTemporary(*temporary_, bytes) || Fail();
    }

    bool failed() const { return failed_; }
    TemporaryHandle Take() { return std::move(temporary_); }

  private:
    bool Fail() {
        failed_ = true;
        temporary_.reset();  // removes it: nothing half-written stays behind
        return false;
    }

    SourceFile& source_;
    const bool allowed_;
    bool failed_ = false;
    TemporaryHandle temporary_;
};

}  // namespace

FileRewriter::FileRewriter(std::string_view find, std::string_view replacement, std::size_t chunk)
    : replacer_(find, replacement, chunk) {}

RewriteResult FileRewriter::Rewrite(SourceFile& source) {
    RewriteResult result;
    const std::uint64_t size = SourceSize(source);
    const FileProblem permission = RewritePermission(source);
    TemporaryOutput output(source, permission == FileProblem::None && !dryRun_);

    // Exactly the size the file had when it was opened is read: a file that grows meanwhile
    // is caught by the check before the swap, one that shrinks by a short read here.
    replacer_.Start();
    std::uint64_t offset = 0;
    for (;;) {
        const std::uint64_t left = size - offset;
        const std::size_t want = left < replacer_.ReadCapacity() ? static_cast<std::size_t>(left)
                                                                 : replacer_.ReadCapacity();
        std::size_t got = 0;
        if (want > 0 && !ReadSource(source, offset, replacer_.ReadSpace(), want, got)) {
            result.problem = FileProblem::Unreadable;
            return result;
        }
        if (got < want) {
            result.problem = FileProblem::Changed;
            return result;
        }
        offset += got;
        replacer_.Consume(got, offset == size, output);
        if (offset == size) break;
    }
    result.read = true;
    result.places = replacer_.places();

    if (result.places == 0) {
        // Unchanged content is still written back, as every treated file is; the bytes still
        // at hand are enough for that, whatever the file's size.
        if (!dryRun_ && permission == FileProblem::None) {
            RunBeforeReplaceHook(source);
            OverwriteSourceInPlace(source, replacer_.lastWindowOffset(), replacer_.lastWindow());
        }
        return result;
    }
    if (permission != FileProblem::None) {
        result.problem = permission;
    } else if (dryRun_) {
        result.replaced = true;
    } else if (output.failed()) {
        result.problem = FileProblem::WriteFailed;
    } else {
        RunBeforeReplaceHook(source);
        result.problem = SwapIntoPlace(source, output.Take(), &result.nowInPlace);
        result.replaced = result.problem == FileProblem::None;
    }
    return result;
}
