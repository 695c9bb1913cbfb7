// Archives on disk: round trips, determinism, damage, hostile archives, the command line.
#include "support.h"
#include "uharc.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

using namespace uharc;
using namespace uharc_test;

namespace {

const char kCjkDir[] = "\xE6\x96\x87\xE6\xA1\xA3";                   // 文档
const char kCjkFile[] = "\xE8\xAF\xB4\xE6\x98\x8E \xE4\xB9\xA6.txt"; // 说明 书.txt

void make_tree(const std::string& root, bool large) {
    make_dirs(root + "/empty folder");
    make_dirs(root + "/jre/lib/ext");
    make_dirs(root + "/" + kCjkDir);
    write_file(root + "/empty.txt", "");
    write_file(root + "/jre/lib/ext/a.jar.pack.gz", generated_bytes(5000, 1));
    if (large) write_file(root + "/jre/lib/big.bin", generated_bytes(24u << 20, 2));
    write_file(root + "/" + kCjkDir + "/" + kCjkFile, "\xE4\xBD\xA0\xE5\xA5\xBD\r\n");
    // an x86-64 ELF header sends this file to the BCJ block
    std::string elf = "\x7f"
                      "ELF";
    elf += std::string(14, '\2');
    elf += std::string("\x3e\x00", 2);
    elf += generated_bytes(70000, 3);
    write_file(root + "/pkl.so", elf);
    std::string deep = root;
    for (int i = 0; i < 40; ++i) deep += "/level" + std::to_string(i);
    make_dirs(deep);
    write_file(deep + "/bottom.txt", "deep");
    write_file(root + "/readonly.txt", "keep me");
    chmod((root + "/readonly.txt").c_str(), 0444);
    chmod((root + "/pkl.so").c_str(), 0755);
    struct timeval tv[2] = {{1000000000, 0}, {1000000000, 0}};
    utimes((root + "/empty.txt").c_str(), tv);
}

struct stat stat_of(const std::string& path) {
    struct stat st;
    EXPECT_EQ(0, lstat(path.c_str(), &st)) << path;
    return st;
}

std::string create(const std::string& folder, const std::string& archive, uint32_t preset = 9) {
    std::string error;
    WriteOptions options;
    options.preset = preset;
    EXPECT_TRUE(create_archive(folder, archive, options, error)) << error;
    return read_file(archive);
}

TEST(UharcArchive, RoundTripKeepsBytesNamesTimesAndModes) {
    ScratchDir dir;
    make_tree(dir / "src", true);
    create(dir / "src", dir / "a.uha", 1); // a fast preset: the large file is about size, not ratio
    make_dirs(dir / "out");
    std::string error;
    ASSERT_TRUE(extract_archive(dir / "a.uha", dir / "out", nullptr, error)) << error;

    auto src = snapshot(dir / "src");
    auto out = snapshot(dir / "out");
    ASSERT_EQ(1u, out.erase("uninstall.lst"));
    EXPECT_TRUE(src == out);
    for (const auto& kv : src) {
        if (kv.first.back() == '/') continue;
        EXPECT_EQ(src[kv.first].size(), out[kv.first].size()) << kv.first;
    }
    EXPECT_EQ(1000000000, stat_of(dir / "out/empty.txt").st_mtime);
    EXPECT_EQ(0444u, stat_of(dir / "out/readonly.txt").st_mode & 0777);
    EXPECT_EQ(0755u, stat_of(dir / "out/pkl.so").st_mode & 0777);
    EXPECT_EQ(stat_of(dir / "src/jre/lib").st_mtime, stat_of(dir / "out/jre/lib").st_mtime);
}

TEST(UharcArchive, ManifestListsEverythingWithBackslashesAndCrlf) {
    ScratchDir dir;
    make_dirs(dir / "src/bin");
    make_dirs(dir / "src/e");
    write_file(dir / "src/bin/pkl.exe", "x");
    write_file(dir / "src/uninstall.exe", "y");
    create(dir / "src", dir / "a.uha");
    make_dirs(dir / "out");
    std::string error;
    ASSERT_TRUE(extract_archive(dir / "a.uha", dir / "out", nullptr, error)) << error;
    EXPECT_EQ("bin\\\r\nbin\\pkl.exe\r\ne\\\r\nuninstall.exe\r\nuninstall.lst\r\n",
              read_file(dir / "out/uninstall.lst"));
}

TEST(UharcArchive, SameFolderGivesSameBytes) {
    ScratchDir dir;
    make_tree(dir / "src", false);
    std::string first = create(dir / "src", dir / "1.uha");
    // a copy made at another moment, in another order, must not change a byte
    make_dirs(dir / "copy");
    make_dirs(dir / "out");
    std::string error;
    ASSERT_TRUE(extract_archive(dir / "1.uha", dir / "copy", nullptr, error)) << error;
    remove_tree(dir / "copy/uninstall.lst");
    sleep(1);
    std::string second = create(dir / "copy", dir / "2.uha");
    EXPECT_TRUE(first == second) << "sizes " << first.size() << " and " << second.size();
    std::string third = create(dir / "src", dir / "3.uha");
    EXPECT_TRUE(first == third);
}

TEST(UharcArchive, ReplacesReadOnlyFiles) {
    ScratchDir dir;
    make_dirs(dir / "src");
    write_file(dir / "src/a.txt", "new");
    create(dir / "src", dir / "a.uha");
    make_dirs(dir / "out");
    write_file(dir / "out/a.txt", "old");
    chmod((dir / "out/a.txt").c_str(), 0444);
    std::string error;
    ASSERT_TRUE(extract_archive(dir / "a.uha", dir / "out", nullptr, error)) << error;
    EXPECT_EQ("new", read_file(dir / "out/a.txt"));
}

// A symbolic link already in the target folder, at a file's name or on its way: the
// extraction stops and nothing is written where the link points.
TEST(UharcArchive, NeverWritesThroughALink) {
    struct Case {
        const char* link;   // below out/
        const char* points; // below the scratch folder
    } cases[] = {
            {"b.txt", "victim/b.txt"},     // the file's own name
            {"sub", "victim"},             // a folder on the way
            {"sub/deep", "victim"},        // a deeper folder on the way
            {"gone.txt", "victim/absent"}, // dangling: would create the target
            {"empty", "victim"},           // an empty folder of the archive
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        make_dirs(dir / "src/sub/deep");
        make_dirs(dir / "src/empty");
        write_file(dir / "src/b.txt", "new b");
        write_file(dir / "src/gone.txt", "new gone");
        write_file(dir / "src/sub/deep/c.txt", "new c");
        create(dir / "src", dir / "a.uha");
        make_dirs(dir / "victim");
        write_file(dir / "victim/b.txt", "untouched");
        const std::string link = dir / (std::string("out/") + c.link);
        make_dirs(link.substr(0, link.find_last_of('/')));
        ASSERT_EQ(0, symlink((dir / c.points).c_str(), link.c_str())) << c.link;
        std::string error;
        EXPECT_FALSE(extract_archive(dir / "a.uha", dir / "out", nullptr, error)) << c.link;
        EXPECT_NE(std::string::npos, error.find("link")) << c.link << ": " << error;
        const std::map<std::string, std::string> untouched = {{"b.txt", "untouched"}};
        EXPECT_EQ(untouched, snapshot(dir / "victim")) << c.link;
        struct stat st;
        EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << c.link;
    }
}

TEST(UharcArchive, RefusesCaseTwinsAndBadNamesWhenCreating) {
    ScratchDir dir;
    make_dirs(dir / "src");
    write_file(dir / "src/Readme", "1");
    write_file(dir / "src/README", "2");
    std::string error;
    EXPECT_FALSE(create_archive(dir / "src", dir / "a.uha", WriteOptions(), error));
    EXPECT_NE(std::string::npos, error.find("duplicate")) << error;
    EXPECT_NE(0, access((dir / "a.uha").c_str(), F_OK));
    ScratchDir dir2;
    make_dirs(dir2 / "src");
    write_file(dir2 / "src/a:b", "1");
    EXPECT_FALSE(create_archive(dir2 / "src", dir2 / "a.uha", WriteOptions(), error));
}

// Damage: every case must fail, and leave nothing outside the target folder and no
// damaged file inside it.
class Damage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        make_dirs(*dir_ / "src/sub");
        write_file(*dir_ / "src/sub/one.bin", generated_bytes(300000, 7));
        write_file(*dir_ / "src/two.txt", generated_bytes(200000, 8));
        write_file(*dir_ / "src/three.txt", "three");
        create(*dir_ / "src", *dir_ / "good.uha");
        good_ = read_file(*dir_ / "good.uha");
        size_t head_size = 0;
        std::string error;
        Index ix;
        ASSERT_TRUE(decode_head(reinterpret_cast<const uint8_t*>(good_.data()), good_.size(), ix, head_size, error));
        head_size_ = head_size;
        source_ = snapshot(*dir_ / "src");
    }
    static void TearDownTestSuite() { delete dir_; }

    // Extracts `bytes` in a sandbox; returns the error text, "" if it succeeded.
    static std::string extract_damaged(const std::string& bytes) {
        ScratchDir box;
        write_file(box / "bad.uha", bytes);
        make_dirs(box / "out");
        std::string error;
        bool ok = extract_archive(box / "bad.uha", box / "out", nullptr, error);
        auto all = snapshot(box.path());
        for (const auto& kv : all) {
            bool inside = kv.first == "bad.uha" || kv.first.compare(0, 4, "out/") == 0;
            EXPECT_TRUE(inside) << "written outside: " << kv.first;
        }
        // whatever was extracted is complete and correct
        for (const auto& kv : snapshot(box / "out")) {
            if (kv.first == "uninstall.lst") continue;
            auto it = source_.find(kv.first);
            EXPECT_TRUE(it != source_.end() && it->second == kv.second) << "damaged file left: " << kv.first;
        }
        return ok ? std::string() : (error.empty() ? "?" : error);
    }

    static ScratchDir* dir_;
    static std::string good_;
    static size_t head_size_;
    static std::map<std::string, std::string> source_;
};

ScratchDir* Damage::dir_;
std::string Damage::good_;
size_t Damage::head_size_;
std::map<std::string, std::string> Damage::source_;

TEST_F(Damage, GoodArchiveExtracts) { EXPECT_EQ("", extract_damaged(good_)); }

TEST_F(Damage, TruncationAtManyOffsets) {
    std::vector<size_t> cuts = {0,
                                1,
                                3,
                                4,
                                20,
                                kHeaderSize - 1,
                                kHeaderSize,
                                head_size_ - 1,
                                head_size_,
                                head_size_ + 1,
                                good_.size() / 2,
                                good_.size() - 2,
                                good_.size() - 1};
    for (size_t i = 1; i < 24; ++i) cuts.push_back(good_.size() * i / 24);
    for (size_t cut : cuts) {
        std::string error = extract_damaged(good_.substr(0, cut));
        EXPECT_NE("", error) << "cut at " << cut;
        if (cut >= kHeaderSize) {
            EXPECT_NE(std::string::npos, error.find("truncated")) << "cut at " << cut << ": " << error;
        }
    }
}

TEST_F(Damage, ExtraBytesAtTheEnd) { EXPECT_NE("", extract_damaged(good_ + "x")); }

TEST_F(Damage, FlippedBytesInHeaderIndexAndData) {
    std::vector<size_t> offsets;
    for (size_t i = 0; i < kHeaderSize; i += 3) offsets.push_back(i);
    for (size_t i = kHeaderSize; i < head_size_; i += 7) offsets.push_back(i);
    for (size_t i = head_size_; i < good_.size(); i += (good_.size() - head_size_) / 60 + 1) offsets.push_back(i);
    offsets.push_back(good_.size() - 1);
    for (size_t off : offsets) {
        std::string bad = good_;
        bad[off] = static_cast<char>(bad[off] ^ 0x10);
        std::string error = extract_damaged(bad);
        EXPECT_NE("", error) << "flip at " << off;
        if (off < head_size_ && off >= 4) {
            EXPECT_NE(std::string::npos, error.find("damaged")) << "flip at " << off << ": " << error;
        }
    }
}

// Builds an archive around hand-made entries, whose files are all empty.
std::string crafted(const std::vector<Entry>& entries, bool check = true) {
    Index ix;
    ix.blocks.push_back({0, 1, 0}); // an empty LZMA2 stream is its end marker, one zero byte
    ix.entries = entries;
    std::vector<uint8_t> head = encode_head(ix);
    if (check) {
        EXPECT_NE("", check_index(ix));
    }
    std::string s(head.begin(), head.end());
    s.push_back('\0');
    return s;
}

TEST(UharcHostile, PathsAreRefusedBeforeAnythingIsWritten) {
    const char* paths[] = {"../escape", "a/../../escape", "/tmp/escape", "C:/escape", "c:escape", "a\\..\\..\\escape",
                           "CON",       "sub/nul.txt",    "COM1",        "LPT1.log",  "AUX",      "PRN",
                           "",          "a//b",           "x:stream",    "dot."};
    for (const char* p : paths) {
        for (EntryType type : {EntryType::File, EntryType::Folder}) {
            ScratchDir box;
            Entry first;
            first.type = EntryType::Folder;
            first.path = "harmless";
            Entry e;
            e.type = type;
            e.path = p;
            write_file(box / "h.uha", crafted({first, e}));
            make_dirs(box / "out");
            std::string output;
            int rc = run_uharc({"x", "-y", "../h.uha"}, box / "out", &output);
            EXPECT_EQ(1, rc) << p;
            EXPECT_NE(std::string::npos, output.find("refused")) << p << ": " << output;
            auto all = snapshot(box.path());
            EXPECT_EQ(2u, all.size()) << p << ": something was written";
        }
    }
}

TEST(UharcHostile, EmptyEntriesOnlyArchiveWorks) {
    ScratchDir box;
    Entry d;
    d.type = EntryType::Folder;
    d.path = "d";
    Entry f;
    f.path = "d/f";
    Index ix;
    ix.blocks.push_back({0, 1, 0});
    ix.entries = {d, f};
    std::vector<uint8_t> head = encode_head(ix);
    std::string s(head.begin(), head.end());
    s.push_back('\0');
    write_file(box / "ok.uha", s);
    make_dirs(box / "out");
    EXPECT_EQ(0, run_uharc({"x", "-y", "../ok.uha"}, box / "out"));
    EXPECT_EQ("", read_file(box / "out/d/f"));
}

TEST(UharcCli, ExitCodesAndMessages) {
    ScratchDir dir;
    make_dirs(dir / "src");
    write_file(dir / "src/f.txt", "content");
    std::string out;
    EXPECT_EQ(2, run_uharc({}, dir.path(), &out));
    EXPECT_EQ(2, run_uharc({"q", "x"}, dir.path(), &out));
    EXPECT_EQ(0, run_uharc({"a", "a.uha", "src"}, dir.path(), &out)) << out;
    EXPECT_EQ(1, run_uharc({"a", "b.uha", "missing"}, dir.path(), &out));
    EXPECT_EQ(0, run_uharc({"t", "a.uha"}, dir.path(), &out)) << out;
    EXPECT_EQ(0, run_uharc({"l", "a.uha"}, dir.path(), &out)) << out;
    EXPECT_NE(std::string::npos, out.find("f.txt")) << out;
    EXPECT_NE(std::string::npos, out.find("uninstall.lst")) << out;
    EXPECT_EQ(1, run_uharc({"x", "-y", "missing.uha"}, dir.path(), &out));
    EXPECT_NE(std::string::npos, out.find("cannot open")) << out;
    write_file(dir / "not.uha", "PK\3\4 something else");
    EXPECT_EQ(1, run_uharc({"x", "-y", "not.uha"}, dir.path(), &out));
    EXPECT_NE(std::string::npos, out.find("not a UHA archive")) << out;
    EXPECT_EQ(1, run_uharc({"t", "not.uha"}, dir.path(), &out));

    // without -y an existing file stops everything before the first write
    make_dirs(dir / "out");
    write_file(dir / "out/f.txt", "mine");
    EXPECT_EQ(1, run_uharc({"x", "../a.uha"}, dir / "out", &out));
    EXPECT_NE(std::string::npos, out.find("-y")) << out;
    EXPECT_EQ("mine", read_file(dir / "out/f.txt"));
    EXPECT_NE(0, access((dir / "out/uninstall.lst").c_str(), F_OK));
    EXPECT_EQ(0, run_uharc({"x", "-y", "../a.uha"}, dir / "out", &out)) << out;
    EXPECT_EQ("content", read_file(dir / "out/f.txt"));
    EXPECT_NE(std::string::npos, out.find("Done.")) << out;
}

TEST(UharcCli, WriteFailureStopsWithMessage) {
    ScratchDir dir;
    make_dirs(dir / "src");
    write_file(dir / "src/a.bin", generated_bytes(3u << 20, 5));
    write_file(dir / "src/b.txt", "after");
    ASSERT_EQ(0, run_uharc({"a", "a.uha", "src"}, dir.path()));
    make_dirs(dir / "out");
    // A file size limit makes writes fail as on a full disk.
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl = {1u << 20, 1u << 20};
        setrlimit(RLIMIT_FSIZE, &rl);
        std::string out;
        int rc = run_uharc({"x", "-y", "../a.uha"}, dir / "out", &out);
        _exit(rc == 1 && out.find("cannot write a.bin") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(0, access((dir / "out/a.bin").c_str(), F_OK)) << "partial file left";
    EXPECT_NE(0, access((dir / "out/b.txt").c_str(), F_OK)) << "went on after the failure";
}

} // namespace
