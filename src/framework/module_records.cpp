// The process-wide module records. Their definitions below are in construction order; the
// runtime destroys them in the reverse order at exit, so the application module ends first and
// the window classes are unregistered before the base record goes.
#include "framework/module_records.h"

#include "framework/app_module.h"

#include <cstdlib>

namespace QV
{

CBaseModuleRecord g_baseModuleRecord;
CWindowModuleRecord g_windowModuleRecord;
CComModuleRecord g_comModuleRecord;
CAppModule g_appModule;

CBaseModuleRecord::CBaseModuleRecord() noexcept
    : m_hInst(::GetModuleHandleW(nullptr)), m_hInstResource(m_hInst)
{
}

CWindowModuleRecord::~CWindowModuleRecord()
{
    UnregisterWindowClasses();
}

ATOM CWindowModuleRecord::RegisterWindowClass(const WNDCLASSEXW& wc) noexcept
{
    CLockGuard guard(m_csWindowCreate);
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    const ATOM found =
        static_cast<ATOM>(::GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing));
    if (found)
    {
        for (int i = 0; i < m_nClasses; ++i)
        {
            if (m_pClasses[i] == found)
                return found;
        }
        return 0;
    }

    void* grown = std::realloc(m_pClasses, sizeof(ATOM) * (static_cast<size_t>(m_nClasses) + 1));
    if (!grown)
        return 0;
    m_pClasses = static_cast<ATOM*>(grown);
    const ATOM atom = ::RegisterClassExW(&wc);
    if (atom)
        m_pClasses[m_nClasses++] = atom;
    return atom;
}

void CWindowModuleRecord::UnregisterWindowClasses() noexcept
{
    CLockGuard guard(m_csWindowCreate);
    for (int i = 0; i < m_nClasses; ++i)
        ::UnregisterClassW(MAKEINTATOM(m_pClasses[i]), g_baseModuleRecord.m_hInst);
    std::free(m_pClasses);
    m_pClasses = nullptr;
    m_nClasses = 0;
}

void CWindowModuleRecord::AddPendingWindow(CWindowCreationScope::Entry& entry) noexcept
{
    CLockGuard guard(m_csWindowCreate);
    entry.pNext = m_pPending;
    m_pPending = &entry;
}

bool CWindowModuleRecord::RemovePendingWindow(CWindowCreationScope::Entry& entry) noexcept
{
    CLockGuard guard(m_csWindowCreate);
    for (CWindowCreationScope::Entry** pp = &m_pPending; *pp; pp = &(*pp)->pNext)
    {
        if (*pp == &entry)
        {
            *pp = entry.pNext;
            return true;
        }
    }
    return false;
}

CWindowBase* CWindowModuleRecord::TakePendingWindow() noexcept
{
    const DWORD threadId = ::GetCurrentThreadId();
    CLockGuard guard(m_csWindowCreate);
    for (CWindowCreationScope::Entry** pp = &m_pPending; *pp; pp = &(*pp)->pNext)
    {
        CWindowCreationScope::Entry* entry = *pp;
        if (entry->dwThreadId == threadId)
        {
            *pp = entry->pNext;
            return entry->pObject;
        }
    }
    return nullptr;
}

} // namespace QV
