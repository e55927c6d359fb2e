#pragma once
// Replaces every global allocation form of the program that includes this
// header (include it in exactly one file) with one that counts, so that a
// test or benchmark can show a piece of code allocates nothing. All forms
// allocate with std::malloc and free with std::free, so any new meets its
// matching delete, under the sanitizers too.
#include <atomic>
#include <cstdlib>
#include <new>

namespace testsupport
{
inline std::atomic<long> allocationCount{0};
} // namespace testsupport

// With the replacements inlined the compiler sees std::free meet a pointer
// from operator new and warns; here they are a matched pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n)
{
    ++testsupport::allocationCount;
    if (void* p = std::malloc(n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
    return ::operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    ++testsupport::allocationCount;
    return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept
{
    return ::operator new(n, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
