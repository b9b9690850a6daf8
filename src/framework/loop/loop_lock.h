// The lock abstraction through which portable code takes a platform lock (a critical section on
// Windows, a std::mutex in native tests).
#pragma once

namespace QV
{

// A mutual-exclusion lock. Whether it may be taken again by its holder depends on the
// implementation; the code here never does so.
class ILock
{
public:
    // Blocks until the calling thread holds the lock.
    virtual void Lock() noexcept = 0;
    // Releases the lock the calling thread holds.
    virtual void Unlock() noexcept = 0;

protected:
    ~ILock() = default;
};

// Holds `lock` for the lifetime of the guard.
class CLockGuard
{
public:
    explicit CLockGuard(ILock& lock) noexcept : m_lock(lock) { m_lock.Lock(); }
    ~CLockGuard() { m_lock.Unlock(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    ILock& m_lock;
};

} // namespace QV
