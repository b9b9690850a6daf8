// The application module: the process-wide CAppModule and the module base it derives from.
#pragma once

#include "framework/loop/message_loop.h"
#include "framework/loop/message_loop_registry.h"
#include "framework/critical_section.h"

#include <windows.h>

namespace QV
{

// The module's life: a live marker, the module lock and the termination callbacks.
class CComModule
{
public:
    using TermFunc = void (*)(void* pData);

    // Live when the module lock could be created.
    CComModule() noexcept;
    // Ends the module if that has not happened yet.
    ~CComModule() { EndModule(); }
    CComModule(const CComModule&) = delete;
    CComModule& operator=(const CComModule&) = delete;

    // The executable's image: window classes are registered under it.
    HINSTANCE GetModuleInstance() const noexcept;
    // Where dialog templates, menus and icons are loaded from.
    HINSTANCE GetResourceInstance() const noexcept;

    // Nonzero from construction until the module ends.
    DWORD GetLiveMarker() const noexcept { return m_dwLive; }
    // Adds a callback run (last added first) when the module ends. False when the module has
    // ended or memory is short.
    bool AddTermFunc(TermFunc pFunc, void* pData) noexcept;

protected:
    // Runs the termination callbacks, deletes the module lock and clears the live marker. Does
    // nothing when the marker is already clear.
    void EndModule() noexcept;

    CCriticalSection m_csModule;

private:
    struct TermEntry
    {
        TermFunc pFunc;
        void* pData;
        TermEntry* pNext;
    };

    DWORD m_dwLive = 0;
    TermEntry* m_pTermFuncs = nullptr;
};

// The module plus the per-thread message-loop registry (created by Initialize, deleted by
// Terminate), guarded by the module lock.
class CAppModule : public CComModule
{
public:
    CAppModule() noexcept = default;
    // Terminates the module if that has not happened yet.
    ~CAppModule() { Terminate(); }

    // Creates the empty loop registry: S_OK, or E_OUTOFMEMORY (no registry) when it cannot be
    // allocated. S_OK without change when it exists; E_UNEXPECTED once the module has ended.
    HRESULT Initialize() noexcept;
    // Deletes the registry, then ends the module (callbacks, lock, live marker). A second call
    // does nothing.
    void Terminate() noexcept;

    // Registers pLoop as the calling thread's loop (another entry for the thread is kept, and
    // lookups answer the first). False when the registry is absent or cannot grow.
    bool RegisterMessageLoop(CMessageLoop* pLoop) noexcept;
    // Removes the calling thread's first entry. False when it has none or there is no registry.
    bool UnregisterMessageLoop() noexcept;
    // The first loop registered for threadId, or null (also without a registry).
    CMessageLoop* FindMessageLoop(DWORD threadId) const noexcept;

private:
    CMessageLoopRegistry* m_pMsgLoopRegistry = nullptr;
};

// The one application module of the process (record 4; defined with the other records).
extern CAppModule g_appModule;

} // namespace QV
