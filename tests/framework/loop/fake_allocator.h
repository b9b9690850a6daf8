// An allocator for tests: records every request, can refuse chosen ones, and knows which
// blocks are live and how large they are.
#pragma once

#include "framework/loop/loop_allocator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace QV::Test
{

class CFakeAllocator final : public QV::IAllocator
{
public:
    ~CFakeAllocator()
    {
        for (auto& [p, size] : m_live)
            std::free(p);
    }

    void* Reallocate(void* p, std::size_t bytes) noexcept override
    {
        if (m_onCall)
            m_onCall();
        m_requests.push_back(bytes);
        if (m_failRequests.count(m_requests.size()) || m_failAll)
            return nullptr;
        const std::size_t oldSize = p ? m_live[p] : 0;
        void* q = std::realloc(p, bytes);
        if (q)
        {
            // Fresh bytes hold garbage, as a real heap's may: whoever needs zeros must write them.
            if (bytes > oldSize)
                std::memset(static_cast<char*>(q) + oldSize, 0xCD, bytes - oldSize);
            m_live.erase(p);
            m_live[q] = bytes;
            m_last = q;
        }
        return q;
    }

    void Free(void* p) noexcept override
    {
        if (!p)
            return;
        if (m_onCall)
            m_onCall();
        m_live.erase(p);
        std::free(p);
        ++m_frees;
    }

    // Refuses the request with this 1-based number (counting every Reallocate call).
    void FailRequest(std::size_t number) { m_failRequests[number] = true; }
    void FailAll(bool fail) { m_failAll = fail; }
    void OnEveryCall(std::function<void()> f) { m_onCall = std::move(f); }

    const std::vector<std::size_t>& Requests() const { return m_requests; }
    // Size of the live block p, or 0 when p is not a live block of this allocator.
    std::size_t LiveSize(const void* p) const
    {
        auto it = m_live.find(const_cast<void*>(p));
        return it == m_live.end() ? 0 : it->second;
    }
    std::size_t LiveBlocks() const { return m_live.size(); }
    // Sizes of the live blocks, smallest first.
    std::vector<std::size_t> LiveSizes() const
    {
        std::vector<std::size_t> sizes;
        for (auto& [p, size] : m_live)
            sizes.push_back(size);
        std::sort(sizes.begin(), sizes.end());
        return sizes;
    }
    // The block the last successful Reallocate answered.
    void* LastBlock() const { return m_last; }
    int Frees() const { return m_frees; }

private:
    std::map<void*, std::size_t> m_live;
    std::vector<std::size_t> m_requests;
    std::map<std::size_t, bool> m_failRequests;
    bool m_failAll = false;
    int m_frees = 0;
    void* m_last = nullptr;
    std::function<void()> m_onCall;
};

} // namespace QV::Test
