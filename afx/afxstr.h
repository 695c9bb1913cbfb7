// CString: the ANSI string of the framework layer. Portable (no windows.h), so the
// host unit tests exercise the same code as setup.exe.
#pragma once
#include <cstddef>
#include <string>

// True when c is the lead byte of a double-byte character in the system's ANSI code
// page (IsDBCSLeadByte on Windows; code page 936's lead bytes 0x81..0xFE elsewhere).
bool AfxIsLeadByte(unsigned char c);

class CString {
public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}
    CString(const char* pch, int nLength) : m_str(pch, pch + (nLength > 0 ? nLength : 0)) {}
    CString(const std::string& s) : m_str(s) {}

    operator const char*() const { return m_str.c_str(); }
    const char* GetString() const { return m_str.c_str(); }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    char GetAt(int i) const { return m_str[static_cast<size_t>(i)]; }

    CString& operator=(const char* psz) {
        m_str = psz ? psz : "";
        return *this;
    }
    CString& operator+=(const char* psz) {
        if (psz) m_str += psz;
        return *this;
    }
    CString& operator+=(char ch) {
        m_str += ch;
        return *this;
    }
    CString& operator+=(const CString& s) {
        m_str += s.m_str;
        return *this;
    }
    friend CString operator+(const CString& a, const char* b) {
        CString r(a);
        r += b;
        return r;
    }
    friend CString operator+(const char* a, const CString& b) {
        CString r(a);
        r += b;
        return r;
    }
    friend CString operator+(const CString& a, const CString& b) {
        CString r(a);
        r += b;
        return r;
    }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const char* b) { return a.Compare(b) != 0; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_str != b.m_str; }

    // Byte-wise comparison: in a multibyte code page equal texts have equal bytes.
    int Compare(const char* psz) const;

    // Removes the trailing run of characters that are in the set (or equal ch),
    // walking the text character by character in the ANSI code page: the trail byte
    // of a double-byte character is never taken for a set member.
    CString& TrimRight(char ch);
    CString& TrimRight(const char* pszSet);
    // Trailing white space (blank, tab, CR, LF, VT, FF).
    CString& TrimRight();

    CString Left(int n) const;
    CString Mid(int first) const;
    // Index of the last ch that stands as a whole character, or -1.
    int ReverseFind(char ch) const;
    CString& MakeLower();

    // Bounded formatting: the result is as long as it needs to be.
    void Format(const char* fmt, ...)
#if defined(__GNUC__)
            __attribute__((format(printf, 2, 3)))
#endif
            ;

private:
    // Offset of the first byte of the trailing run of characters for which keep()
    // returns false; walks from the start so that lead/trail pairs are respected.
    template <class Pred>
    size_t TrailingRunStart(Pred inSet) const;

    std::string m_str;
};
