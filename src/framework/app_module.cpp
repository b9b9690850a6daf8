#include "framework/app_module.h"

#include "framework/module_records.h"

#include <new>

namespace QV
{

CComModule::CComModule() noexcept
{
    m_dwLive = m_csModule.IsValid() ? 1 : 0;
}

HINSTANCE CComModule::GetModuleInstance() const noexcept
{
    return g_baseModuleRecord.m_hInst;
}

HINSTANCE CComModule::GetResourceInstance() const noexcept
{
    return g_baseModuleRecord.m_hInstResource;
}

bool CComModule::AddTermFunc(TermFunc pFunc, void* pData) noexcept
{
    if (!m_dwLive)
        return false;
    auto* entry = new (std::nothrow) TermEntry{pFunc, pData, nullptr};
    if (!entry)
        return false;
    CLockGuard guard(m_csModule);
    entry->pNext = m_pTermFuncs;
    m_pTermFuncs = entry;
    return true;
}

void CComModule::EndModule() noexcept
{
    if (!m_dwLive)
        return;
    while (TermEntry* entry = m_pTermFuncs)
    {
        m_pTermFuncs = entry->pNext;
        entry->pFunc(entry->pData);
        delete entry;
    }
    m_csModule.Delete();
    m_dwLive = 0;
}

HRESULT CAppModule::Initialize() noexcept
{
    if (!GetLiveMarker())
        return E_UNEXPECTED;
    if (m_pMsgLoopRegistry)
        return S_OK;
    m_pMsgLoopRegistry = new (std::nothrow) CMessageLoopRegistry(m_csModule);
    return m_pMsgLoopRegistry ? S_OK : E_OUTOFMEMORY;
}

void CAppModule::Terminate() noexcept
{
    delete m_pMsgLoopRegistry;
    m_pMsgLoopRegistry = nullptr;
    EndModule();
}

bool CAppModule::RegisterMessageLoop(CMessageLoop* pLoop) noexcept
{
    return m_pMsgLoopRegistry && m_pMsgLoopRegistry->Register(::GetCurrentThreadId(), pLoop);
}

bool CAppModule::UnregisterMessageLoop() noexcept
{
    return m_pMsgLoopRegistry && m_pMsgLoopRegistry->Unregister(::GetCurrentThreadId());
}

CMessageLoop* CAppModule::FindMessageLoop(DWORD threadId) const noexcept
{
    return m_pMsgLoopRegistry ? m_pMsgLoopRegistry->Find(threadId) : nullptr;
}

} // namespace QV
