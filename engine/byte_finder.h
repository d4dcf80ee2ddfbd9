// The linear byte finder under ReplaceAllBytes and the streaming replacer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>

// Finds one needle again and again in the same haystack. The quick path is memchr on the
// first byte and a compare of the rest, fast for sparse and dense matches alike. Inputs that
// make many false starts (long runs of the first byte) switch it to Boyer-Moore for good,
// which keeps the whole search linear.
class Finder {
  public:
    explicit Finder(std::string_view needle) : needle_(needle) {}

    // Next occurrence at or after from; npos when there is none.
    std::size_t Find(std::string_view haystack, std::size_t from) {
        if (needle_.empty() || from > haystack.size() || haystack.size() - from < needle_.size()) {
            return std::string_view::npos;
        }
        const char* base = haystack.data();
        const char* last = base + (haystack.size() - needle_.size());
        const char* p = base + from;
        if (!slowInput_) {
            const char first = needle_[0];
            for (int falseStarts = 0; p <= last; ++p) {
                p = static_cast<const char*>(
                    std::memchr(p, first, static_cast<std::size_t>(last - p) + 1));
                if (!p) return std::string_view::npos;
                if (std::memcmp(p + 1, needle_.data() + 1, needle_.size() - 1) == 0) {
                    return static_cast<std::size_t>(p - base);
                }
                if (++falseStarts > kFalseStartsBeforeSwitch) {
                    slowInput_ = true;
                    break;
                }
            }
            if (!slowInput_) return std::string_view::npos;
        }
        if (!searcher_) searcher_.emplace(needle_.begin(), needle_.end());
        const char* end = base + haystack.size();
        const char* hit = std::search(p, end, *searcher_);
        return hit == end ? std::string_view::npos : static_cast<std::size_t>(hit - base);
    }

  private:
    static constexpr int kFalseStartsBeforeSwitch = 256;
    std::string_view needle_;
    bool slowInput_ = false;
    std::optional<std::boyer_moore_searcher<std::string_view::const_iterator>> searcher_;
};
