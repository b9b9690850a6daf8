// Scoped exclusive hold of a slim reader/writer lock.
#pragma once
#ifdef _WIN32

#include <windows.h>

namespace QV
{

// Holds `lock` exclusively from construction to destruction. The lock is borrowed.
class CSrwExclusiveLock
{
public:
    explicit CSrwExclusiveLock(SRWLOCK& lock) noexcept : m_lock(lock)
    {
        ::AcquireSRWLockExclusive(&m_lock);
    }
    ~CSrwExclusiveLock() { ::ReleaseSRWLockExclusive(&m_lock); }
    CSrwExclusiveLock(const CSrwExclusiveLock&) = delete;
    CSrwExclusiveLock& operator=(const CSrwExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace QV

#endif // _WIN32
