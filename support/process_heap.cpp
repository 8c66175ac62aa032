// The program's allocation operators, on the process heap. The C++ library's
// own operators carry its exception machinery, which would be most of this
// small program's code; a failed allocation here simply yields null, which
// every caller checks (all allocations use the nothrow form).
#include <windows.h>

#include <cstddef>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}

void operator delete(void* block) noexcept {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete[](void* block) noexcept {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete[](block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { operator delete(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { operator delete[](block); }
