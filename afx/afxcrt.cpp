// The few pieces of the C++ runtime that setup.exe and uninstall.exe need, small. The
// Windows code is built without exceptions; linking libstdc++'s own versions of these
// would bring in its exception machinery, its unwinder, its demangler and winpthreads,
// which together weigh more than the whole program. The tests link libstdc++'s.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

// Every member of std::string and std::wstring in one place, so that only those the
// program calls are linked (-ffunction-sections) instead of libstdc++'s whole copies.
template class std::basic_string<char>;
template class std::basic_string<wchar_t>;

// Out of memory or a broken container precondition: with no exceptions, the end that
// an uncaught one would have had.
namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
} // namespace std

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) std::abort();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// snprintf and vsnprintf: the programs format strings only ("%s"), which msvcrt's printf
// does as well as mingw's C99 one, whose floating-point conversion alone would be a fifth
// of setup.exe's code. With C99's results: the length the whole text needs, and a
// truncated text still ends in '\0'.
extern "C" int __cdecl __mingw_vsnprintf(char* buf, size_t size, const char* fmt, va_list ap) {
    va_list count;
    va_copy(count, ap);
    const int n = _vscprintf(fmt, count);
    va_end(count);
    if (size) {
        _vsnprintf(buf, size, fmt, ap);
        buf[n >= 0 && static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1] = '\0';
    }
    return n;
}

// Function-local statics are built once even when two threads get there together: one
// lock for all of them, held by the thread that builds one, re-entrant for a static
// whose constructor reaches another.
namespace {
volatile LONG g_guardOwner; // thread id, 0 when free
unsigned g_guardDepth;

void GuardLock() {
    const LONG self = static_cast<LONG>(::GetCurrentThreadId());
    if (g_guardOwner == self) {
        ++g_guardDepth;
        return;
    }
    while (::InterlockedCompareExchange(&g_guardOwner, self, 0) != 0) ::Sleep(0);
    g_guardDepth = 1;
}

void GuardUnlock() {
    if (--g_guardDepth == 0) ::InterlockedExchange(&g_guardOwner, 0);
}
} // namespace

// The guard's first byte is non-zero once the object is built (the compiler tests it
// inline before calling here).
extern "C" int __cxa_guard_acquire(long long* guard) {
    const char* done = reinterpret_cast<const char*>(guard);
    if (__atomic_load_n(done, __ATOMIC_ACQUIRE)) return 0;
    GuardLock();
    if (*done) {
        GuardUnlock();
        return 0;
    }
    return 1;
}

extern "C" void __cxa_guard_release(long long* guard) {
    __atomic_store_n(reinterpret_cast<char*>(guard), 1, __ATOMIC_RELEASE);
    GuardUnlock();
}

extern "C" void __cxa_guard_abort(long long*) { GuardUnlock(); }
