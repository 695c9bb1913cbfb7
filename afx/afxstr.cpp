#include "afx/afxstr.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
bool AfxIsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }
#else
bool AfxIsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
#endif

int CString::Compare(const char* psz) const { return std::strcmp(m_str.c_str(), psz ? psz : ""); }

template <class Pred>
size_t CString::TrailingRunStart(Pred inSet) const {
    size_t runStart = m_str.size();
    bool inRun = false;
    for (size_t i = 0; i < m_str.size();) {
        const unsigned char c = static_cast<unsigned char>(m_str[i]);
        const size_t width = (AfxIsLeadByte(c) && i + 1 < m_str.size()) ? 2 : 1;
        const bool member = width == 1 && inSet(static_cast<char>(c));
        if (member && !inRun) {
            runStart = i;
            inRun = true;
        } else if (!member) {
            inRun = false;
        }
        i += width;
    }
    return inRun ? runStart : m_str.size();
}

CString& CString::TrimRight(char ch) {
    m_str.resize(TrailingRunStart([ch](char c) { return c == ch; }));
    return *this;
}

CString& CString::TrimRight(const char* pszSet) {
    const char* set = pszSet ? pszSet : "";
    m_str.resize(TrailingRunStart([set](char c) { return c != '\0' && std::strchr(set, c) != nullptr; }));
    return *this;
}

CString& CString::TrimRight() {
    m_str.resize(TrailingRunStart([](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }));
    return *this;
}

CString CString::Left(int n) const {
    if (n <= 0) return CString();
    return CString(m_str.substr(0, static_cast<size_t>(n)));
}

CString CString::Mid(int first) const {
    if (first <= 0) return *this;
    if (static_cast<size_t>(first) >= m_str.size()) return CString();
    return CString(m_str.substr(static_cast<size_t>(first)));
}

int CString::ReverseFind(char ch) const {
    int found = -1;
    for (size_t i = 0; i < m_str.size();) {
        const unsigned char c = static_cast<unsigned char>(m_str[i]);
        if (AfxIsLeadByte(c) && i + 1 < m_str.size()) {
            i += 2;
            continue;
        }
        if (m_str[i] == ch) found = static_cast<int>(i);
        ++i;
    }
    return found;
}

CString& CString::MakeLower() {
    for (size_t i = 0; i < m_str.size();) {
        const unsigned char c = static_cast<unsigned char>(m_str[i]);
        if (AfxIsLeadByte(c) && i + 1 < m_str.size()) {
            i += 2;
            continue;
        }
        if (c < 0x80) m_str[i] = static_cast<char>(std::tolower(c));
        ++i;
    }
    return *this;
}

void CString::Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n < 0) {
        va_end(ap2);
        m_str.clear();
        return;
    }
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&out[0], out.size(), fmt, ap2);
    va_end(ap2);
    out.resize(static_cast<size_t>(n));
    m_str.swap(out);
}
