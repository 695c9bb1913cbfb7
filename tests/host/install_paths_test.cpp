// Which folders can be installed into, and the names and command lines built from them.
#include <gtest/gtest.h>

#include <string>

#include "install/InstallPaths.h"

namespace {

// A drive folder of exactly n bytes, trailing backslash included.
std::string DirOfLength(size_t n) {
    std::string dir = "C:\\";
    while (dir.size() + 1 < n) dir += (dir.size() % 50 == 0) ? '\\' : 'a';
    return dir + "\\";
}

TEST(InstallDir, UsableFolders) {
    struct Case {
        std::string dir;
        bool usable;
    } const cases[] = {
            {"C:\\Program Files\\dunmerra\\", true},
            {"C:\\", true},
            {"d:\\", true},
            {"C:\\a\\b\\c\\d\\e\\", true},
            {"\\\\server\\share\\", true},
            {"\\\\server\\share\\apps\\q\\", true},
            {"C:\\cond\\", true},
            {"C:\\console\\", true},
            {"C:\\LPT10\\", true},
            {"C:\\a b.c\\", true},
            {"C:\\.hidden\\", true},
            {"C:\\\xB0\xB2\xD7\xB0\\", true}, // "安装" in code page 936
            {"C:\\\x81\x7C\\", true},         // a trail byte equal to '|'
            {"C:\\\x81\x5C\\", true},         // a trail byte equal to '\'
            {"", false},
            {"\\", false},
            {"\\foo\\", false}, // relative to the current drive
            {"foo\\", false},
            {"C:foo\\", false},
            {"1:\\", false},
            {"C:\\foo", false}, // not normalised
            {"\\\\server\\", false},
            {"\\\\\\share\\", false},
            {"\\\\.\\C:\\", false},
            {"\\\\?\\C:\\x\\", false},
            {"C:\\a<b\\", false},
            {"C:\\a>b\\", false},
            {"C:\\a|b\\", false},
            {"C:\\a\"b\\", false},
            {"C:\\a?\\", false},
            {"C:\\a*\\", false},
            {"C:\\a:b\\", false},
            {"C:\\a\tb\\", false},
            {"C:\\dots...\\x\\", false},
            {"C:\\blank \\x\\", false},
            {"C:\\last.\\", false},
            {"C:\\a\\..\\b\\", false},
            {"C:\\CON\\", false},
            {"C:\\con\\", false},
            {"C:\\x\\nul\\", false},
            {"C:\\NUL.txt\\", false},
            {"C:\\aux \\", false},
            {"C:\\prn\\", false},
            {"C:\\COM1\\", false},
            {"C:\\lpt9\\", false},
            {"C:\\CONIN$\\", false},
            {"\\\\server\\share\\con\\", false},
            {"C:\\\xB0\\", false},  // B0 5C is one character: no final separator
            {"C:\\con.d\\", false}, // a device name with an extension is still the device
            {"C:\\COM0\\", false},
            {"C:\\clock$\\", false},
            {"C:\\x/con\\", false},  // the slash separates too
            {"C:\\a\\\\b\\", false}, // an empty name: the folder made would be C:\a\b
    };
    for (const Case& c : cases) EXPECT_EQ(c.usable, IsUsableInstallDir(c.dir.c_str())) << "\"" << c.dir << "\"";
    EXPECT_FALSE(IsUsableInstallDir(nullptr));
}

TEST(InstallDir, LengthLimit) {
    const struct {
        size_t length;
        bool usable;
    } cases[] = {{238, true}, {239, false}, {241, false}, {242, false}, {254, false}, {255, false}, {300, false}};
    for (const auto& c : cases) {
        const std::string dir = DirOfLength(c.length);
        ASSERT_EQ(c.length, dir.size());
        EXPECT_EQ(c.usable, IsUsableInstallDir(dir.c_str())) << c.length << " bytes";
    }
}

TEST(ArchiverCommand, QuotedPathsWithTheDoubledSeparator) {
    EXPECT_STREQ("\"C:\\Program Files\\dunmerra\\\\UHARC.EXE\" x -y \"C:\\Program Files\\dunmerra\\\\fenrow.uha\"",
                 ArchiverCommandLine("C:\\Program Files\\dunmerra\\"));
    EXPECT_STREQ("\"C:\\\\UHARC.EXE\" x -y \"C:\\\\fenrow.uha\"", ArchiverCommandLine("C:\\"));
}

TEST(PackNames, SuffixRemovedInAnyCase) {
    struct Case {
        const char* name;
        bool expanded;
        const char* out;
    } const cases[] = {
            {"rt.jar.pack.gz", true, "rt.jar"},
            {"rt.pack.gz", true, "rt"},
            {"data.pack.gz", true, "data"},
            {"lib.PACK.GZ", true, "lib"},
            {"Mixed.Pack.Gz", true, "Mixed"},
            {"a.pack.gz", true, "a"},
            {"..pack.gz", true, "."},
            {"x.pack.gz.pack.gz", true, "x.pack.gz"},
            {"\xB0\xB2.pack.gz", true, "\xB0\xB2"},
            {".pack.gz", false, ""},
            {".PACK.GZ", false, ""},
            {"rt.jar", false, ""},
            {"rt.pack.gzip", false, ""},
            {"pack.gz", false, ""},
            {"", false, ""},
    };
    for (const Case& c : cases) {
        CString out("stale");
        EXPECT_EQ(c.expanded, PackOutputName(c.name, out)) << c.name;
        EXPECT_STREQ(c.out, out) << c.name;
        if (c.expanded) {
            EXPECT_STRNE(c.name, out) << "input and output are one file: " << c.name;
        }
    }
    CString out("stale");
    EXPECT_FALSE(PackOutputName(nullptr, out));
    EXPECT_STREQ("", out);
}

TEST(PackNames, SearchPatternFitsOrIsRefused) {
    char buf[260];
    ASSERT_TRUE(PackSearchPattern(buf, sizeof(buf), "C:\\Program Files\\dunmerra\\jre\\lib\\"));
    EXPECT_STREQ("C:\\Program Files\\dunmerra\\jre\\lib\\*.pack.gz", buf);
    const std::string fits(250, 'p');
    EXPECT_TRUE(PackSearchPattern(buf, sizeof(buf), fits.c_str()));
    EXPECT_EQ(259u, std::string(buf).size());
    const std::string tooLong(251, 'p');
    EXPECT_FALSE(PackSearchPattern(buf, sizeof(buf), tooLong.c_str()));
    EXPECT_STREQ("", buf);
}

TEST(PackNames, ExpanderCommandLine) {
    char buf[1024];
    ASSERT_TRUE(ExpanderCommandLine(buf, sizeof(buf), "C:\\Program Files\\dunmerra\\",
                                    "C:\\Program Files\\dunmerra\\jre\\lib\\", "rt.jar.pack.gz", "rt.jar"));
    EXPECT_STREQ("\"C:\\Program Files\\dunmerra\\jre\\bin\\unpack200\" "
                 "\"C:\\Program Files\\dunmerra\\jre\\lib\\rt.jar.pack.gz\" "
                 "\"C:\\Program Files\\dunmerra\\jre\\lib\\rt.jar\"",
                 buf);
    // 25 bytes of fixed text, D, 2 x P, N and B: 1023 fit, 1024 do not.
    const std::string d(100, 'd'), p(300, 'p'), n(150, 'n');
    const std::string b(1023 - 25 - 100 - 600 - 150, 'b');
    EXPECT_TRUE(ExpanderCommandLine(buf, sizeof(buf), d.c_str(), p.c_str(), n.c_str(), b.c_str()));
    EXPECT_EQ(1023u, std::string(buf).size());
    const std::string b2 = b + "b";
    EXPECT_FALSE(ExpanderCommandLine(buf, sizeof(buf), d.c_str(), p.c_str(), n.c_str(), b2.c_str()));
    EXPECT_STREQ("", buf);
}

} // namespace
