// The streaming replacer against the whole-content routine: same output, same counts, for
// every way of cutting the input into chunks.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "run_state.h"
#include "stream_replace.h"
#include "text.h"

namespace {

// Rebuilds the whole output the way a file rewrite does: the prefix announced by Begin is
// taken from the input itself. refuseAt makes Begin (0) or the n-th Write refuse.
class CollectingOutput : public ReplaceOutput {
  public:
    explicit CollectingOutput(const std::string& input, int refuseAt = -1)
        : input_(input), refuseAt_(refuseAt) {}
    bool Begin(std::uint64_t prefixLength) override {
        ++begins;
        if (refuseAt_ == 0) return false;
        result.assign(input_, 0, static_cast<std::size_t>(prefixLength));
        return true;
    }
    bool Write(std::string_view bytes) override {
        if (++writes == refuseAt_) return false;
        result.append(bytes);
        return true;
    }
    std::string result;
    int begins = 0;
    int writes = 0;

  private:
    const std::string& input_;
    int refuseAt_;
};

// Feeds input in chunks whose sizes come from nextChunk (each at most the read capacity).
template <typename NextChunk>
void Feed(StreamReplacer& replacer, const std::string& input, ReplaceOutput& output,
          NextChunk nextChunk) {
    replacer.Start();
    std::size_t at = 0;
    do {
        std::size_t size = nextChunk();
        if (size > replacer.ReadCapacity()) size = replacer.ReadCapacity();
        if (size > input.size() - at) size = input.size() - at;
        input.copy(replacer.ReadSpace(), size, at);
        at += size;
        replacer.Consume(size, at == input.size(), output);
    } while (at < input.size());
}

struct Expected {
    std::string content;
    std::int64_t places;
};

Expected Reference(const std::string& input, const std::string& find, const std::string& with) {
    ResetRunState();
    Expected expected{ReplaceAllBytes(input, find, with), 0};
    expected.places = PlacesReplaced();
    return expected;
}

TEST(StreamReplacer, EqualsReplaceAllBytesForEveryChunking) {
    std::mt19937 random(7);
    auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::string alphabet = "ab\xE9\x5C";  // few letters: many matches, overlaps, edges
    auto text = [&](std::size_t length) {
        std::string s;
        for (std::size_t i = 0; i < length; ++i) s += alphabet[below(alphabet.size())];
        return s;
    };
    for (int trial = 0; trial < 20000; ++trial) {
        const std::size_t chunk = 1 + below(trial % 3 == 0 ? 4 : 40);
        const std::string input = text(below(200));
        // Find texts up to several chunks long, the empty one included.
        const std::string find = text(below(trial % 5 == 0 ? 3 * chunk + 2 : 4));
        const std::string with = text(below(6));
        const Expected expected = Reference(input, find, with);

        StreamReplacer replacer(find, with, chunk);
        CollectingOutput output(input);
        Feed(replacer, input, output, [&] { return 1 + below(chunk); });
        ASSERT_EQ(replacer.places(), expected.places)
            << "input " << input << " find " << find << " chunk " << chunk;
        if (expected.places == 0) {
            EXPECT_EQ(output.begins + output.writes, 0) << "no output without a match";
        } else {
            ASSERT_EQ(output.result, expected.content)
                << "input " << input << " find " << find << " chunk " << chunk;
        }
    }
}

TEST(StreamReplacer, LongStretchesAndOutputLargerThanItsBuffer) {
    // Unchanged runs longer than a chunk and replacements longer than the output buffer.
    std::string input(300000, 'x');
    for (std::size_t at : {0u, 70000u, 70003u, 299997u}) input.replace(at, 3, "foo");
    const std::string longer(5000, 'R');
    for (const std::string& with : {std::string(), std::string("bar"), longer}) {
        const Expected expected = Reference(input, "foo", with);
        StreamReplacer replacer("foo", with, 4096);
        CollectingOutput output(input);
        Feed(replacer, input, output, [] { return std::size_t(4096); });
        EXPECT_EQ(replacer.places(), 4);
        EXPECT_TRUE(output.result == expected.content) << "replacement of " << with.size();
    }
}

TEST(StreamReplacer, CountsOnWhenTheOutputRefuses) {
    const std::string input = "foo.foo.foo.foo.foo";
    for (int refuseAt : {0, 1, 2}) {
        StreamReplacer replacer("foo", "barbar", 4);
        CollectingOutput output(input, refuseAt);
        Feed(replacer, input, output, [] { return std::size_t(3); });
        EXPECT_EQ(replacer.places(), 5) << refuseAt;
        EXPECT_TRUE(replacer.outputRefused()) << refuseAt;
        EXPECT_EQ(output.begins, 1);
    }
}

TEST(StreamReplacer, KeepsTheLastWindowForTheWriteBack) {
    const std::string input = "0123456789abcdef";
    StreamReplacer replacer("zz", "y", 5);
    CollectingOutput output(input);
    Feed(replacer, input, output, [] { return std::size_t(5); });
    EXPECT_EQ(replacer.places(), 0);
    // The last window holds the carried byte and the last chunk: the stream's end.
    const std::string tail(replacer.lastWindow());
    EXPECT_EQ(input.substr(static_cast<std::size_t>(replacer.lastWindowOffset())), tail);
    EXPECT_FALSE(tail.empty());
}

}  // namespace
