// Windows build only. UHARC.EXE travels inside every setup.exe, so it is kept
// small: it is compiled without exceptions, and these replacements keep the
// linker from pulling in the C++ runtime's throwing, unwinding and demangling code.
// Running out of memory or a library precondition failure ends the program.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {
[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "uharc: fatal: %s\n", what);
    std::abort();
}
} // namespace

namespace std {
void __throw_length_error(const char* s) { die(s); }
void __throw_logic_error(const char* s) { die(s); }
void __throw_out_of_range(const char* s) { die(s); }
void __throw_out_of_range_fmt(const char* s, ...) { die(s); }
void __throw_invalid_argument(const char* s) { die(s); }
void __throw_bad_alloc() { die("out of memory"); }
void __throw_bad_array_new_length() { die("out of memory"); }
void __throw_bad_function_call() { die("bad function call"); }
} // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { die("terminate"); }
} // namespace __gnu_cxx

void* operator new(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) die("out of memory");
    return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Our own copy of the string code, so that the library's (built with exceptions) stays out.
template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
