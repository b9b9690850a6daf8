#include "framework/loop/loop_allocator.h"

#include <cstdlib>

namespace QV
{
namespace
{

class CCrtAllocator final : public IAllocator
{
public:
    void* Reallocate(void* p, std::size_t bytes) noexcept override
    {
        return std::realloc(p, bytes);
    }
    void Free(void* p) noexcept override { std::free(p); }
};

} // namespace

IAllocator& CrtAllocator() noexcept
{
    static CCrtAllocator allocator;
    return allocator;
}

} // namespace QV
