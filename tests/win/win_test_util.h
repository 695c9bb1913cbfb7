// Helpers of the in-process Windows tests: driving modal loops from timers, recording
// messages and API calls, counting GDI objects, rendering into memory bitmaps.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace wt {

// "R,G,B" of a colour, for failure messages.
std::string Rgb(COLORREF c);

// Dispatches the thread's messages for about ms milliseconds.
void Pump(DWORD ms);

// Runs fn once, from a thread timer, after ms milliseconds: the way a test acts
// inside a modal loop that it started itself.
void Later(UINT ms, std::function<void()> fn);
// Cancels every pending Later().
void CancelLater();

// Closes every window of this thread with WM_CLOSE when the object lives longer than
// ms milliseconds, and reports that as a failure: a modal loop that a failed test
// leaves running cannot hang the whole run.
class Watchdog {
public:
    explicit Watchdog(UINT ms);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    UINT_PTR m_id;
};

// The visible dialog (#32770) of this thread that hOwner owns, or NULL.
HWND FindOwnedDialog(HWND hOwner);

// Calls fn with the dialog that hOwner owns as soon as it shows, from a timer (a modal
// run only shows its dialog once its loop first idles). When none shows within
// timeoutMs, reports a failure if it was required, and gives up.
void WhenDialog(HWND hOwner, std::function<void(HWND)> fn, UINT timeoutMs = 5000, bool required = true);

// Live GDI objects of this process: GetGuiResources, or where that is a stub (Wine
// answers 0), the used entries of the process's GDI handle table.
int GdiObjectsInUse();
// Live GDI objects by GetObjectType type, from the handle table; empty where the
// table cannot be read.
std::map<DWORD, int> GdiObjectsByType();

// Replaces one imported function of this executable by another; restores the old
// one when the object goes. The code under test calls through the same import.
class ImportPatch {
public:
    ImportPatch(const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    bool ok() const { return m_slot != nullptr; }
    void* original() const { return m_original; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

// The messages a window procedure hook saw, for Wine-style sequence checks. Also
// takes pseudo-messages for API calls (Note).
struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class MessageLog {
public:
    // Records messages sent to any of the given windows (WH_CALLWNDPROC) and posted
    // ones that are dispatched to them (WH_GETMESSAGE).
    explicit MessageLog(std::vector<HWND> windows);
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    void Clear() { m_seen.clear(); }
    void Note(HWND hwnd, UINT pseudoMessage) { m_seen.push_back({hwnd, pseudoMessage, 0, 0}); }
    const std::vector<Seen>& seen() const { return m_seen; }
    int Count(HWND hwnd, UINT message) const;
    std::string Dump() const;

    static MessageLog* Active() { return s_active; }

private:
    static LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK GetMsgProc(int code, WPARAM wParam, LPARAM lParam);
    std::vector<HWND> m_windows;
    std::vector<Seen> m_seen;
    HHOOK m_hookSent = nullptr;
    HHOOK m_hookPosted = nullptr;
    static MessageLog* s_active;
};

// One expected entry: the message to the window, optional when it may be missing.
struct Expected {
    HWND hwnd;
    UINT message;
    bool optional = false;
};

// Wine's ok_sequence: the log, with messages not in the expected list's set of
// message numbers ignored, must match the expected list in order. Returns an empty
// string on success, else what differed.
std::string CompareSequence(const MessageLog& log, const std::vector<Expected>& expected);

// A 32-bit top-down DIB section selected into a memory DC.
class MemBitmap {
public:
    MemBitmap(int width, int height, COLORREF fill);
    ~MemBitmap();
    MemBitmap(const MemBitmap&) = delete;
    MemBitmap& operator=(const MemBitmap&) = delete;

    HDC dc() const { return m_dc; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    COLORREF At(int x, int y) const;
    // Saves the picture as a 24-bit BMP file; false when it cannot be written.
    bool Save(const std::string& name) const;

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    const DWORD* m_bits = nullptr;
    int m_width;
    int m_height;
};

// Copies what the window's client area shows on the screen (it must be visible and
// uncovered; paint it first, e.g. with UpdateWindow).
void CaptureClient(HWND hwnd, MemBitmap& bmp);

// The folder of the in-process screenshots, created on first use (a Wine path).
std::string ScreenshotDir();

} // namespace wt
