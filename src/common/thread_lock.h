// A mutual-exclusion lock for portable code that the program shares between its threads. On
// Windows it is a slim reader/writer lock, so the program needs no threading runtime of the
// compiler's; elsewhere (the native tests) it is std::mutex.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace QV
{

// Not recursive; never fails. Meets BasicLockable, so std::lock_guard can hold it.
class CThreadLock
{
public:
    CThreadLock() noexcept = default;
    CThreadLock(const CThreadLock&) = delete;
    CThreadLock& operator=(const CThreadLock&) = delete;

#ifdef _WIN32
    // Waits until the lock is free, then holds it.
    void lock() noexcept
    {
        ::AcquireSRWLockExclusive(&m_lock);
    }
    // Releases a lock this thread holds.
    void unlock() noexcept
    {
        ::ReleaseSRWLockExclusive(&m_lock);
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
#else
    // Waits until the lock is free, then holds it.
    void lock() noexcept
    {
        m_lock.lock();
    }
    // Releases a lock this thread holds.
    void unlock() noexcept
    {
        m_lock.unlock();
    }

private:
    std::mutex m_lock;
#endif
};

} // namespace QV
