#include "tests/sg/traversal/oxSorterAllocationCounter.h"

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define OXSG_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OXSG_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef OXSG_COUNT_ALLOCATIONS
#define OXSG_COUNT_ALLOCATIONS 1
#endif

namespace {
bool g_counting = false;
long g_count = 0;

void count()
{
    if (g_counting)
        ++g_count;
}
} // namespace

namespace sortertest {

bool AllocationCounter::available()
{
    return OXSG_COUNT_ALLOCATIONS != 0;
}

void AllocationCounter::start()
{
    g_count = 0;
    g_counting = true;
}

long AllocationCounter::stop()
{
    g_counting = false;
    return g_count;
}

} // namespace sortertest

#if OXSG_COUNT_ALLOCATIONS

// glibc's own entry points, which the replacements below forward to.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) noexcept
{
    count();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) noexcept
{
    count();
    return __libc_calloc(n, size);
}
void* realloc(void* block, size_t size) noexcept
{
    count();
    return __libc_realloc(block, size);
}
void free(void* block) noexcept
{
    __libc_free(block);
}
}

namespace {
void* allocate(size_t size)
{
    count();
    void* p = __libc_malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}
void* allocateNoThrow(size_t size) noexcept
{
    count();
    return __libc_malloc(size ? size : 1);
}
} // namespace

void* operator new(size_t size)
{
    return allocate(size);
}
void* operator new[](size_t size)
{
    return allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return allocateNoThrow(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return allocateNoThrow(size);
}
void operator delete(void* block) noexcept
{
    __libc_free(block);
}
void operator delete[](void* block) noexcept
{
    __libc_free(block);
}
void operator delete(void* block, size_t) noexcept
{
    __libc_free(block);
}
void operator delete[](void* block, size_t) noexcept
{
    __libc_free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    __libc_free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    __libc_free(block);
}

#endif
