#include "AllocFailure.h"

#include <cstddef>
#include <new>

namespace
{
bool failing = false;
int allowance = 0;
int refused = 0;
} // namespace

// Replaces the global non-throwing array form for this test program only. It
// hands out memory from the throwing form, so the matching delete[] (left
// alone, and also used under the sanitizers) frees it.
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    if (failing)
    {
        if (allowance == 0)
        {
            ++refused;
            return nullptr;
        }
        --allowance;
    }
    try
    {
        return ::operator new[](n);
    }
    catch (...)
    {
        return nullptr;
    }
}

namespace coretest
{
FailAllocations::FailAllocations(int allow)
{
    failing = true;
    allowance = allow;
    refused = 0;
}

FailAllocations::~FailAllocations()
{
    failing = false;
}

int FailAllocations::Refused() const
{
    return refused;
}
} // namespace coretest
