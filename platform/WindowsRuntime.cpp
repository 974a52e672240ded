// The Windows executable's own answers to the run-time library's failure paths. Lumenhop never
// throws or catches an exception, so an allocation that fails or a text that would outgrow its
// type ends the process at once, as the uncaught exception did before. Answering these here
// keeps the exception machinery (unwinder, demangling terminate handler, thread library) out of
// the executable, which is most of its size.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    std::abort();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

// What the library's headers call where they would throw.
namespace std {
void __throw_bad_alloc() {
    abort();
}
void __throw_bad_array_new_length() {
    abort();
}
void __throw_length_error(const char*) {
    abort();
}
}  // namespace std

extern "C" void __cxa_throw_bad_array_new_length() {
    std::abort();
}

// The start-up code's relocator patches, once the DLLs are loaded, the references to their data
// that the linker could only import indirectly. This executable has none: cmake/Lumenhop.ld
// refuses to link one. So there is nothing to patch, and the relocator, with the section walker
// and the error reporting it brings, stays out.
extern "C" void _pei386_runtime_relocator() {}
