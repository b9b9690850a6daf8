#include "framework/critical_section.h"

namespace QV
{

CCriticalSection::CCriticalSection() noexcept
{
    m_bValid = ::InitializeCriticalSectionAndSpinCount(&m_cs, 0) != FALSE;
}

void CCriticalSection::Lock() noexcept
{
    if (m_bValid)
        ::EnterCriticalSection(&m_cs);
}

void CCriticalSection::Unlock() noexcept
{
    if (m_bValid)
        ::LeaveCriticalSection(&m_cs);
}

void CCriticalSection::Delete() noexcept
{
    if (m_bValid)
    {
        m_bValid = false;
        ::DeleteCriticalSection(&m_cs);
    }
}

} // namespace QV
