#include "uharc.h"

#include "afx/afxname.h"

namespace uharc {

std::string check_path(const std::string& path) {
    if (path.empty()) return "empty path";
    if (path.size() > kMaxPathBytes) return "path too long";
    if (path[0] == '/') return "absolute path";
    size_t start = 0;
    for (;;) {
        size_t end = path.find('/', start);
        const char* why =
                AfxUtf8NameFault(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (why) return why;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return "";
}

} // namespace uharc
