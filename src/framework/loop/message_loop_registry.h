// The per-thread registry through which code running on a thread finds that thread's message
// loop. The application module owns one and guards it with its module lock.
#pragma once

#include "framework/loop/loop_allocator.h"
#include "framework/loop/loop_lock.h"

#include <cstdint>

namespace QV
{

class CMessageLoop;

// Parallel arrays of thread ids and loops, sized to exactly the number of entries (only a failed
// shrink leaves them larger). Every operation holds `lock`. Does not own the loops.
class CMessageLoopRegistry
{
public:
    // Empty, with no storage.
    explicit CMessageLoopRegistry(ILock& lock, IAllocator& allocator = CrtAllocator()) noexcept;
    ~CMessageLoopRegistry();
    CMessageLoopRegistry(const CMessageLoopRegistry&) = delete;
    CMessageLoopRegistry& operator=(const CMessageLoopRegistry&) = delete;

    // Appends (threadId, pLoop); an entry for the same thread is not looked for. False, count
    // unchanged, when either array cannot grow (the id array may then stay one larger).
    bool Register(std::uint32_t threadId, CMessageLoop* pLoop) noexcept;
    // Removes the first entry of threadId and shrinks both arrays (to no storage at all when the
    // last entry goes; a failed shrink keeps the old storage). False when there is none.
    bool Unregister(std::uint32_t threadId) noexcept;
    // The loop of the first entry of threadId, or null.
    CMessageLoop* Find(std::uint32_t threadId) const noexcept;
    int GetCount() const noexcept;

private:
    ILock& m_lock;
    IAllocator& m_alloc;
    std::uint32_t* m_pThreadIds = nullptr;
    CMessageLoop** m_pLoops = nullptr;
    int m_nCount = 0;
};

} // namespace QV
