// The memory seam of the message loop's arrays and of the loop registry. They allocate through
// this interface so that an allocation failure, which they must survive, can be produced at will.
#pragma once

#include <cstddef>

namespace QV
{

// Reallocation in the manner of the C runtime's realloc/free.
class IAllocator
{
public:
    // Resizes the block `p` (null: a new block) to `bytes` (never 0). Answers the new block, or
    // null on failure, in which case `p` stays valid and unchanged.
    virtual void* Reallocate(void* p, std::size_t bytes) noexcept = 0;
    // Releases a block from Reallocate; null is ignored.
    virtual void Free(void* p) noexcept = 0;

protected:
    ~IAllocator() = default;
};

// The process-wide allocator backed by realloc and free.
IAllocator& CrtAllocator() noexcept;

} // namespace QV
