// The rewrite of one file: the original is streamed through the replacer in chunks, the new
// content goes to a temporary file that is created only at the first match, and it replaces
// the original only when the original is confirmed unchanged since it was read. Memory per
// file is bounded by the replacer's two buffers, whatever the file's size.
#pragma once

#include <cstdint>

#include "platform.h"
#include "stream_replace.h"

struct RewriteResult {
    FileProblem problem = FileProblem::None;
    // The read went through to the file's end: places counts its matches, which the run
    // counts also when the new content could not be put in place.
    bool read = false;
    std::int64_t places = 0;
    // The new content is in place (or, in a dry run, would be allowed to be).
    bool replaced = false;
    FileIdentity nowInPlace;  // the file at the path afterwards, when it is a new one
};

// One per run: keeps the replacer and its buffers from file to file.
class FileRewriter {
  public:
    FileRewriter(std::string_view find, std::string_view replacement,
                 std::size_t chunk = StreamReplacer::kDefaultChunk);

    // A dry run reads and counts as a real run does but writes nothing: no temporary file,
    // no time stamp touched.
    void SetDryRun(bool dryRun) { dryRun_ = dryRun; }

    // Reads source to its end, replacing on the way, and puts the result in place. A file
    // without a match has its last bytes written back in place, unchanged.
    RewriteResult Rewrite(SourceFile& source);

  private:
    StreamReplacer replacer_;
    bool dryRun_ = false;
};
