// CString: trimming walks the text as code page 936 characters, and the bounded
// operations never read or write past the text.
#include <gtest/gtest.h>

#include <string>

#include "afx/afxstr.h"

namespace {

// Code page 936 characters used below, as bytes (the host compiler keeps UTF-8).
// 0x95 0x5C: the trail byte is a backslash.
constexpr const char kTrail5C[] = "\x95\x5c";
// 0xD5 0x5C: another one.
constexpr const char kTrail5C2[] = "\xd5\x5c";
// 0xB1 0xED: an ordinary character.
constexpr const char kPlain[] = "\xb1\xed";

std::string Hex(const CString& s) {
    std::string out;
    char buf[4];
    for (int i = 0; i < s.GetLength(); ++i) {
        snprintf(buf, sizeof(buf), "%02X ", static_cast<unsigned char>(s.GetAt(i)));
        out += buf;
    }
    return out;
}

struct TrimCase {
    const char* name;
    std::string input;
    char ch;
    std::string expected;
};

void PrintTo(const TrimCase& c, std::ostream* os) { *os << c.name; }

class TrimRightChar : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimRightChar, RemovesOnlyTheTrailingRunOfWholeCharacters) {
    const TrimCase& c = GetParam();
    CString s(c.input.c_str());
    CString& ret = s.TrimRight(c.ch);
    EXPECT_EQ(&ret, &s);
    EXPECT_EQ(std::string(s.GetString()), c.expected)
            << c.name << ": got [" << Hex(s) << "] expected [" << Hex(CString(c.expected.c_str())) << "]";
}

INSTANTIATE_TEST_SUITE_P(
        Cases, TrimRightChar,
        ::testing::Values(
                TrimCase{"empty", "", ' ', ""}, TrimCase{"nothing to trim", "abc", ' ', "abc"},
                TrimCase{"one", "abc ", ' ', "abc"}, TrimCase{"long run", "abc" + std::string(300, ' '), ' ', "abc"},
                TrimCase{"only the trailing run", "  a  b  ", ' ', "  a  b"}, TrimCase{"all of it", "\\\\\\", '\\', ""},
                TrimCase{"other char stops the run", "a\\ ", '\\', "a\\ "},
                TrimCase{"trail 0x5C kept", std::string("D:\\") + kTrail5C, '\\', std::string("D:\\") + kTrail5C},
                TrimCase{"trail 0x5C kept, real backslashes go", std::string("D:\\") + kTrail5C + "\\\\", '\\',
                         std::string("D:\\") + kTrail5C},
                TrimCase{"two trail-0x5C characters", std::string(kTrail5C) + kTrail5C2, '\\',
                         std::string(kTrail5C) + kTrail5C2},
                // A lead byte pairs with the byte after it, whatever that byte is.
                TrimCase{"lead byte then blank is one character", "a\x81 ", ' ', "a\x81 "},
                TrimCase{"lead byte, blank pair, then blanks", "a\x81   ", ' ', "a\x81 "},
                TrimCase{"lead byte pairs with the first backslash", "\x95\\\\\\", '\\', "\x95\\"},
                TrimCase{"ordinary double-byte character", std::string(kPlain) + "  ", ' ', kPlain},
                // A lone lead byte at the very end is a character of its own.
                TrimCase{"dangling lead byte", "ab \x95", ' ', "ab \x95"},
                TrimCase{"dangling lead byte as the char", "ab\x95", '\x95', "ab"}),
        [](const ::testing::TestParamInfo<TrimCase>& info) { return "Case" + std::to_string(info.index); });

TEST(CStringTrimRightSet, RemovesAnyMixOfSetMembers) {
    CString s("D:\\Apps \\ \\\t");
    s.TrimRight("\t \\");
    EXPECT_STREQ(s, "D:\\Apps");
}

TEST(CStringTrimRightSet, KeepsTrailBytesThatLookLikeMembers) {
    CString s((std::string("x") + kTrail5C + " \\").c_str());
    s.TrimRight(" \\");
    EXPECT_EQ(std::string(s.GetString()), std::string("x") + kTrail5C) << Hex(s);
}

TEST(CStringTrimRightSet, NullOrEmptySetRemovesNothing) {
    CString a("abc  ");
    a.TrimRight(static_cast<const char*>(nullptr));
    EXPECT_STREQ(a, "abc  ");
    CString b("abc  ");
    b.TrimRight("");
    EXPECT_STREQ(b, "abc  ");
}

TEST(CStringTrimRightWhite, RemovesBlankTabAndLineEnds) {
    CString s("a b \t\r\n\v\f ");
    s.TrimRight();
    EXPECT_STREQ(s, "a b");
    CString t((std::string("a") + "\x81 ").c_str());
    t.TrimRight();
    EXPECT_EQ(std::string(t.GetString()), "a\x81 ") << Hex(t);
}

TEST(CStringBounds, Left) {
    const CString s("abcdef");
    EXPECT_STREQ(s.Left(-5), "");
    EXPECT_STREQ(s.Left(0), "");
    EXPECT_STREQ(s.Left(3), "abc");
    EXPECT_STREQ(s.Left(6), "abcdef");
    EXPECT_STREQ(s.Left(1000), "abcdef");
    EXPECT_STREQ(CString().Left(3), "");
}

TEST(CStringBounds, Mid) {
    const CString s("abcdef");
    EXPECT_STREQ(s.Mid(-1), "abcdef");
    EXPECT_STREQ(s.Mid(0), "abcdef");
    EXPECT_STREQ(s.Mid(2), "cdef");
    EXPECT_STREQ(s.Mid(5), "f");
    EXPECT_STREQ(s.Mid(6), "");
    EXPECT_STREQ(s.Mid(1000), "");
    EXPECT_STREQ(CString().Mid(1), "");
}

TEST(CStringBounds, ReverseFindSkipsTrailBytes) {
    EXPECT_EQ(CString("").ReverseFind('\\'), -1);
    EXPECT_EQ(CString("abc").ReverseFind('\\'), -1);
    EXPECT_EQ(CString("a\\b\\c").ReverseFind('\\'), 3);
    EXPECT_EQ(CString("\\").ReverseFind('\\'), 0);
    EXPECT_EQ(CString((std::string("C:\\") + kTrail5C).c_str()).ReverseFind('\\'), 2);
    EXPECT_EQ(CString(kTrail5C).ReverseFind('\\'), -1);
    // A dangling lead byte at the end is a character of its own.
    EXPECT_EQ(CString("a\\\x95").ReverseFind('\x95'), 2);
}

TEST(CStringBounds, FormatGrowsToFit) {
    CString s;
    const std::string big(5000, 'x');
    s.Format("[%s]%d", big.c_str(), 42);
    ASSERT_EQ(s.GetLength(), 5004);
    EXPECT_EQ(s.GetAt(0), '[');
    EXPECT_EQ(s.GetAt(5001), ']');
    EXPECT_STREQ(s.Mid(5002), "42");
    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
    s.Format("%d-%u-%c", -7, 8u, 'z');
    EXPECT_STREQ(s, "-7-8-z");
}

TEST(CStringBounds, ConstructionFromNullAndLengths) {
    EXPECT_STREQ(CString(static_cast<const char*>(nullptr)), "");
    EXPECT_STREQ(CString("abcdef", 3), "abc");
    EXPECT_STREQ(CString("abcdef", 0), "");
    EXPECT_STREQ(CString("abcdef", -4), "");
    CString s("x");
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s += static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringCompare, ByteWise) {
    EXPECT_EQ(CString("abc").Compare("abc"), 0);
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_GT(CString("abc").Compare(nullptr), 0);
    EXPECT_EQ(CString("").Compare(nullptr), 0);
    EXPECT_TRUE(CString("a") + "b" == "ab");
    EXPECT_TRUE("a" + CString("b") == CString("ab"));
    EXPECT_TRUE(CString(kTrail5C) != CString(kTrail5C2));
}

TEST(CStringMakeLower, LowersAsciiOnlyAndKeepsTrailBytes) {
    // 0x81 0x41: the trail byte is 'A' and must stay.
    CString s("ABC\x81\x41Z");
    s.MakeLower();
    EXPECT_EQ(std::string(s.GetString()), "abc\x81\x41z") << Hex(s);
    CString u("UHARC.EXE");
    EXPECT_STREQ(u.MakeLower(), "uharc.exe");
}

} // namespace
