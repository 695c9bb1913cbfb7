// The tests run in code page 936, and the folder text is trimmed by its characters.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/FolderText.h"

namespace {

TEST(CodePage, AnsiCodePageIs936) {
    ASSERT_EQ(GetACP(), 936u) << "the ANSI code page must be 936 (run under tests/wine/env.sh, "
                                 "LC_ALL=zh_CN.UTF-8): every text of the program is in it";
}

TEST(CodePage, LiteralsAreCompiledInCodePage936) {
    // "表" is B1 ED in code page 936.
    const char* s = "表";
    ASSERT_EQ(lstrlenA(s), 2);
    EXPECT_EQ(static_cast<unsigned char>(s[0]), 0xB1);
    EXPECT_EQ(static_cast<unsigned char>(s[1]), 0xED);
}

TEST(CodePage, LeadBytesAreThoseTheHostBuildAssumes) {
    ASSERT_EQ(GetACP(), 936u);
    for (int c = 0; c < 256; ++c) {
        const bool expected = c >= 0x81 && c <= 0xFE;
        EXPECT_EQ(AfxIsLeadByte(static_cast<unsigned char>(c)), expected) << "byte " << c;
    }
}

TEST(CodePage, TrailByte5CCharacterConvertsToOneCharacter) {
    // 0x95 0x5C is one character (U+661E), not a byte and a backslash.
    WCHAR w[4] = {0};
    const int n = MultiByteToWideChar(936, 0, "\x95\x5c", 2, w, 4);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(w[0], 0x661E) << std::hex << w[0];
    EXPECT_EQ(CharNextA("\x95\x5c") - "\x95\x5c", 2);
}

struct FolderRow {
    const char* typed;
    const char* dir;
};

const FolderRow kRows[] = {
        {"D:\\Apps", "D:\\Apps\\"},
        {"D:\\Apps\\\\\\", "D:\\Apps\\"},
        {"D:\\Apps   ", "D:\\Apps\\"},
        {"D:\\Apps\\ ", "D:\\Apps\\"},
        {"D:\\Apps \\", "D:\\Apps \\"},
        {"D:\\Apps \\ ", "D:\\Apps \\"},
        {"D:\\Apps\t", "D:\\Apps\t\\"},
        {"C:\\", "C:\\"},
        {"", "\\"},
        // Double-byte characters whose trail byte is 0x5C: 昞 (95 5C), 誠 (D5 5C).
        {"D:\\昞", "D:\\昞\\"},
        {"D:\\昞\\\\ ", "D:\\昞\\"},
        {"D:\\安装\\誠", "D:\\安装\\誠\\"},
        {"D:\\昞 ", "D:\\昞\\"},
};

TEST(CodePage, NormalizeFolderWithTheSystemCodePage) {
    ASSERT_EQ(GetACP(), 936u);
    for (const FolderRow& row : kRows) {
        CString s(row.typed);
        NormalizeFolder(s);
        EXPECT_STREQ(s, row.dir) << "typed [" << row.typed << "]";
    }
}

} // namespace
