// Replace-all over a stream of chunks, with memory bounded by two buffers whatever the length
// of the stream. Its output and its count of places equal those of ReplaceAllBytes on the
// whole stream: a match split by a chunk edge is found because the last find length - 1 bytes
// of each chunk are carried in front of the next one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "byte_finder.h"

// Where the replaced stream goes. Nothing is handed over before the first match: a stream
// without one produces no output at all. At the first match, the unchanged bytes that are no
// longer in the replacer's memory are announced by their length only, so that the receiver
// copies them from their source; all that follows comes through Write.
class ReplaceOutput {
  public:
    virtual ~ReplaceOutput() = default;
    // A match was found: the output begins with the stream's first prefixLength bytes, which
    // the receiver takes from the source. False: nothing more is wanted (the replacer goes on
    // counting without output).
    virtual bool Begin(std::uint64_t prefixLength) = 0;
    // The next piece of the replaced stream. False: as for Begin.
    virtual bool Write(std::string_view bytes) = 0;
};

class StreamReplacer {
  public:
    static constexpr std::size_t kDefaultChunk = 1u << 20;

    StreamReplacer(std::string_view find, std::string_view replacement,
                   std::size_t chunk = kDefaultChunk);
    StreamReplacer(const StreamReplacer&) = delete;
    StreamReplacer& operator=(const StreamReplacer&) = delete;

    // Begins a new stream (the buffers are kept for the next one).
    void Start();
    // Where the next bytes of the stream are to be read into, and how many fit (at least 1).
    char* ReadSpace();
    std::size_t ReadCapacity() const { return chunk_; }
    // got bytes were placed at ReadSpace(); last says that the stream ends with them.
    void Consume(std::size_t got, bool last, ReplaceOutput& output);

    std::int64_t places() const { return places_; }
    // Whether output was given up (Begin or Write answered false).
    bool outputRefused() const { return places_ > 0 && !writing_; }
    // After the last chunk: the bytes of the last window (the stream's end, up to a chunk and
    // the carried bytes) and the stream offset where they begin.
    std::string_view lastWindow() const { return lastWindow_; }
    std::uint64_t lastWindowOffset() const { return lastWindowOffset_; }

  private:
    void Emit(const char* bytes, std::size_t length, ReplaceOutput& output);
    void Flush(ReplaceOutput& output);

    const std::string find_;
    const std::string replacement_;
    Finder finder_;
    const std::size_t chunk_;
    const std::size_t hold_;  // bytes that may begin a match not yet complete: find length - 1
    std::unique_ptr<char[]> window_;  // hold_ carried bytes, then up to chunk_ new ones
    std::unique_ptr<char[]> out_;
    std::size_t carried_ = 0;
    std::size_t outUsed_ = 0;
    std::uint64_t windowOffset_ = 0;  // stream offset of window_[0]
    std::int64_t places_ = 0;
    bool writing_ = false;
    std::string_view lastWindow_;
    std::uint64_t lastWindowOffset_ = 0;
};
