// The default product definition gives setup.exe exactly the texts and names it must
// carry, in both forms the programs use: code page 936 bytes (setup.exe's ANSI calls)
// and UTF-16 (the uninstaller). The expected texts are written here as the product's
// description gives them, not taken from the definition.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "product.h"

namespace {

using namespace product;

std::string ToCp936(const std::string& utf8) {
    iconv_t cd = iconv_open("CP936", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no CP936 converter>";
    std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
    char* src = &in[0];
    char* dst = &out[0];
    size_t left = in.size(), room = out.size();
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return "<not in CP936>";
    out.resize(out.size() - room);
    return out;
}

std::string FromWide(const wchar_t* w) {
    std::string out;
    for (; *w; ++w) {
        const unsigned long c = static_cast<unsigned long>(*w);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct Fact {
    const char* what;
    const char* narrow;
    const wchar_t* wide;
    const char* expected; // UTF-8
};

#define FACT(name, text)                                                                                               \
    { #name, name, name##W, text }

const Fact kFacts[] = {
        // The frame, the exit question and the about entry.
        FACT(kSetupCaption, "QuillmateV1.0.0614 beta版 安装"),
        FACT(kTextsNext, "下一步(N) >"),
        FACT(kTextsCancel, "取消(C)"),
        FACT(kTextsBack, "< 上一步(P)"),
        FACT(kTextsFinish, "完成(F)"),
        FACT(kTextsAboutMenu, "关于 setup(&A)..."),
        FACT(kTextsExitQuestion, "\r\n\r\n\r        你确实要退出\"QuillmateV1.0.0614 beta版 \" 的安装程序?"),
        FACT(kTextsYes, "是(Y)"),
        FACT(kTextsNo, "否(N)"),
        // The pages.
        FACT(kTextsWelcomeHeading, "欢迎使用\"QuillmateV1.0.0614 beta版\"安装向导"),
        FACT(kTextsWelcomeText,
             "这个向导将指引你完成“QuillmateV1.0.0614 "
             "beta版”的安装进程。\r\n\r\n在开始安装之前，建议先关闭其他所有应用程序。"
             "这将允许“安装程序”更新指定的系统文件，而不需要重新启动你的计算机。\r\n\r\n单击 [下一步(N)] 继续。"),
        FACT(kTextsFolderText,
             "Setup 将安装 QuillmateV1.0.0614 beta版 在下列文件夹。要安装到不同文件夹，单击 [浏览(B)] "
             "并选择其他的文件夹。 单击 [下一步(N)] 继续。"),
        FACT(kTextsFolderGroup, "目标文件夹"),
        FACT(kTextsBrowse, "浏览(B)..."),
        FACT(kTextsFolderSubtitle, "  选择\"QuillmateV1.0.0614 beta 版\"的安装文件夹。"),
        FACT(kTextsFolderTitle, "选择安装位置"),
        FACT(kFolderDefault, "C:\\Program Files\\dunmerra\\"),
        FACT(kFolderBrowseTitle, "选择要安装 Quillmate完整内测V0.9.0422版 的文件夹位置:"),
        FACT(kTextsInstallSubtitle, "  \"QuillmateV1.0.0614 beta版\" 正在安装，请等候。"),
        FACT(kTextsInstallTitle, "正在安装"),
        FACT(kTextsCompleting, "Completing..."),
        FACT(kTextsFinishHeading, "欢迎使用\"QuillmateV1.0.0614 beta版\"安装向导"),
        FACT(kTextsFinishText, "Orvane已成功安装，点击完成退出向导。"),
        FACT(kTextsStartMenuOption, "在开启菜单中添加程序"),
        FACT(kTextsStartupOption, "添加开机启动"),
        FACT(kTextsDesktopOption, "添加桌面快捷方式"),
        FACT(kTextsRunOption, "立即运行程序"),
        FACT(kTextsFolderError, "文件夹路径错误!"),
        FACT(kTextsBrowserError, "执行软件时出错：%s"),
        // The payload's files and the version record.
        FACT(kFilesArchive, "fenrow.uha"),
        FACT(kFilesArchiver, "UHARC.EXE"),
        FACT(kFilesProgram, "pkl.exe"),
        FACT(kFilesUninstaller, "uninstall.exe"),
        FACT(kFilesUninstallerLinkTarget, "Uninstall.exe"),
        FACT(kSetupFileName, "setup"),
        FACT(kProductSetupVersion, "1.0.0.1"),
        // The registry.
        FACT(kRegistryProductKey, "Software\\tesmarin"),
        FACT(kRegistryPathValue, "Path"),
        FACT(kRegistryUninstallKey, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tesmarin"),
        FACT(kRegistryDisplayName, "Orvane"),
        FACT(kRegistryDisplayVersion, "1.0.0"),
        FACT(kRegistryVersionKeyCreate, "SOFTWARE\\tsmVersion"),
        FACT(kRegistryVersionKey, "Software\\tsmVersion"),
        FACT(kRegistryVersionValue, "tsmVersion"),
        FACT(kProductBuild, "1.0.0614"),
        FACT(kRegistryFolderValue, "tsmFilePath"),
        FACT(kRegistryTypeValue, "tsmType"),
        FACT(kRegistryType, "xl"),
        // The shortcuts.
        FACT(kShortcutsLink, "Quillmate.lnk"),
        FACT(kShortcutsGroup, "Quillmate"),
        FACT(kShortcutsUninstallLink, "卸载.lnk"),
        FACT(kShortcutsDescription, "Shortcut"),
};

TEST(DefaultProduct, TextsAndNamesAreTheSpecifiedOnes) {
    for (const Fact& f : kFacts) {
        SCOPED_TRACE(f.what);
        EXPECT_EQ(ToCp936(f.expected), f.narrow);
        EXPECT_EQ(f.expected, FromWide(f.wide));
    }
}

// The host is the vendor's choice; the browser gets one blank, then an HTTP address
// whose path is /suc.html.
TEST(DefaultProduct, SuccessPageCommandLine) {
    const std::string line = kFinishSuccessCommandLine;
    EXPECT_EQ(0u, line.rfind(" http://", 0)) << line;
    ASSERT_GE(line.size(), 9u);
    EXPECT_EQ("/suc.html", line.substr(line.size() - 9)) << line;
    EXPECT_EQ(line.size() - 9, line.find('/', 8)) << "the path is more than /suc.html: " << line;
}

} // namespace
