#include "framework/loop/pointer_array.h"

#include <cstdint>

namespace QV
{

bool NextPointerArrayCapacity(int count, int capacity, int& newCapacity) noexcept
{
    // Computed in 64 bits: doubling a large count must be refused, not overflow.
    const std::int64_t next = capacity == 0 ? 1 : std::int64_t{count} * 2;
    if (next < 0 || next > 0x1FFFFFFF)
        return false;
    newCapacity = static_cast<int>(next);
    return true;
}

} // namespace QV
