// A Win32 critical section usable as the portable lock of the loop registry.
#pragma once

#include "framework/loop/loop_lock.h"

#include <windows.h>

namespace QV
{

// Created on construction, deleted by Delete() or the destructor (once). Recursive, as every
// critical section is. Lock and Unlock do nothing once it is deleted or if it was never created.
class CCriticalSection final : public ILock
{
public:
    CCriticalSection() noexcept;
    ~CCriticalSection() { Delete(); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    // True from a successful creation until Delete.
    bool IsValid() const noexcept { return m_bValid; }
    void Lock() noexcept override;
    void Unlock() noexcept override;
    // Deletes the critical section; later calls do nothing.
    void Delete() noexcept;

private:
    CRITICAL_SECTION m_cs;
    bool m_bValid = false;
};

} // namespace QV
