// unpack200.exe: expands gzip-wrapped libraries to identical bytes, and on any failure
// leaves OUTPUT as it was.
#include <gtest/gtest.h>
#include <zlib.h>

#include "payload_support.h"

using namespace payload_test;

namespace {

const std::wstring& Tool() {
    static const std::wstring exe = FromBuildPath(UNPACK200_EXE);
    return exe;
}

std::string Gzip(const std::string& data) {
    z_stream z{};
    EXPECT_EQ(Z_OK, deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY));
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

RunResult Expand(const std::wstring& in, const std::wstring& out) {
    return RunProgram(Tool(), L"\"" + in + L"\" \"" + out + L"\"");
}

class Unpack200 : public ::testing::Test {
protected:
    TempFolder dir_{L"unpack200-test"};
    std::wstring Path(const std::wstring& name) const { return dir_.path() + name; }
};

TEST_F(Unpack200, ExpandsToIdenticalBytes) {
    const size_t sizes[] = {0, 1, 65535, 65536, 200001, 3u << 20};
    for (size_t size : sizes) {
        std::string data = SampleBytes(size, static_cast<uint32_t>(size));
        ASSERT_TRUE(WriteBytes(Path(L"lib.jar.pack.gz"), Gzip(data)));
        RunResult r = Expand(Path(L"lib.jar.pack.gz"), Path(L"lib.jar"));
        ASSERT_TRUE(r.finished) << "size " << size;
        EXPECT_EQ(0u, r.exit_code) << "size " << size;
        std::string got = ReadBytes(Path(L"lib.jar"));
        EXPECT_EQ(data.size(), got.size()) << "size " << size;
        EXPECT_TRUE(got == data) << "size " << size << ": contents differ";
        EXPECT_TRUE(Exists(Path(L"lib.jar.pack.gz"))) << "the packed file must stay";
    }
    EXPECT_EQ(2u, ListFolder(dir_.path().substr(0, dir_.path().size() - 1)).size()) << "a temporary file was left";
}

TEST_F(Unpack200, ConcatenatedMembersExpandInOrder) {
    std::string a = SampleBytes(1000, 1), b = SampleBytes(5000, 2);
    ASSERT_TRUE(WriteBytes(Path(L"two.pack.gz"), Gzip(a) + Gzip(b)));
    RunResult r = Expand(Path(L"two.pack.gz"), Path(L"two"));
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_TRUE(ReadBytes(Path(L"two")) == a + b);
}

TEST_F(Unpack200, CjkPathsAndRelativeOutput) {
    std::wstring sub = Path(L"运行时 库\\");
    MakeFolders(sub);
    std::string data = SampleBytes(123456, 7);
    ASSERT_TRUE(WriteBytes(sub + L"本地化.jar.pack.gz", Gzip(data)));
    RunResult r = Expand(sub + L"本地化.jar.pack.gz", sub + L"本地化.jar");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_TRUE(ReadBytes(sub + L"本地化.jar") == data) << Narrow(sub) << " expansion differs";
}

TEST_F(Unpack200, ReplacesAnExistingOutput) {
    std::string data = SampleBytes(4096, 3);
    ASSERT_TRUE(WriteBytes(Path(L"rt.jar.pack.gz"), Gzip(data)));
    ASSERT_TRUE(WriteBytes(Path(L"rt.jar"), std::string(100000, 'x')));
    EXPECT_EQ(0u, Expand(Path(L"rt.jar.pack.gz"), Path(L"rt.jar")).exit_code);
    EXPECT_TRUE(ReadBytes(Path(L"rt.jar")) == data);
}

TEST_F(Unpack200, RefusesToExpandAFileOntoItself) {
    std::string packed = Gzip(SampleBytes(3000, 4));
    ASSERT_TRUE(WriteBytes(Path(L"lib.PACK.GZ"), packed));
    ASSERT_TRUE(CreateHardLinkW(Path(L"other-name.jar").c_str(), Path(L"lib.PACK.GZ").c_str(), nullptr));
    struct Case {
        const wchar_t* what;
        std::wstring output;
    } cases[] = {
            {L"the same name", Path(L"lib.PACK.GZ")},
            {L"the name in other case", Path(L"LIB.pack.gz")},
            {L"a roundabout name", Path(L"sub\\..\\.\\lib.PACK.GZ")},
            {L"a hard link", Path(L"other-name.jar")},
    };
    for (const Case& c : cases) {
        RunResult r = Expand(Path(L"lib.PACK.GZ"), c.output);
        ASSERT_TRUE(r.finished) << Narrow(c.what);
        EXPECT_EQ(2u, r.exit_code) << Narrow(c.what);
        EXPECT_TRUE(ReadBytes(Path(L"lib.PACK.GZ")) == packed) << Narrow(c.what) << ": the input was changed";
    }
    EXPECT_EQ(2u, ListFolder(dir_.path().substr(0, dir_.path().size() - 1)).size()) << "a temporary file was left";
}

TEST_F(Unpack200, DamagedInputFailsAndLeavesOutputAlone) {
    std::string good = Gzip(SampleBytes(300000, 5));
    auto flip = [&good](size_t at) {
        std::string s = good;
        s[at] = static_cast<char>(s[at] ^ 0x55);
        return s;
    };
    struct Case {
        const char* what;
        std::string packed;
    } cases[] = {
            {"empty file", ""},
            {"not gzip", "PK\x03\x04 this is a jar, not a packed jar"},
            {"header only", good.substr(0, 10)},
            {"cut in half", good.substr(0, good.size() / 2)},
            {"trailer missing", good.substr(0, good.size() - 8)},
            {"last byte missing", good.substr(0, good.size() - 1)},
            {"CRC damaged", flip(good.size() - 6)},
            {"length damaged", flip(good.size() - 2)},
            {"deflate data damaged", flip(good.size() / 2)},
            {"trailing garbage", good + "garbage"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteBytes(Path(L"bad.jar.pack.gz"), c.packed));
        DeleteFileW(Path(L"bad.jar").c_str());
        RunResult r = Expand(Path(L"bad.jar.pack.gz"), Path(L"bad.jar"));
        ASSERT_TRUE(r.finished) << c.what;
        EXPECT_NE(0u, r.exit_code) << c.what;
        EXPECT_FALSE(Exists(Path(L"bad.jar"))) << c.what << ": a partial output was left";

        ASSERT_TRUE(WriteBytes(Path(L"bad.jar"), "previous version"));
        r = Expand(Path(L"bad.jar.pack.gz"), Path(L"bad.jar"));
        EXPECT_NE(0u, r.exit_code) << c.what;
        EXPECT_EQ("previous version", ReadBytes(Path(L"bad.jar"))) << c.what << ": the existing output was touched";
        std::vector<std::wstring> names = ListFolder(dir_.path().substr(0, dir_.path().size() - 1));
        EXPECT_EQ(2u, names.size()) << c.what << ": a temporary file was left";
    }
}

TEST_F(Unpack200, UsageAndFileErrors) {
    ASSERT_TRUE(WriteBytes(Path(L"ok.pack.gz"), Gzip("data")));
    CreateDirectoryW(Path(L"a-folder").c_str(), nullptr);
    struct Case {
        const char* what;
        std::wstring args;
        DWORD exit_code;
    } cases[] = {
            {"no arguments", L"", 2},
            {"one argument", L"\"" + Path(L"ok.pack.gz") + L"\"", 2},
            {"three arguments", L"\"" + Path(L"ok.pack.gz") + L"\" \"" + Path(L"x") + L"\" extra", 2},
            {"missing input", L"\"" + Path(L"none.pack.gz") + L"\" \"" + Path(L"none") + L"\"", 1},
            {"output folder missing", L"\"" + Path(L"ok.pack.gz") + L"\" \"" + Path(L"no\\such\\ok") + L"\"", 1},
            {"output is a folder", L"\"" + Path(L"ok.pack.gz") + L"\" \"" + Path(L"a-folder") + L"\"", 1},
            {"input is a folder", L"\"" + Path(L"a-folder") + L"\" \"" + Path(L"y") + L"\"", 1},
    };
    for (const Case& c : cases) {
        RunResult r = RunProgram(Tool(), c.args);
        ASSERT_TRUE(r.finished) << c.what;
        EXPECT_EQ(c.exit_code, r.exit_code) << c.what;
    }
    EXPECT_FALSE(Exists(Path(L"none")));
    EXPECT_FALSE(Exists(Path(L"y")));
    EXPECT_TRUE(IsFolder(Path(L"a-folder")));
    EXPECT_EQ(2u, ListFolder(dir_.path().substr(0, dir_.path().size() - 1)).size()) << "a temporary file was left";
}

} // namespace
