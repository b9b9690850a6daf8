// The growable array of pointers that holds a message loop's filters and idle handlers.
#pragma once

#include "framework/loop/loop_allocator.h"

#include <cstring>

namespace QV
{

// Next capacity of a full array holding `count` elements with capacity `capacity`: 1 from 0,
// else twice the count. Answers false (newCapacity untouched) when the doubled value would be
// negative or above 0x1FFFFFFF, so the byte size of the storage always fits in 32 bits.
bool NextPointerArrayCapacity(int count, int capacity, int& newCapacity) noexcept;

// Pointers in insertion order; null entries are allowed. Grows 0 -> 1 -> 2 -> 4 ... and never
// shrinks. Does not own the objects pointed to; frees its storage on destruction.
template <class T> class CPointerArray
{
public:
    explicit CPointerArray(IAllocator& allocator = CrtAllocator()) noexcept : m_alloc(allocator) {}
    ~CPointerArray() { m_alloc.Free(m_p); }
    CPointerArray(const CPointerArray&) = delete;
    CPointerArray& operator=(const CPointerArray&) = delete;

    int GetSize() const noexcept { return m_nCount; }
    int GetCapacity() const noexcept { return m_nCapacity; }
    // The element at index 0 <= i < GetSize().
    T* operator[](int i) const noexcept { return m_p[i]; }

    // Appends p, growing when full. False, with nothing changed, when the array cannot grow
    // (capacity limit or failed reallocation). Storage beyond the old elements is zero-filled.
    bool Add(T* p) noexcept
    {
        if (m_nCount == m_nCapacity)
        {
            int newCapacity = 0;
            if (!NextPointerArrayCapacity(m_nCount, m_nCapacity, newCapacity))
                return false;
            void* grown = m_alloc.Reallocate(m_p, sizeof(T*) * static_cast<size_t>(newCapacity));
            if (!grown)
                return false;
            m_p = static_cast<T**>(grown);
            std::memset(m_p + m_nCount, 0,
                        sizeof(T*) * static_cast<size_t>(newCapacity - m_nCount));
            m_nCapacity = newCapacity;
        }
        m_p[m_nCount++] = p;
        return true;
    }

    // Removes the first entry equal to p (searching from index 0), moving later ones down.
    // False, with nothing changed, when p is not present. The capacity stays.
    bool Remove(T* p) noexcept
    {
        for (int i = 0; i < m_nCount; ++i)
        {
            if (m_p[i] == p)
            {
                std::memmove(m_p + i, m_p + i + 1,
                             sizeof(T*) * static_cast<size_t>(m_nCount - i - 1));
                --m_nCount;
                return true;
            }
        }
        return false;
    }

private:
    IAllocator& m_alloc;
    T** m_p = nullptr;
    int m_nCount = 0;
    int m_nCapacity = 0;
};

} // namespace QV
