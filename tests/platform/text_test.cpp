#include "platform/text.h"

#include <gtest/gtest.h>

using namespace lyb;

TEST(Text, Utf16RoundTripIncludingSurrogatePairs) {
    const std::string s = "Mot\xC3\xB6rhead \xE2\x82\xAC \xF0\x9F\x8E\xB5";
    std::u16string u = Utf8ToUtf16(s);
    EXPECT_EQ(u.size(), 14u); // the emoji takes two units
    EXPECT_EQ(Utf16ToUtf8(u), s);
}

TEST(Text, BrokenUtf16AndUtf8BecomeReplacementCharacters) {
    std::u16string lone = {u'a', static_cast<char16_t>(0xD800), u'b'};
    EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b");
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));        // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));    // surrogate
    EXPECT_FALSE(IsValidUtf8("abc\xE2\x82"));     // truncated
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC"));
    EXPECT_EQ(Utf8ToUtf16("\xFF").size(), 1u);
}

TEST(Text, Utf16BytesInBothOrders) {
    EXPECT_EQ(Utf16BytesToUtf8(std::string("\x00" "A\x00\xE9", 4), true), "A\xC3\xA9");
    EXPECT_EQ(Utf16BytesToUtf8(std::string("A\x00\xE9\x00\x42", 5), false), "A\xC3\xA9");
}

TEST(Text, CodePagesThroughIconv) {
    std::string out;
    ASSERT_TRUE(CodePageToUtf8(1252, "\x80 caf\xE9", out));
    EXPECT_EQ(out, "\xE2\x82\xAC caf\xC3\xA9");
    ASSERT_TRUE(CodePageToUtf8(1251, "\xC0", out));
    EXPECT_EQ(out, "\xD0\x90");
    ASSERT_TRUE(Utf8ToCodePage(1252, "caf\xC3\xA9 \xD0\x90!", out));
    EXPECT_EQ(out, "caf\xE9 ?!");
    EXPECT_FALSE(CodePageToUtf8(4242, "x", out));
    // The Hebrew page's converter holds the last letter until the end.
    ASSERT_TRUE(CodePageToUtf8(1255, "\xEE\xE5\xEB\xEF", out));
    EXPECT_EQ(out, "\u05de\u05d5\u05db\u05df");
    ASSERT_TRUE(Utf8ToCodePage(1255, "\u05d2\u05d5\u05d3\u05dc", out));
    EXPECT_EQ(out, "\xE2\xE5\xE3\xEC");
}

TEST(Text, LegacyFilesKeepUtf8AndFallBackToTheCodePage) {
    EXPECT_EQ(DecodeLegacyText("\xEF\xBB\xBFhi"), "hi");
    EXPECT_EQ(DecodeLegacyText("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(DecodeLegacyText("caf\xE9"), "caf\xC3\xA9");
}

TEST(Text, LinesAreSplitAndDecodedOneByOne) {
    const auto lines = SplitLines("\xEF\xBB\xBF" "a\r\nb\n\r\nc\rd\nlast");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1], "b");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "c\rd"); // a lone CR is part of the line
    EXPECT_EQ(lines[4], "last");
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(SplitLines("x\n").size(), 1u);
    EXPECT_EQ(DecodeTextLine("Bj\xC3\xB6rk"), "Bj\xC3\xB6rk");
    EXPECT_EQ(DecodeTextLine("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(DecodeTextLine("\xC0", 1251), "\xD0\x90");
}
