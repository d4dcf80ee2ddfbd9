// What the portable parts of the platform layer need from the per-OS files.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform.h"

// Bytes taken by the UTF-8 character that begins at index (paths are UTF-8 on every
// platform). At least 1, never past the end.
std::size_t CharacterLength(std::string_view text, std::size_t index);

// Starts a search for pathPattern (folder part and a non-empty last component) and yields its
// first entry; false when it cannot start or nothing matches.
bool PlatformOpenSearch(const Text& pathPattern, SearchState& state, FolderEntry& entry);
// The next entry of an open search; false at its end.
bool PlatformNextEntry(SearchState& state, FolderEntry& entry);

// The path of the file a source was opened on (its target), as a text, for the test hook.
Text SourceTargetText(const SourceFile& source);

void PlatformPumpMessages();
[[noreturn]] void PlatformExitNow(int exitCode);

// Marks a file write in progress for AbortBetweenWrites: an abort that arrives meanwhile ends
// the process when the write is over, never inside it. A temporary file holds one from its
// creation until it is swapped in or removed, so an abort never leaves one behind.
class WriteSection {
  public:
    WriteSection();
    ~WriteSection();
    WriteSection(const WriteSection&) = delete;
    WriteSection& operator=(const WriteSection&) = delete;
};
