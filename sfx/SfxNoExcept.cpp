// The installer is built without C++ exceptions: the standard library's few throwing paths
// (out of memory, a length beyond max_size) and the allocation operators end the process here
// instead of pulling in the unwinder, which would triple the stub's size.
#include "SfxNoExcept.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void Fatal() {
    OutOfMemory();
}

}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) Fatal();
    return p;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace std {
void __throw_bad_alloc() {
    Fatal();
}
void __throw_bad_array_new_length() {
    Fatal();
}
void __throw_length_error(const char*) {
    Fatal();
}
void __throw_logic_error(const char*) {
    Fatal();
}
void __throw_out_of_range(const char*) {
    Fatal();
}
void __throw_out_of_range_fmt(const char*, ...) {
    Fatal();
}
void __throw_invalid_argument(const char*) {
    Fatal();
}
void __throw_bad_function_call() {
    Fatal();
}
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    ExitProcess(255);
}
}  // namespace __gnu_cxx
