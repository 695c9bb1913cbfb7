// Helpers of the archiver's host tests: scratch folders, trees, files, processes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace uharc_test {

// A fresh folder below the system's temporary folder, removed with its contents.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

void make_dirs(const std::string& path);
void write_file(const std::string& path, const std::string& data);
std::string read_file(const std::string& path);
void remove_tree(const std::string& path);

// Every file and folder below `root`: relative path -> content ("/" marks folders).
std::map<std::string, std::string> snapshot(const std::string& root);

// Runs the archiver built with the tests in folder `cwd`; returns the exit status and
// collects standard output and error.
int run_uharc(const std::vector<std::string>& args, const std::string& cwd, std::string* output = nullptr);

// Deterministic pseudo-random bytes, partly compressible.
std::string generated_bytes(size_t size, uint32_t seed);

} // namespace uharc_test
