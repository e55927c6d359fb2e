#pragma once
// Makes the engine's non-throwing array allocations fail on demand, so that
// the recovery paths of the containers and strings can be exercised without
// exhausting the machine's memory.

namespace coretest
{
// While alive, every non-throwing array allocation after the first `allow`
// ones returns null.
class FailAllocations
{
public:
    explicit FailAllocations(int allow = 0);
    ~FailAllocations();
    FailAllocations(const FailAllocations&) = delete;
    FailAllocations& operator=(const FailAllocations&) = delete;

    // Allocations refused so far.
    int Refused() const;
};
} // namespace coretest
