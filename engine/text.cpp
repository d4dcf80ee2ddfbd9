// Text and byte-string primitives and the two replace-all routines.
#include "text.h"

#include <algorithm>
#include <cstring>

#include "byte_finder.h"
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

// Builds the replaced content in one allocation of the exact final size. Counters move only
// once the result exists, so a failed allocation leaves them as they were.
void BuildReplaced(std::string_view content, std::string_view find, std::string_view replacement,
                   Finder& finder, std::size_t firstHit, Bytes& result) {
    std::size_t resultSize = content.size();
    if (replacement.size() > find.size()) {
        // The result grows: count first so that it is allocated once at its final size.
        std::size_t places = 0;
        for (std::size_t at = firstHit; at != std::string_view::npos;
             at = finder.Find(content, at + find.size())) {
            ++places;
        }
        resultSize += places * (replacement.size() - find.size());
    }
    Bytes built;
    built.resize(resultSize);  // an upper bound when the result shrinks
    char* out = &built[0];
    std::size_t copied = 0;
    std::int64_t made = 0;
    for (std::size_t at = firstHit; at != std::string_view::npos;
         at = finder.Find(content, at + find.size())) {
        std::memcpy(out, content.data() + copied, at - copied);
        out += at - copied;
        std::memcpy(out, replacement.data(), replacement.size());
        out += replacement.size();
        copied = at + find.size();
        ++made;
    }
    std::memcpy(out, content.data() + copied, content.size() - copied);
    out += content.size() - copied;
    built.resize(static_cast<std::size_t>(out - built.data()));
    result = std::move(built);
    runState.filesMatched += 1;
    runState.placesReplaced += made;
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
    const std::size_t at = Finder(find).Find(bytes, static_cast<std::size_t>(begin));
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

bool ReplaceAllBytesInto(std::string_view content, std::string_view find,
                         std::string_view replacement, Bytes& result) {
    Finder finder(find);
    const std::size_t firstHit = finder.Find(content, 0);
    if (firstHit == std::string_view::npos) return false;
    BuildReplaced(content, find, replacement, finder, firstHit, result);
    return true;
}

Bytes ReplaceAllBytes(std::string_view content, std::string_view find,
                      std::string_view replacement) {
    Bytes result;
    if (!ReplaceAllBytesInto(content, find, replacement, result)) result.assign(content);
    return result;
}

Bytes ReplaceAllBytes(Bytes&& content, std::string_view find, std::string_view replacement) {
    Bytes result;
    if (!ReplaceAllBytesInto(content, find, replacement, result)) return std::move(content);
    return result;
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
