// Text and byte-string primitives of the engine.
//
// A Text is a narrow string in the system's ANSI code page (UTF-8 on POSIX); a Bytes value is
// a counted run of bytes (file contents, converted find and replacement texts). Positions are
// 1-based and a search that finds nothing answers -1; out-of-range positions and counts are
// clamped, never errors. Only TextFind and TextFindLast step by characters, taking every byte
// of 0x80 or above as a lead byte that forms one character with the byte after it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

using Text = std::string;
using Bytes = std::string;
// Byte-string positions and lengths are 64-bit so that files over 2 GiB are handled.
using Position = std::int64_t;

int TextLength(std::string_view text);
Position BytesLength(std::string_view bytes);
Text TextLeft(std::string_view text, int count);
Text TextRight(std::string_view text, int count);
// start <= 0 searches from the first byte. Answers the 1-based position or -1.
int TextFind(std::string_view text, std::string_view find, int start = 0, bool ignoreCase = false);
int TextFindLast(std::string_view text, std::string_view find, bool ignoreCase = false);
Text TextReplaceAt(std::string_view text, int position, int count, std::string_view replacement);
Bytes TextToBytes(std::string_view text);
Position BytesFind(std::string_view bytes, std::string_view find, Position start = 0);
Bytes BytesReplaceAt(std::string_view bytes, Position position, Position count,
                     std::string_view replacement);
int TextCompare(std::string_view a, std::string_view b);
Text TextJoin(std::initializer_list<std::string_view> pieces);
Text IntToText(std::int64_t value);

// Replaces every occurrence of find by replacement, left to right, never searching inside an
// inserted replacement. Adds 1 to runState.filesMatched when find occurs at all and 1 to
// runState.placesReplaced per replacement. Linear in the size of content and result.
Bytes ReplaceAllBytes(std::string_view content, std::string_view find,
                      std::string_view replacement);
// The same, taking the content by value: when nothing is found the content itself comes back,
// so a file without a match is never copied.
Bytes ReplaceAllBytes(Bytes&& content, std::string_view find, std::string_view replacement);

// The same into result, answering false (result untouched, no counter moved) when find does
// not occur: the caller keeps using content as it is and nothing is copied.
bool ReplaceAllBytesInto(std::string_view content, std::string_view find,
                         std::string_view replacement, Bytes& result);

// Text replace-all: the search is TextFind with ignore case, so ASCII letters fold and matches
// begin only on character boundaries. Touches no counter. An empty find text changes nothing.
Text ReplaceAllText(std::string_view text, std::string_view find, std::string_view replacement);
