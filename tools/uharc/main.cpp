// uharc: creates, extracts, lists and tests UHA archives.
#include "display.h"
#include "uharc.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include "afx/afxhandle.h"
#endif

namespace {

using namespace uharc;

const char kUsage[] = "usage: uharc a ARCHIVE FOLDER   create ARCHIVE from the contents of FOLDER\n"
                      "       uharc x [-y] ARCHIVE     extract into the current folder (-y: replace files)\n"
                      "       uharc l ARCHIVE          list the contents\n"
                      "       uharc t ARCHIVE          test the archive\n";

class ExtractProgress : public Progress {
public:
    explicit ExtractProgress(Display& display) : display_(display) {}
    void start(const Index& index) override {
        char text[96];
        snprintf(text, sizeof(text), "Extracting %zu entries", index.entries.size());
        display_.progress(text, 0, true);
    }
    void update(const std::string& path, uint64_t done, uint64_t total) override {
        int percent = total ? static_cast<int>(done * 100 / total) : 0;
        display_.progress(path, percent, false);
    }

private:
    Display& display_;
};

std::string format_time(uint64_t ticks) {
    long long secs = static_cast<long long>(ticks / 10000000u) - 11644473600LL;
    time_t t = static_cast<time_t>(secs);
    struct tm tmv;
#ifdef _WIN32
    if (secs < 0 || gmtime_s(&tmv, &t) != 0) return "(unknown date)  ";
#else
    if (!gmtime_r(&t, &tmv)) return "(unknown date)  ";
#endif
    char buf[64];
    snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d", tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour,
             tmv.tm_min);
    return buf;
}

int cmd_add(const std::string& archive, const std::string& folder) {
    WriteOptions options;
    options.note = [](const std::string& s) { print_error("uharc: note: " + s); };
    std::string error;
    if (!create_archive(folder, archive, options, error)) {
        print_error("uharc: " + error);
        return 1;
    }
    return 0;
}

int cmd_extract(const std::string& archive, bool replace) {
    std::unique_ptr<Display> display = make_display();
    std::string error;
    std::unique_ptr<Input> in = open_file_input(archive, error);
    if (!in) {
        display->fail(error);
        return 1;
    }
    ExtractProgress progress(*display);
    bool ok = extract_from(*in, ".", &progress, error, replace);
    if (!ok) {
        display->fail(error);
        return 1;
    }
    display->done("Done.");
    return 0;
}

int cmd_list(const std::string& archive) {
    std::string error;
    std::unique_ptr<Input> in = open_file_input(archive, error);
    bool ok = in && read_archive(*in, nullptr, error, [](const Index& index) {
                  uint64_t total = 0;
                  size_t files = 0;
                  for (const Entry& e : index.entries) {
                      char line[96];
                      char attrs[5] = {
                              (e.attributes & kAttrReadOnly) ? 'R' : '.', (e.attributes & kAttrHidden) ? 'H' : '.',
                              (e.attributes & kAttrSystem) ? 'S' : '.', (e.attributes & kAttrArchive) ? 'A' : '.', 0};
                      if (e.type == EntryType::Folder)
                          snprintf(line, sizeof(line), "%12s  %s  %s  ", "<DIR>", format_time(e.mtime).c_str(), attrs);
                      else
                          snprintf(line, sizeof(line), "%12llu  %s  %s  ", static_cast<unsigned long long>(e.size),
                                   format_time(e.mtime).c_str(), attrs);
                      print_line(line + e.path + (e.type == EntryType::Folder ? "/" : ""));
                      if (e.type == EntryType::File) {
                          ++files;
                          total += e.size;
                      }
                  }
                  uint64_t packed = 0;
                  for (const Block& b : index.blocks) packed += b.packed_size;
                  char line[128];
                  snprintf(line, sizeof(line), "%zu files, %zu folders, %llu bytes (%llu packed)", files,
                           index.entries.size() - files, static_cast<unsigned long long>(total),
                           static_cast<unsigned long long>(packed));
                  print_line(line);
                  return false; // the index is all we need
              });
    if (!ok && !error.empty()) {
        print_error("uharc: " + error);
        return 1;
    }
    return 0;
}

int cmd_test(const std::string& archive) {
    std::string error;
    std::unique_ptr<Input> in = open_file_input(archive, error);
    size_t entries = 0;
    if (!in || !read_archive(*in, nullptr, error, [&](const Index& index) {
            entries = index.entries.size();
            return true;
        })) {
        print_error("uharc: " + error);
        return 1;
    }
    char line[64];
    snprintf(line, sizeof(line), "OK: %zu entries", entries);
    print_line(line);
    return 0;
}

int run(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& cmd = args[0];
    if (cmd == "a" && args.size() == 3) return cmd_add(args[1], args[2]);
    if (cmd == "x" && args.size() == 3 && args[1] == "-y") return cmd_extract(args[2], true);
    if (cmd == "x" && args.size() == 2) return cmd_extract(args[1], false);
    if (cmd == "l" && args.size() == 2) return cmd_list(args[1]);
    if (cmd == "t" && args.size() == 2) return cmd_test(args[1]);
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

#ifdef _WIN32
int main() {
    // The wide command line, so that archive and folder names outside the code page work.
    const CArgv wargv;
    std::vector<std::string> args;
    for (int i = 1; i < wargv.Count(); ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, &s[0], n, nullptr, nullptr);
        args.push_back(s);
    }
    return run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return run(args);
}
#endif
