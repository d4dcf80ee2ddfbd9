// Text and byte-string primitives and the two replace-all routines.
#include "text.h"

#include <cstring>
#include <vector>

#include "run_state.h"

namespace {

template <typename Int>
Int Clamp(Int value, Int low, Int high) {
    return value < low ? low : (value > high ? high : value);
}

bool IsLeadByte(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}

char FoldAsciiUpper(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
}

bool EqualAt(std::string_view text, std::size_t at, std::string_view find, bool ignoreCase) {
    if (!ignoreCase) return text.compare(at, find.size(), find) == 0;
    for (std::size_t i = 0; i < find.size(); ++i) {
        if (FoldAsciiUpper(text[at + i]) != FoldAsciiUpper(find[i])) return false;
    }
    return true;
}

// The character-stepping scan shared by TextFind and TextFindLast. Calls onMatch(index) for
// each matching candidate; stops early when onMatch returns false.
template <typename OnMatch>
void ScanCharacters(std::string_view text, std::string_view find, std::size_t begin,
                    bool ignoreCase, OnMatch onMatch) {
    if (find.empty()) return;
    std::size_t i = begin;
    while (i < text.size() && text.size() - i >= find.size()) {
        if (EqualAt(text, i, find, ignoreCase) && !onMatch(i)) return;
        if (IsLeadByte(text[i])) {
            if (i + 1 == text.size()) return;  // a lead byte right before the terminator
            i += 2;
        } else {
            i += 1;
        }
    }
}

// Next occurrence of needle in haystack at or after from; npos when there is none.
std::size_t FindFrom(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (needle.empty() || from > haystack.size() || haystack.size() - from < needle.size()) {
        return std::string_view::npos;
    }
    const char* base = haystack.data();
    const char* start = base + from;
    const std::size_t length = haystack.size() - from;
#if defined(__GLIBC__)
    const void* hit = memmem(start, length, needle.data(), needle.size());
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base)
               : std::string_view::npos;
#else
    // No memmem in the Windows C runtime: memchr on the first byte, then compare the rest.
    const char first = needle[0];
    const char* last = start + (length - needle.size());
    for (const char* p = start; p <= last;) {
        p = static_cast<const char*>(std::memchr(p, first, static_cast<std::size_t>(last - p) + 1));
        if (!p) break;
        if (std::memcmp(p + 1, needle.data() + 1, needle.size() - 1) == 0) {
            return static_cast<std::size_t>(p - base);
        }
        ++p;
    }
    return std::string_view::npos;
#endif
}

// Builds the replaced content in one allocation of the exact final size. Counters move only
// once the result exists, so a failed allocation leaves them as they were.
Bytes BuildReplaced(std::string_view content, std::string_view find, std::string_view replacement,
                    std::size_t firstHit) {
    std::size_t resultSize = content.size();
    std::int64_t places = 0;
    if (replacement.size() > find.size()) {
        // The result grows: count first so that it is allocated once at its final size.
        for (std::size_t at = firstHit; at != std::string_view::npos;
             at = FindFrom(content, find, at + find.size())) {
            ++places;
        }
        resultSize += static_cast<std::size_t>(places) * (replacement.size() - find.size());
    }
    Bytes result;
    result.reserve(resultSize);
    std::size_t copied = 0;
    std::int64_t made = 0;
    for (std::size_t at = firstHit; at != std::string_view::npos;
         at = FindFrom(content, find, at + find.size())) {
        result.append(content.data() + copied, at - copied);
        result.append(replacement.data(), replacement.size());
        copied = at + find.size();
        ++made;
    }
    result.append(content.data() + copied, content.size() - copied);
    runState.filesMatched += 1;
    runState.placesReplaced += made;
    return result;
}

}  // namespace

int TextLength(std::string_view text) {
    return static_cast<int>(text.size());
}

Position BytesLength(std::string_view bytes) {
    return static_cast<Position>(bytes.size());
}

Text TextLeft(std::string_view text, int count) {
    if (count <= 0) return Text();
    return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text TextRight(std::string_view text, int count) {
    if (count <= 0) return Text();
    const std::size_t n = static_cast<std::size_t>(count);
    if (n >= text.size()) return Text(text);
    return Text(text.substr(text.size() - n));
}

int TextFind(std::string_view text, std::string_view find, int start, bool ignoreCase) {
    const std::size_t begin = start <= 0 ? 0 : static_cast<std::size_t>(start) - 1;
    int found = -1;
    ScanCharacters(text, find, begin, ignoreCase, [&](std::size_t at) {
        found = static_cast<int>(at) + 1;
        return false;
    });
    return found;
}

int TextFindLast(std::string_view text, std::string_view find, bool ignoreCase) {
    int found = -1;
    ScanCharacters(text, find, 0, ignoreCase, [&](std::size_t at) {
        found = static_cast<int>(at) + 1;
        return true;
    });
    return found;
}

Text TextReplaceAt(std::string_view text, int position, int count, std::string_view replacement) {
    return BytesReplaceAt(text, position, count, replacement);
}

Bytes TextToBytes(std::string_view text) {
    return Bytes(text);
}

Position BytesFind(std::string_view bytes, std::string_view find, Position start) {
    const Position length = BytesLength(bytes);
    const Position begin = start <= 0 ? 0 : start - 1;
    if (begin >= length) return -1;
    const std::size_t at = FindFrom(bytes, find, static_cast<std::size_t>(begin));
    return at == std::string_view::npos ? -1 : static_cast<Position>(at) + 1;
}

Bytes BytesReplaceAt(std::string_view bytes, Position position, Position count,
                     std::string_view replacement) {
    const Position length = BytesLength(bytes);
    const Position kept = Clamp<Position>(position - 1, 0, length);
    const Position removed = Clamp<Position>(count, 0, length - kept);
    Bytes result;
    result.reserve(static_cast<std::size_t>(length - removed) + replacement.size());
    result.append(bytes.substr(0, static_cast<std::size_t>(kept)));
    result.append(replacement);
    result.append(bytes.substr(static_cast<std::size_t>(kept + removed)));
    return result;
}

int TextCompare(std::string_view a, std::string_view b) {
    const int order = a.compare(b);  // char_traits<char> compares as unsigned char
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

Text TextJoin(std::initializer_list<std::string_view> pieces) {
    std::size_t total = 0;
    for (std::string_view piece : pieces) total += piece.size();
    Text result;
    result.reserve(total);
    for (std::string_view piece : pieces) result.append(piece);
    return result;
}

Text IntToText(std::int64_t value) {
    return std::to_string(value);
}

Bytes ReplaceAllBytes(std::string_view content, std::string_view find,
                      std::string_view replacement) {
    const std::size_t firstHit = FindFrom(content, find, 0);
    if (firstHit == std::string_view::npos) return Bytes(content);
    return BuildReplaced(content, find, replacement, firstHit);
}

Bytes ReplaceAllBytes(Bytes&& content, std::string_view find, std::string_view replacement) {
    const std::size_t firstHit = FindFrom(content, find, 0);
    if (firstHit == std::string_view::npos) return std::move(content);
    return BuildReplaced(content, find, replacement, firstHit);
}

Text ReplaceAllText(std::string_view text, std::string_view find, std::string_view replacement) {
    Text result;
    std::size_t copied = 0;
    // Each search starts right after the previous match, with the character stepping begun
    // afresh there, exactly as a search from the resume position of the rebuilt text would.
    for (;;) {
        std::size_t hit = std::string_view::npos;
        ScanCharacters(text, find, copied, true, [&](std::size_t at) {
            hit = at;
            return false;
        });
        if (hit == std::string_view::npos) break;
        result.append(text.substr(copied, hit - copied));
        result.append(replacement);
        copied = hit + find.size();
    }
    result.append(text.substr(copied));
    return result;
}
