#include "framework/loop/message_loop_registry.h"

#include <cstring>

namespace QV
{

CMessageLoopRegistry::CMessageLoopRegistry(ILock& lock, IAllocator& allocator) noexcept
    : m_lock(lock), m_alloc(allocator)
{
}

CMessageLoopRegistry::~CMessageLoopRegistry()
{
    m_alloc.Free(m_pThreadIds);
    m_alloc.Free(m_pLoops);
}

bool CMessageLoopRegistry::Register(std::uint32_t threadId, CMessageLoop* pLoop) noexcept
{
    CLockGuard guard(m_lock);
    const std::size_t n = static_cast<std::size_t>(m_nCount) + 1;
    void* ids = m_alloc.Reallocate(m_pThreadIds, n * sizeof(std::uint32_t));
    if (!ids)
        return false;
    m_pThreadIds = static_cast<std::uint32_t*>(ids);
    void* loops = m_alloc.Reallocate(m_pLoops, n * sizeof(CMessageLoop*));
    if (!loops)
        return false;
    m_pLoops = static_cast<CMessageLoop**>(loops);
    m_pThreadIds[m_nCount] = threadId;
    m_pLoops[m_nCount] = pLoop;
    ++m_nCount;
    return true;
}

bool CMessageLoopRegistry::Unregister(std::uint32_t threadId) noexcept
{
    CLockGuard guard(m_lock);
    int index = 0;
    while (index < m_nCount && m_pThreadIds[index] != threadId)
        ++index;
    if (index == m_nCount)
        return false;

    const std::size_t later = static_cast<std::size_t>(m_nCount - index - 1);
    std::memmove(m_pThreadIds + index, m_pThreadIds + index + 1, later * sizeof(std::uint32_t));
    std::memmove(m_pLoops + index, m_pLoops + index + 1, later * sizeof(CMessageLoop*));

    if (m_nCount == 1)
    {
        m_alloc.Free(m_pThreadIds);
        m_alloc.Free(m_pLoops);
        m_pThreadIds = nullptr;
        m_pLoops = nullptr;
    }
    else
    {
        // A shrink that fails leaves the larger block, which still holds every entry.
        const std::size_t n = static_cast<std::size_t>(m_nCount) - 1;
        if (void* ids = m_alloc.Reallocate(m_pThreadIds, n * sizeof(std::uint32_t)))
            m_pThreadIds = static_cast<std::uint32_t*>(ids);
        if (void* loops = m_alloc.Reallocate(m_pLoops, n * sizeof(CMessageLoop*)))
            m_pLoops = static_cast<CMessageLoop**>(loops);
    }
    --m_nCount;
    return true;
}

CMessageLoop* CMessageLoopRegistry::Find(std::uint32_t threadId) const noexcept
{
    CLockGuard guard(m_lock);
    for (int i = 0; i < m_nCount; ++i)
    {
        if (m_pThreadIds[i] == threadId)
            return m_pLoops[i];
    }
    return nullptr;
}

int CMessageLoopRegistry::GetCount() const noexcept
{
    CLockGuard guard(m_lock);
    return m_nCount;
}

} // namespace QV
