#include "support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace uharc_test {

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/uharc-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

ScratchDir::~ScratchDir() { remove_tree(path_); }

void make_dirs(const std::string& path) {
    for (size_t p = path.find('/', 1);; p = path.find('/', p + 1)) {
        mkdir(path.substr(0, p).c_str(), 0755);
        if (p == std::string::npos) break;
    }
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void remove_tree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0755);
        if (DIR* d = opendir(path.c_str())) {
            while (struct dirent* de = readdir(d)) {
                if (!std::strcmp(de->d_name, ".") || !std::strcmp(de->d_name, "..")) continue;
                remove_tree(path + "/" + de->d_name);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

static void snap(const std::string& root, const std::string& rel, std::map<std::string, std::string>& out) {
    std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* de = readdir(d)) {
        if (!std::strcmp(de->d_name, ".") || !std::strcmp(de->d_name, "..")) continue;
        std::string r = rel.empty() ? de->d_name : rel + "/" + de->d_name;
        struct stat st;
        lstat((root + "/" + r).c_str(), &st);
        if (S_ISDIR(st.st_mode)) {
            out[r + "/"] = "";
            snap(root, r, out);
        } else {
            out[r] = read_file(root + "/" + r);
        }
    }
    closedir(d);
}

std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    snap(root, "", out);
    return out;
}

int run_uharc(const std::vector<std::string>& args, const std::string& cwd, std::string* output) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        std::string exe = UHARC_EXE;
        argv.push_back(const_cast<char*>(exe.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof(buf))) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string generated_bytes(size_t size, uint32_t seed) {
    static const char* const words[] = {"class ", "void ",      "return ",    "int ", "jar ", "lib ", "\n", "{ ", "} ",
                                        "0x1F ",  "Quillmate ", "java.lang ", "\t",   "= ",   "; ",   "( ", ") "};
    std::string s;
    s.reserve(size + 16);
    uint32_t x = seed * 2654435761u + 1;
    while (s.size() < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        // one run in four is noise, the rest text-like: neither trivial nor incompressible
        if (((s.size() >> 12) & 3) == 0)
            for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(x >> (8 * i)));
        else
            s += words[x % (sizeof(words) / sizeof(words[0]))];
    }
    s.resize(size);
    return s;
}

} // namespace uharc_test
