// Reads the compiled resources of setup.rc back (this program links the same script)
// and compares every template, text, image and the version record with what the
// program and its users rely on.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver.h"
#include "res/resource.h"

namespace {

using e2e::Utf8;

// A name or an ordinal, as templates store class names, texts and menu names.
struct NameOrId {
    bool is_id = false;
    WORD id = 0;
    std::wstring name;
    bool operator==(const NameOrId& o) const { return is_id == o.is_id && (is_id ? id == o.id : name == o.name); }
};

std::string Show(const NameOrId& n) { return n.is_id ? "#" + std::to_string(n.id) : "\"" + Utf8(n.name) + "\""; }

struct Control {
    DWORD style, exstyle;
    short x, y, cx, cy;
    LONG id;
    NameOrId cls, text;
};

struct Dialog {
    bool ex = false;
    DWORD style = 0, exstyle = 0, help = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrId menu, cls;
    std::wstring caption;
    WORD points = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::wstring face;
    std::vector<Control> controls;
};

// Reads a template the way the dialog manager does; stops (with fewer controls) rather
// than read past the resource's end.
class Reader {
public:
    Reader(const BYTE* p, size_t n) : p_(p), end_(p + n), base_(p) {}
    bool ok() const { return ok_; }
    template <class T>
    T Get() {
        T v{};
        if (end_ - p_ < static_cast<ptrdiff_t>(sizeof v)) {
            ok_ = false;
            return v;
        }
        memcpy(&v, p_, sizeof v);
        p_ += sizeof v;
        return v;
    }
    std::wstring Sz() {
        std::wstring s;
        for (WCHAR c; ok_ && (c = Get<WCHAR>()) != 0;) s += c;
        return s;
    }
    NameOrId Nid() {
        NameOrId n;
        WORD first = Get<WORD>();
        if (first == 0xFFFF) {
            n.is_id = true;
            n.id = Get<WORD>();
        } else if (first != 0) {
            n.name += static_cast<WCHAR>(first);
            n.name += Sz();
        }
        return n;
    }
    void Align(size_t a) {
        size_t off = p_ - base_;
        size_t pad = (a - off % a) % a;
        if (end_ - p_ < static_cast<ptrdiff_t>(pad))
            ok_ = false;
        else
            p_ += pad;
    }
    void Skip(size_t n) {
        if (end_ - p_ < static_cast<ptrdiff_t>(n))
            ok_ = false;
        else
            p_ += n;
    }

private:
    const BYTE* p_;
    const BYTE* end_;
    const BYTE* base_;
    bool ok_ = true;
};

bool LoadRes(LPCWSTR type, int id, const BYTE** data, DWORD* size) {
    HRSRC r =
            FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (!r) return false;
    HGLOBAL g = LoadResource(nullptr, r);
    *data = static_cast<const BYTE*>(LockResource(g));
    *size = SizeofResource(nullptr, r);
    return *data != nullptr;
}

bool ParseDialog(int id, Dialog* d) {
    const BYTE* data;
    DWORD size;
    if (!LoadRes(MAKEINTRESOURCEW(5) /* RT_DIALOG */, id, &data, &size)) return false;
    Reader rd(data, size);
    WORD count = 0;
    if (rd.Get<WORD>() == 1 && rd.Get<WORD>() == 0xFFFF) {
        d->ex = true;
        d->help = rd.Get<DWORD>();
        d->exstyle = rd.Get<DWORD>();
        d->style = rd.Get<DWORD>();
    } else {
        rd = Reader(data, size);
        d->style = rd.Get<DWORD>();
        d->exstyle = rd.Get<DWORD>();
    }
    count = rd.Get<WORD>();
    d->x = rd.Get<short>();
    d->y = rd.Get<short>();
    d->cx = rd.Get<short>();
    d->cy = rd.Get<short>();
    d->menu = rd.Nid();
    d->cls = rd.Nid();
    d->caption = rd.Sz();
    if (d->style & DS_SETFONT) {
        d->points = rd.Get<WORD>();
        if (d->ex) {
            d->weight = rd.Get<WORD>();
            d->italic = rd.Get<BYTE>();
            d->charset = rd.Get<BYTE>();
        }
        d->face = rd.Sz();
    }
    for (WORD i = 0; i < count && rd.ok(); ++i) {
        rd.Align(4);
        Control c{};
        if (d->ex) {
            rd.Get<DWORD>(); // help id
            c.exstyle = rd.Get<DWORD>();
            c.style = rd.Get<DWORD>();
        } else {
            c.style = rd.Get<DWORD>();
            c.exstyle = rd.Get<DWORD>();
        }
        c.x = rd.Get<short>();
        c.y = rd.Get<short>();
        c.cx = rd.Get<short>();
        c.cy = rd.Get<short>();
        c.id = d->ex ? rd.Get<LONG>() : static_cast<LONG>(static_cast<short>(rd.Get<WORD>()));
        c.cls = rd.Nid();
        c.text = rd.Nid();
        rd.Skip(rd.Get<WORD>());
        if (rd.ok()) d->controls.push_back(c);
    }
    return rd.ok();
}

NameOrId Id(WORD v) { return NameOrId{true, v, {}}; }
NameOrId Str(const wchar_t* s) { return NameOrId{false, 0, s}; }
const NameOrId kButton = Id(0x80), kEdit = Id(0x81), kStatic = Id(0x82);

// What the dialog manager does with a class: the predefined ones by atom, others by name
// in any letter case.
bool SameClass(const NameOrId& got, const NameOrId& want) {
    if (got.is_id || want.is_id) return got == want;
    return _wcsicmp(got.name.c_str(), want.name.c_str()) == 0;
}

const DWORD kText = 0x50020000, kPicture = 0x5000000E, kLine = 0x50000010, kPush = 0x50010000, kCheck = 0x50010003;

// Texts written with escapes so that every blank and quote is visible.
const wchar_t kProduct[] = L"QuillmateV1.0.0614 beta\x7248"; // ...beta版
const std::wstring kHeading = std::wstring(L"\x6B22\x8FCE\x4F7F\x7528\"") + kProduct + L"\"\x5B89\x88C5\x5411\x5BFC";

struct Expected {
    int id;
    bool ex;
    DWORD style, exstyle;
    short cx, cy;
    std::wstring caption;
    WORD points;
    std::wstring face;
    std::vector<Control> controls;
};

std::vector<Expected> Templates() {
    const std::wstring frame_caption = std::wstring(kProduct) + L" \x5B89\x88C5";
    const std::wstring song = L"\x5B8B\x4F53"; // 宋体
    return {
            {IDD_SETUP_DIALOG,
             true,
             0x90CA00C0,
             0x00040000,
             332,
             223,
             frame_caption,
             9,
             song,
             {{kText, 0, 0, 0, 331, 189, -1, kStatic, Str(L"Static")},
              {kPush, 0, 214, 198, 50, 14, 1000, kButton, Str(L"\x4E0B\x4E00\x6B65(N) >")},
              {kPush, 0, 271, 198, 50, 14, 1001, kButton, Str(L"\x53D6\x6D88(C)")},
              {kPush, 0, 161, 198, 50, 14, 1003, kButton, Str(L"< \x4E0A\x4E00\x6B65(P)")},
              {kLine, 0, 0, 189, 331, 1, -1, kStatic, Str(L"")}}},
            {IDD_WELCOME,
             false,
             0x40000040,
             0,
             248,
             147,
             L"",
             10,
             L"System",
             {{kPicture, 0, 0, 0, 82, 145, -1, kStatic, Id(138)},
              {kText, 0, 86, 7, 147, 24, 1008, kStatic, Str(kHeading.c_str())},
              {kText, 0, 86, 37, 144, 74, 1007, kStatic,
               Str(L"\x8FD9\x4E2A\x5411\x5BFC\x5C06\x6307\x5F15\x4F60\x5B8C\x6210\x201C"
                   L"QuillmateV1.0.0614 beta\x7248\x201D\x7684\x5B89\x88C5\x8FDB\x7A0B\x3002\r\n\r\n"
                   L"\x5728\x5F00\x59CB\x5B89\x88C5\x4E4B\x524D\xFF0C\x5EFA\x8BAE\x5148\x5173\x95ED"
                   L"\x5176\x4ED6\x6240\x6709\x5E94\x7528\x7A0B\x5E8F\x3002\x8FD9\x5C06\x5141\x8BB8"
                   L"\x201C\x5B89\x88C5\x7A0B\x5E8F\x201D\x66F4\x65B0\x6307\x5B9A\x7684\x7CFB\x7EDF"
                   L"\x6587\x4EF6\xFF0C\x800C\x4E0D\x9700\x8981\x91CD\x65B0\x542F\x52A8\x4F60\x7684"
                   L"\x8BA1\x7B97\x673A\x3002\r\n\r\n\x5355\x51FB [\x4E0B\x4E00\x6B65(N)] \x7EE7\x7EED\x3002")}}},
            {IDD_FOLDER,
             false,
             0x40000040,
             0,
             285,
             178,
             L"",
             10,
             song,
             {{kPicture, 0, 0, 0, 71, 27, -1, kStatic, Id(140)},
              {kText, 0, 8, 38, 275, 34, 1009, kStatic,
               Str(L"Setup \x5C06\x5B89\x88C5 QuillmateV1.0.0614 beta\x7248 \x5728\x4E0B\x5217\x6587\x4EF6\x5939"
                   L"\x3002\x8981\x5B89\x88C5\x5230\x4E0D\x540C\x6587\x4EF6\x5939\xFF0C\x5355\x51FB "
                   L"[\x6D4F\x89C8(B)] \x5E76\x9009\x62E9\x5176\x4ED6\x7684\x6587\x4EF6\x5939\x3002 "
                   L"\x5355\x51FB [\x4E0B\x4E00\x6B65(N)] \x7EE7\x7EED\x3002")},
              {0x50000007, 0, 8, 95, 264, 51, 1010, kButton, Str(L"\x76EE\x6807\x6587\x4EF6\x5939")},
              {0x50810080, 0, 12, 113, 171, 12, 1004, kEdit, Str(L"")},
              {kPush, 0, 198, 114, 49, 12, 1000, kButton, Str(L"\x6D4F\x89C8(B)...")},
              {kText, 0, 89, 13, 196, 19, 1008, kStatic,
               Str(L"  \x9009\x62E9\"QuillmateV1.0.0614 beta \x7248\"\x7684\x5B89\x88C5\x6587\x4EF6\x5939\x3002")},
              {kLine, 0, 2, 32, 283, 1, -1, kStatic, Str(L"")},
              {kText, 0, 89, 0, 196, 13, 1007, kStatic, Str(L"\x9009\x62E9\x5B89\x88C5\x4F4D\x7F6E")}}},
            {IDD_INSTALL,
             false,
             0x40000040,
             0,
             257,
             144,
             L"",
             10,
             L"System",
             {{kPicture, 0, 0, 0, 79, 27, -1, kStatic, Id(140)},
              {0x50800001, 0, 3, 48, 244, 11, 1005, Str(L"msctls_progress32"), Str(L"Progress1")},
              {0x50810880, 0, 3, 64, 244, 12, 1004, kEdit, Str(L"")},
              {kLine, 0, 1, 26, 250, 1, -1, kStatic, Str(L"")},
              {kText, 0, 78, 11, 177, 15, 1008, kStatic,
               Str(L"  \"QuillmateV1.0.0614 beta\x7248\" \x6B63\x5728\x5B89\x88C5\xFF0C\x8BF7\x7B49\x5019\x3002")},
              {kText, 0, 78, 0, 177, 11, 1007, kStatic, Str(L"\x6B63\x5728\x5B89\x88C5")}}},
            {IDD_FINISH,
             false,
             0x40000040,
             0,
             274,
             180,
             L"",
             10,
             song,
             {{kPicture, 0, 0, 0, 94, 178, -1, kStatic, Id(138)},
              {kText, 0, 98, 7, 143, 22, 1011, kStatic, Str(kHeading.c_str())},
              {kText, 0, 98, 35, 147, 17, 1012, kStatic,
               Str(L"Orvane\x5DF2\x6210\x529F\x5B89\x88C5\xFF0C\x70B9\x51FB\x5B8C\x6210\x9000\x51FA\x5411\x5BFC"
                   L"\x3002")},
              {kCheck, 0, 98, 65, 146, 14, 1006, kButton,
               Str(L"\x5728\x5F00\x542F\x83DC\x5355\x4E2D\x6DFB\x52A0\x7A0B\x5E8F")},
              {kCheck, 0, 98, 85, 146, 14, 1007, kButton, Str(L"\x6DFB\x52A0\x5F00\x673A\x542F\x52A8")},
              {kCheck, 0, 98, 103, 146, 14, 1008, kButton, Str(L"\x6DFB\x52A0\x684C\x9762\x5FEB\x6377\x65B9\x5F0F")},
              {kCheck, 0, 98, 122, 146, 14, 1009, kButton, Str(L"\x7ACB\x5373\x8FD0\x884C\x7A0B\x5E8F")}}},
            {IDD_EXITCONFIRM,
             false,
             0x80C800C0,
             0,
             219,
             90,
             frame_caption,
             10,
             song,
             {{0x50020001, 0, 0, 0, 218, 55, 1008, kStatic,
               Str(L"\r\n\r\n\r        \x4F60\x786E\x5B9E\x8981\x9000\x51FA\"QuillmateV1.0.0614 beta\x7248 \" "
                   L"\x7684\x5B89\x88C5\x7A0B\x5E8F?")},
              {kPush, 0, 95, 64, 49, 17, 1000, kButton, Str(L"\x662F(Y)")},
              {kPush, 0, 155, 64, 49, 17, 1001, kButton, Str(L"\x5426(N)")},
              {kPicture, 0, 6, 19, 25, 21, -1, kStatic, Id(141)}}},
    };
}

class TemplateTest : public ::testing::TestWithParam<Expected> {};

TEST_P(TemplateTest, MatchesItsDefinition) {
    const Expected& e = GetParam();
    Dialog d;
    ASSERT_TRUE(ParseDialog(e.id, &d)) << "template " << e.id << " missing or truncated";
    EXPECT_EQ(e.ex, d.ex);
    EXPECT_EQ(e.style, d.style) << std::hex << "style 0x" << d.style;
    EXPECT_EQ(e.exstyle, d.exstyle) << std::hex << "extended style 0x" << d.exstyle;
    EXPECT_EQ(0u, d.help);
    EXPECT_EQ(0, d.x);
    EXPECT_EQ(0, d.y);
    EXPECT_EQ(e.cx, d.cx);
    EXPECT_EQ(e.cy, d.cy);
    EXPECT_TRUE(d.menu == NameOrId{}) << "menu " << Show(d.menu);
    EXPECT_TRUE(d.cls == NameOrId{}) << "class " << Show(d.cls);
    EXPECT_EQ(Utf8(e.caption), Utf8(d.caption));
    EXPECT_EQ(e.points, d.points);
    EXPECT_EQ(Utf8(e.face), Utf8(d.face));
    if (e.ex) {
        EXPECT_EQ(0, d.weight);
        EXPECT_EQ(0, d.italic);
        EXPECT_EQ(1, d.charset);
    }
    ASSERT_EQ(e.controls.size(), d.controls.size());
    for (size_t i = 0; i < e.controls.size(); ++i) {
        const Control& w = e.controls[i];
        const Control& g = d.controls[i];
        SCOPED_TRACE("template " + std::to_string(e.id) + ", control " + std::to_string(i) + " (id " +
                     std::to_string(w.id) + ")");
        EXPECT_EQ(w.id, g.id);
        EXPECT_TRUE(SameClass(g.cls, w.cls)) << "class " << Show(g.cls) << ", want " << Show(w.cls);
        EXPECT_EQ(w.style, g.style) << std::hex << "style 0x" << g.style;
        EXPECT_EQ(0u, g.exstyle);
        EXPECT_EQ(w.x, g.x);
        EXPECT_EQ(w.y, g.y);
        EXPECT_EQ(w.cx, g.cx);
        EXPECT_EQ(w.cy, g.cy);
        EXPECT_TRUE(g.text == w.text) << "text " << Show(g.text) << ", want " << Show(w.text);
    }
}

INSTANTIATE_TEST_SUITE_P(Setup, TemplateTest, ::testing::ValuesIn(Templates()),
                         [](const ::testing::TestParamInfo<Expected>& i) {
                             return "Template" + std::to_string(i.param.id);
                         });

TEST(AboutBox, HasProductVersionAndOk) {
    Dialog d;
    ASSERT_TRUE(ParseDialog(IDD_ABOUTBOX, &d));
    EXPECT_EQ(Utf8(L"\x5B8B\x4F53"), Utf8(d.face));
    EXPECT_EQ(9, d.points);
    EXPECT_FALSE(d.style & WS_VISIBLE);
    bool product = false, version = false, ok = false;
    for (const Control& c : d.controls) {
        if (c.id == IDC_ABOUT_PRODUCT) product = c.text.name.find(L"Quillmate") != std::wstring::npos;
        if (c.id == IDC_ABOUT_VERSION) version = c.text.name.find(L"1.0.0.1") != std::wstring::npos;
        if (c.id == IDOK) ok = c.cls == kButton && (c.style & WS_TABSTOP);
    }
    EXPECT_TRUE(product);
    EXPECT_TRUE(version);
    EXPECT_TRUE(ok);
}

TEST(Strings, AboutMenuEntry) {
    WCHAR buf[64] = {};
    int n = LoadStringW(nullptr, IDS_ABOUTBOX, buf, ARRAYSIZE(buf));
    EXPECT_EQ(Utf8(L"\x5173\x4E8E setup(&A)..."), Utf8(std::wstring(buf, n > 0 ? n : 0)));
    // The framework's application-title string must stay absent: the display name comes
    // from the executable's name.
    EXPECT_EQ(0, LoadStringW(nullptr, 0xE000, buf, ARRAYSIZE(buf)));
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bpp;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(Icon, GroupHasTheSevenImages) {
    const BYTE* data;
    DWORD size;
    ASSERT_TRUE(LoadRes(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, IDR_MAINFRAME, &data, &size));
    ASSERT_GE(size, 6u);
    WORD count;
    memcpy(&count, data + 4, sizeof count);
    struct Want {
        int px, bpp;
    } want[] = {{48, 8}, {32, 8}, {16, 8}, {128, 32}, {48, 32}, {16, 32}, {32, 24}};
    ASSERT_EQ(ARRAYSIZE(want), count);
    ASSERT_GE(size, 6 + count * sizeof(GroupEntry));
    for (int i = 0; i < count; ++i) {
        GroupEntry g;
        memcpy(&g, data + 6 + i * sizeof g, sizeof g);
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(want[i].px % 256, g.width);
        EXPECT_EQ(want[i].px % 256, g.height);
        EXPECT_EQ(want[i].bpp, g.bpp);
        const BYTE* img;
        DWORD img_size;
        ASSERT_TRUE(LoadRes(MAKEINTRESOURCEW(3) /* RT_ICON */, g.id, &img, &img_size));
        BITMAPINFOHEADER h;
        ASSERT_GE(img_size, sizeof h);
        memcpy(&h, img, sizeof h);
        EXPECT_EQ(want[i].px, h.biWidth);
        EXPECT_EQ(want[i].px * 2, h.biHeight);
        EXPECT_EQ(want[i].bpp, h.biBitCount);
    }
    HICON icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    EXPECT_TRUE(icon != nullptr);
    if (icon) DestroyIcon(icon);
}

struct BitmapCase {
    int id, width, height;
};

class BitmapTest : public ::testing::TestWithParam<BitmapCase> {};

TEST_P(BitmapTest, SizeAndDepth) {
    const BYTE* data;
    DWORD size;
    ASSERT_TRUE(LoadRes(MAKEINTRESOURCEW(2) /* RT_BITMAP */, GetParam().id, &data, &size));
    BITMAPINFOHEADER h;
    ASSERT_GE(size, sizeof h);
    memcpy(&h, data, sizeof h);
    EXPECT_EQ(GetParam().width, h.biWidth);
    EXPECT_EQ(GetParam().height, h.biHeight);
    EXPECT_EQ(24, h.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), h.biCompression);
    DWORD stride = (GetParam().width * 3 + 3) & ~3u;
    EXPECT_GE(size, sizeof h + stride * GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Setup, BitmapTest,
                         ::testing::Values(BitmapCase{IDB_SIDEBAR, 164, 290}, BitmapCase{IDB_HEADER, 158, 53},
                                           BitmapCase{IDB_WARNING, 44, 34}),
                         [](const ::testing::TestParamInfo<BitmapCase>& i) {
                             return "Bitmap" + std::to_string(i.param.id);
                         });

// Pixel (x, y) from the top of a bottom-up 24-bit resource bitmap.
COLORREF BitmapPixel(int id, int x, int y) {
    const BYTE* data;
    DWORD size;
    if (!LoadRes(MAKEINTRESOURCEW(2), id, &data, &size)) return CLR_INVALID;
    BITMAPINFOHEADER h;
    memcpy(&h, data, sizeof h);
    DWORD stride = (h.biWidth * 3 + 3) & ~3u;
    DWORD off = h.biSize + stride * (h.biHeight - 1 - y) + x * 3;
    if (off + 3 > size) return CLR_INVALID;
    return RGB(data[off + 2], data[off + 1], data[off]);
}

TEST(Bitmaps, WarningSignOnWhite) {
    // corners white, the triangle yellow beside the mark, the mark itself black
    for (POINT p : {POINT{0, 0}, POINT{43, 0}, POINT{0, 33}, POINT{43, 33}})
        EXPECT_EQ(RGB(255, 255, 255), BitmapPixel(IDB_WARNING, p.x, p.y)) << p.x << "," << p.y;
    COLORREF body = BitmapPixel(IDB_WARNING, 16, 26);
    EXPECT_GE(GetRValue(body), 230) << e2e::ColourText(body);
    EXPECT_GE(GetGValue(body), 180) << e2e::ColourText(body);
    EXPECT_LE(GetBValue(body), 90) << e2e::ColourText(body);
    EXPECT_EQ(RGB(0, 0, 0), BitmapPixel(IDB_WARNING, 22, 16));
    EXPECT_EQ(RGB(0, 0, 0), BitmapPixel(IDB_WARNING, 22, 27));
}

TEST(Bitmaps, ArtworkOnLightBlue) {
    for (int id : {IDB_SIDEBAR, IDB_HEADER}) {
        COLORREF c = BitmapPixel(id, 2, 2);
        EXPECT_GT(GetBValue(c), GetRValue(c)) << id << " " << e2e::ColourText(c);
        EXPECT_GE(GetBValue(c), 200) << id << " " << e2e::ColourText(c);
    }
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* p = nullptr;
    UINT n = 0;
    std::wstring key = std::wstring(L"\\StringFileInfo\\080403a8\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &p, &n) || !p) return L"(missing)";
    return std::wstring(static_cast<const wchar_t*>(p), n && !static_cast<const wchar_t*>(p)[n - 1] ? n - 1 : n);
}

TEST(Version, Record) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    DWORD handle = 0;
    DWORD n = GetFileVersionInfoSizeW(self, &handle);
    ASSERT_GT(n, 0u);
    std::vector<BYTE> info(n);
    ASSERT_TRUE(GetFileVersionInfoW(self, 0, n, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    DWORD* tr = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len));
    ASSERT_GE(len, 4u);
    EXPECT_EQ(0x0804, LOWORD(*tr));
    EXPECT_EQ(936, HIWORD(*tr));
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } want[] = {
            {L"InternalName", L"setup"},     {L"OriginalFilename", L"setup.EXE"}, {L"FileVersion", L"1.0.0.1"},
            {L"ProductVersion", L"1.0.0.1"}, {L"ProductName", L"Quillmate"},      {L"CompanyName", L"dunmerra"},
    };
    for (const auto& w : want) EXPECT_EQ(Utf8(w.value), Utf8(VersionString(info, w.name))) << Utf8(w.name);
    EXPECT_NE(std::wstring::npos, VersionString(info, L"FileDescription").find(L"Quillmate"));
}

} // namespace
