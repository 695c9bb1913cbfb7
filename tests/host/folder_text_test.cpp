// The folder text typed on the folder page and the installation directory made of it.
#include <gtest/gtest.h>

#include <string>

#include "app/FolderText.h"

namespace {

struct FolderCase {
    std::string typed;
    std::string dir;
};

// The rows of the folder table, plus double-byte characters whose trail byte is a
// backslash (0x95 0x5C, 0xD5 0x5C in code page 936).
const FolderCase kFolderCases[] = {
        {"D:\\Apps", "D:\\Apps\\"},
        {"D:\\Apps\\\\\\", "D:\\Apps\\"},
        {"D:\\Apps   ", "D:\\Apps\\"},
        {"D:\\Apps\\ ", "D:\\Apps\\"},
        {"D:\\Apps \\", "D:\\Apps \\"},
        {"D:\\Apps \\ ", "D:\\Apps \\"},
        {"D:\\Apps\t", "D:\\Apps\t\\"},
        {"C:\\", "C:\\"},
        {"", "\\"},
        {"D:\\\x95\x5c", "D:\\\x95\x5c\\"},
        {"D:\\\x95\x5c\\\\  ", "D:\\\x95\x5c\\"},
        {"D:\\\xd5\x5c\x95\x5c", "D:\\\xd5\x5c\x95\x5c\\"},
        {"   ", "\\"},
        {"\\ \\ ", "\\ \\"},
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << "[" << c.typed << "]"; }

class NormalizeFolderTable : public ::testing::TestWithParam<FolderCase> {};

TEST_P(NormalizeFolderTable, EndsInExactlyOneBackslash) {
    CString s(GetParam().typed.c_str());
    NormalizeFolder(s);
    EXPECT_EQ(std::string(s.GetString()), GetParam().dir) << "typed [" << GetParam().typed << "]";
}

INSTANTIATE_TEST_SUITE_P(Rows, NormalizeFolderTable, ::testing::ValuesIn(kFolderCases),
                         [](const ::testing::TestParamInfo<FolderCase>& info) {
                             return "Row" + std::to_string(info.index);
                         });

TEST(NormalizeFolder, RunningTwiceChangesNothing) {
    for (const FolderCase& c : kFolderCases) {
        CString s(c.dir.c_str());
        NormalizeFolder(s);
        EXPECT_EQ(std::string(s.GetString()), c.dir);
    }
}

} // namespace
