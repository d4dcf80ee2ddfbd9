// Replace-all over a stream of chunks.
#include "stream_replace.h"

#include <cstring>

namespace {

// Unchanged stretches at least this long skip the output buffer and go out straight from the
// window: no copy for the long runs between sparse matches.
constexpr std::size_t kDirectWrite = 64u << 10;

}  // namespace

StreamReplacer::StreamReplacer(std::string_view find, std::string_view replacement,
                               std::size_t chunk)
    : find_(find),
      replacement_(replacement),
      finder_(find_),
      chunk_(chunk > 0 ? chunk : 1),
      hold_(find_.empty() ? 0 : find_.size() - 1) {}

void StreamReplacer::Start() {
    carried_ = 0;
    outUsed_ = 0;
    windowOffset_ = 0;
    places_ = 0;
    writing_ = false;
    lastWindow_ = std::string_view();
    lastWindowOffset_ = 0;
}

char* StreamReplacer::ReadSpace() {
    // Allocated on first use and never zero-filled: a run over small files needs no more.
    if (!window_) window_.reset(new char[hold_ + chunk_]);
    return window_.get() + carried_;
}

void StreamReplacer::Consume(std::size_t got, bool last, ReplaceOutput& output) {
    char* window = window_.get();
    const std::size_t length = carried_ + got;
    const std::string_view haystack(window, length);
    // A replacement no longer than the find text is built in the window itself, behind the
    // search: it never overtakes bytes not yet searched, and the window goes out as it is.
    const bool inPlace = replacement_.size() <= find_.size();
    std::size_t done = 0;   // bytes of the window searched and dealt with
    std::size_t built = 0;  // in place: the output built at the window's front
    for (std::size_t at = finder_.Find(haystack, 0); at != std::string_view::npos;
         at = finder_.Find(haystack, done)) {
        if (places_ == 0) {
            // The bytes in front of this window are gone from memory: the output takes them
            // from the source. Those in the window follow as usual.
            writing_ = output.Begin(windowOffset_);
            if (writing_ && !inPlace && !out_) out_.reset(new char[chunk_]);
        }
        ++places_;
        if (writing_ && inPlace) {
            if (built != done) std::memmove(window + built, window + done, at - done);
            built += at - done;
            std::memcpy(window + built, replacement_.data(), replacement_.size());
            built += replacement_.size();
        } else if (writing_) {
            Emit(window + done, at - done, output);
            Emit(replacement_.data(), replacement_.size(), output);
        }
        done = at + find_.size();
    }
    // The last hold_ bytes may begin a match that the next chunk completes: carry them.
    std::size_t settled = length;
    if (!last) settled = length - (hold_ < length - done ? hold_ : length - done);
    if (places_ > 0 && writing_ && inPlace) {
        if (built != done) std::memmove(window + built, window + done, settled - done);
        built += settled - done;
        if (built > 0) writing_ = output.Write(std::string_view(window, built));
    } else if (places_ > 0 && writing_) {
        Emit(window + done, settled - done, output);
        if (last) Flush(output);
    }
    if (last) {
        lastWindow_ = haystack;  // stays in place: nothing is carried after the last chunk
        lastWindowOffset_ = windowOffset_;
    }
    std::memmove(window, window + settled, length - settled);
    carried_ = length - settled;
    windowOffset_ += settled;
}

void StreamReplacer::Emit(const char* bytes, std::size_t length, ReplaceOutput& output) {
    if (!writing_ || length == 0) return;
    if (length >= kDirectWrite || length > chunk_ - outUsed_) {
        Flush(output);
        if (!writing_) return;
        if (length >= kDirectWrite || length > chunk_) {
            writing_ = output.Write(std::string_view(bytes, length));
            return;
        }
    }
    std::memcpy(out_.get() + outUsed_, bytes, length);
    outUsed_ += length;
}

void StreamReplacer::Flush(ReplaceOutput& output) {
    if (outUsed_ > 0 && writing_) writing_ = output.Write(std::string_view(out_.get(), outUsed_));
    outUsed_ = 0;
}
