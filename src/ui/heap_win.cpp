// The installer's operator new and delete over the C heap, so that it links no C++ exception runtime.
//
// The installer's own code is built without exceptions (its CMakeLists): with these, nothing it links needs
// libstdc++'s throwing allocation, its unwinder or the threads library that runtime brings (about 67 KB of the
// image). A plain new that finds no memory ends the program, as an unhandled bad_alloc would; the engine
// allocates its large buffers with malloc and the nothrow forms, which return null.
#include <cstdlib>
#include <new>

void* operator new(size_t size) {
    void* p = malloc(size ? size : 1);
    if (!p) abort();
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }
