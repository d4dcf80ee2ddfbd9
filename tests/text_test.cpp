// The text and byte primitives and the two replace-all routines.
#include <gtest/gtest.h>

#include <random>

#include "run_state.h"
#include "text.h"

namespace {

struct Counts {
    std::int64_t files;
    std::int64_t places;
};

Bytes ReplaceCounting(const Bytes& content, const Bytes& find, const Bytes& replacement,
                      Counts& counts) {
    ResetRunState();
    Bytes result = ReplaceAllBytes(content, find, replacement);
    counts = {FilesMatched(), PlacesReplaced()};
    return result;
}

// The loop exactly as the routine is defined: one new byte string per replacement.
Bytes ReferenceReplaceAll(const Bytes& content, const Bytes& find, const Bytes& replacement,
                          Counts& counts) {
    counts = {0, 0};
    Bytes work = content;
    if (BytesFind(work, find) != -1) counts.files += 1;
    Position resume = 1;
    for (;;) {
        const Position found = BytesFind(work, find, resume);
        if (found == -1) break;
        counts.places += 1;
        work = BytesReplaceAt(work, found, BytesLength(find), replacement);
        resume = found + BytesLength(replacement);
    }
    return work;
}

Text ReferenceReplaceAllText(const Text& text, const Text& find, const Text& replacement) {
    Text work = text;
    int resume = 0;
    for (;;) {
        const int found = TextFind(work, find, resume, true);
        if (found == -1) break;
        work = TextReplaceAt(work, found, TextLength(find), replacement);
        resume = found + TextLength(replacement);
    }
    return work;
}

TEST(ReplaceAllBytes, CasesOfTheDefinition) {
    struct Case {
        Bytes content, find, replacement, expected;
        Counts counts;
    };
    const Case cases[] = {
        {"aaaa", "aa", "a", "aa", {1, 2}},
        {"aba", "a", "aa", "aabaa", {1, 2}},             // a replacement holding find ends the loop
        {"aabb", "ab", "", "ab", {1, 1}},                // the ab a deletion brings together stays
        {"abab", "ab", "ab", "abab", {1, 2}},            // equal replacement still counts
        {"ABC", "abc", "x", "ABC", {0, 0}},              // exact, case-sensitive
        {"abc", "", "x", "abc", {0, 0}},                 // empty find matches nothing
        {"", "a", "x", "", {0, 0}},                      // empty content
        {"xyz", "q", "r", "xyz", {0, 0}},                // no occurrence
        {"\xB0\x41 A", "A", "B", "\xB0\x42 B", {1, 2}},  // a GBK second byte is a byte too
        {Bytes("a\0b\0", 4), Bytes("\0", 1), "-", "a-b-", {1, 2}},
        {"foo", "foo", "", "", {1, 1}},
        {"abcabc", "abc", "abcabc", "abcabcabcabc", {1, 2}},
    };
    for (const Case& c : cases) {
        Counts counts;
        EXPECT_EQ(ReplaceCounting(c.content, c.find, c.replacement, counts), c.expected)
            << c.content << " / " << c.find;
        EXPECT_EQ(counts.files, c.counts.files) << c.content << " / " << c.find;
        EXPECT_EQ(counts.places, c.counts.places) << c.content << " / " << c.find;
    }
}

TEST(ReplaceAllBytes, AgreesWithTheDefiningLoopOnRandomInputs) {
    std::mt19937 random(20261211);
    // A small alphabet makes overlaps, adjacent and chained matches frequent.
    const char alphabet[] = {'a', 'b', '\x80', '\0'};
    auto randomBytes = [&](int maxLength) {
        Bytes bytes;
        const int length = std::uniform_int_distribution<int>(0, maxLength)(random);
        for (int i = 0; i < length; ++i) {
            bytes.push_back(alphabet[std::uniform_int_distribution<int>(0, 3)(random)]);
        }
        return bytes;
    };
    for (int round = 0; round < 20000; ++round) {
        const Bytes content = randomBytes(24);
        const Bytes find = randomBytes(3);
        const Bytes replacement = randomBytes(4);
        Counts expected, got;
        const Bytes reference = ReferenceReplaceAll(content, find, replacement, expected);
        ASSERT_EQ(ReplaceCounting(content, find, replacement, got), reference) << round;
        ASSERT_EQ(got.files, expected.files) << round;
        ASSERT_EQ(got.places, expected.places) << round;
        // The by-value form gives the same, with or without a match.
        ResetRunState();
        ASSERT_EQ(ReplaceAllBytes(Bytes(content), find, replacement), reference) << round;
        ASSERT_EQ(PlacesReplaced(), expected.places) << round;
    }
}

TEST(ReplaceAllText, FollowsCharacterBoundariesAndFoldsAscii) {
    EXPECT_EQ(ReplaceAllText("C:/a/b/", "/", "\\"), "C:\\a\\b\\");
    EXPECT_EQ(ReplaceAllText("C:\\plain", "/", "\\"), "C:\\plain");
    EXPECT_EQ(ReplaceAllText("xAbcab", "ab", "-"), "x-c-");
    EXPECT_EQ(ReplaceAllText("\x81/x/", "/", "\\"), "\x81/x\\");  // 81 2F is one character
    EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
    ResetRunState();
    ReplaceAllText("aaa", "a", "b");
    EXPECT_EQ(PlacesReplaced(), 0);
}

TEST(ReplaceAllText, AgreesWithTheDefiningLoopOnRandomInputs) {
    std::mt19937 random(7);
    const char alphabet[] = {'a', 'A', '/', '\xB1', '\\'};
    auto randomText = [&](int minLength, int maxLength) {
        Text text;
        const int length = std::uniform_int_distribution<int>(minLength, maxLength)(random);
        for (int i = 0; i < length; ++i) {
            text.push_back(alphabet[std::uniform_int_distribution<int>(0, 4)(random)]);
        }
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const Text text = randomText(0, 16);
        const Text find = randomText(1, 3);
        const Text replacement = randomText(0, 3);
        ASSERT_EQ(ReplaceAllText(text, find, replacement),
                  ReferenceReplaceAllText(text, find, replacement))
            << round;
    }
}

TEST(TextFind, PositionsStartsAndCase) {
    struct Case {
        Text text, find;
        int start;
        bool ignoreCase;
        int expected;
    };
    const Case cases[] = {
        {"xAbc", "aB", 1, true, 2},
        {"xAbc", "aB", 1, false, -1},
        {"abcabc", "abc", 2, false, 4},
        {"abcabc", "abc", 0, false, 1},
        {"abcabc", "abc", -3, false, 1},
        {"abcabc", "abc", 7, false, -1},
        {"abcabc", "c", 6, false, 6},
        {"a\xE9\x5C"
         "b",
         "\\", 0, false, -1},           // 0x5C after a lead byte is stepped over
        {"\xE9", "\xE9", 0, false, 1},  // a lone last lead byte is still a candidate
        {"ab", "", 0, false, -1},
        {"\xC1\x5A", "\x5A", 0, true, -1},  // inside a character: no candidate
        {"[Z]", "[z]", 0, true, 1},         // only A to Z fold
        {"\xC0", "\xE0", 0, true, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextFind(c.text, c.find, c.start, c.ignoreCase), c.expected)
            << c.text << " / " << c.find << " from " << c.start;
    }
}

TEST(TextFindLast, SkipsSecondBytesOfDoubleByteCharacters) {
    EXPECT_EQ(TextFindLast("C:\\a\x92\x5C", "\\"), 3);
    EXPECT_EQ(TextFindLast("a\xE9\x5C"
                           "b",
                           "\\"),
              -1);
    EXPECT_EQ(TextFindLast("a\\b\\c", "\\"), 4);
    EXPECT_EQ(TextFindLast("abc", "x"), -1);
}

TEST(BytesFind, StartPositionsAndEmptyFind) {
    EXPECT_EQ(BytesFind("abcabc", "abc"), 1);
    EXPECT_EQ(BytesFind("abcabc", "abc", 2), 4);
    EXPECT_EQ(BytesFind("abcabc", "abc", 7), -1);
    EXPECT_EQ(BytesFind("abc", "", 1), -1);
    EXPECT_EQ(BytesFind("\xE9\x5C", "\\"), 2);  // byte search knows no characters
}

TEST(CuttingPrimitives, ClampInsteadOfFailing) {
    EXPECT_EQ(TextLeft("abc", -1), "");
    EXPECT_EQ(TextLeft("abc", 5), "abc");
    EXPECT_EQ(TextLeft("abc", 2), "ab");
    EXPECT_EQ(TextRight("abc", 0), "");
    EXPECT_EQ(TextRight("abc", 2), "bc");
    EXPECT_EQ(TextRight("abc", 9), "abc");
    EXPECT_EQ(TextRight("x\x81\x5C", 1), "\\");  // byte-based, not character-based
    EXPECT_EQ(TextReplaceAt("abc", 5, 2, "x"), "abcx");
    EXPECT_EQ(TextReplaceAt("abc", 0, 1, "x"), "xbc");
    EXPECT_EQ(TextReplaceAt("abc", 2, 10, ""), "a");
    EXPECT_EQ(TextReplaceAt("abc", 2, -1, "x"), "axbc");
    EXPECT_EQ(BytesReplaceAt("abc", 2, 1, "XY"), "aXYc");
}

TEST(SmallPrimitives, CompareJoinNumbers) {
    EXPECT_EQ(TextCompare("", Text()), 0);
    EXPECT_NE(TextCompare("a", "A"), 0);
    EXPECT_EQ(TextCompare("a", "b"), -1);
    EXPECT_EQ(TextCompare("\xB0", "a"), 1);  // unsigned bytes
    EXPECT_EQ(TextCompare("ab", "a"), 1);
    EXPECT_EQ(TextJoin({"a", "", "bc", Text()}), "abc");
    EXPECT_EQ(IntToText(-5), "-5");
    EXPECT_EQ(IntToText(0), "0");
    EXPECT_EQ(IntToText(3000000000LL), "3000000000");
    EXPECT_EQ(TextLength("\xD6\xD0"), 2);
    EXPECT_EQ(TextToBytes("ab"), "ab");
}

}  // namespace
