#include "uharc.h"

#include <cstring>

namespace uharc {

namespace {

// Decodes one UTF-8 sequence strictly (no overlongs, no surrogates, at most U+10FFFF).
// Returns its length, 0 when invalid.
size_t utf8_char(const unsigned char *s, size_t n, uint32_t &cp) {
  unsigned char c = s[0];
  size_t len;
  uint32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2; cp = c & 0x1F; min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3; cp = c & 0x0F; min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4; cp = c & 0x07; min = 0x10000;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool iequals(const std::string &a, const char *b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != b[i]) return false;
  }
  return true;
}

// Windows opens these as devices in every folder, whatever follows the first dot.
bool is_device_name(const std::string &component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char *const names[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char *n : names)
    if (iequals(base, n)) return true;
  if (base.size() >= 4) {
    std::string stem = base.substr(0, 3);
    std::string digit = base.substr(3);
    if (iequals(stem, "COM") || iequals(stem, "LPT")) {
      if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
      // superscript one, two and three count as digits too
      if (digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3") return true;
    }
  }
  return false;
}

std::string check_component(const std::string &c) {
  if (c.empty()) return "empty name";
  if (c == "." || c == "..") return "relative component";
  if (c.back() == '.' || c.back() == ' ') return "name ends in a dot or blank";
  if (is_device_name(c)) return "device name";
  size_t units = 0;
  const unsigned char *s = reinterpret_cast<const unsigned char *>(c.data());
  for (size_t i = 0; i < c.size();) {
    uint32_t cp;
    size_t len = utf8_char(s + i, c.size() - i, cp);
    if (len == 0) return "invalid UTF-8";
    if (cp < 0x20 || cp == 0x7F) return "control character";
    if (std::strchr("<>:\"\\|?*", static_cast<int>(cp)) && cp < 0x80) {
      if (cp == ':') return "colon (drive or stream)";
      if (cp == '\\') return "backslash";
      return "character not allowed in file names";
    }
    units += cp >= 0x10000 ? 2 : 1;
    i += len;
  }
  if (units > 255) return "name too long";
  return "";
}

}  // namespace

std::string check_path(const std::string &path) {
  if (path.empty()) return "empty path";
  if (path.size() > kMaxPathBytes) return "path too long";
  if (path[0] == '/') return "absolute path";
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    std::string why =
        check_component(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!why.empty()) return why;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "";
}

}  // namespace uharc
