// Makes one allocation fail: the Nth counted from the first line of main(), N taken from
// KITFORGE_FAIL_ALLOCATION. Linked with main wrapped, so what the C++ runtime allocates before
// main() is left alone. At the end the count is written to KITFORGE_ALLOCATIONS_FILE if set,
// so a test knows how many there are.
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
long failAt = 0;
long counted = 0;
bool armed = false;

void* allocate(std::size_t size) {
    if (armed && ++counted == failAt) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void tellCount() {
    if (const char* file = std::getenv("KITFORGE_ALLOCATIONS_FILE"))
        if (FILE* f = std::fopen(file, "w")) {
            std::fprintf(f, "%ld\n", counted);
            std::fclose(f);
        }
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept { return operator new(size, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

extern "C" int __real_main(int argc, char** argv);
extern "C" int __wrap_main(int argc, char** argv) {
    if (const char* n = std::getenv("KITFORGE_FAIL_ALLOCATION")) failAt = std::atol(n);
    std::atexit(tellCount);
    armed = true;
    return __real_main(argc, argv);
}
