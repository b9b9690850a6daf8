// The process-wide module records, constructed before the entry point in this order: base
// module, window module, COM module record, then the application module (app_module.h). All four
// are defined in module_records.cpp, so that order (and the reverse order of their exit-time
// clean-up) is fixed by that one file.
#pragma once

#include "framework/critical_section.h"
#include "framework/window_base.h"

#include <windows.h>

namespace QV
{

// Record 1: where the executable's resources and window classes come from.
class CBaseModuleRecord
{
public:
    // Instance and resource handle both the executable's own image (GetModuleHandleW(nullptr)).
    CBaseModuleRecord() noexcept;

    HINSTANCE m_hInst;
    HINSTANCE m_hInstResource;
    CCriticalSection m_csResource;
};

// Record 2: window creation and the window classes the framework registered.
class CWindowModuleRecord
{
public:
    CWindowModuleRecord() noexcept = default;
    // Unregisters every window class in the list (the exit-time clean-up).
    ~CWindowModuleRecord();
    CWindowModuleRecord(const CWindowModuleRecord&) = delete;
    CWindowModuleRecord& operator=(const CWindowModuleRecord&) = delete;

    // Registers the class `wc` describes (its lpszClassName) unless this record already did so
    // for that name, and answers its atom. 0 when the class cannot be registered (for instance a
    // class of that name registered by other code, which would not bind windows to objects).
    ATOM RegisterWindowClass(const WNDCLASSEXW& wc) noexcept;
    // Unregisters every class registered through RegisterWindowClass and empties the list; the
    // next RegisterWindowClass registers afresh. Run at exit; callable earlier (tests).
    void UnregisterWindowClasses() noexcept;

    // The pending-window list (see CWindowCreationScope), guarded by the creation lock.
    void AddPendingWindow(CWindowCreationScope::Entry& entry) noexcept;
    // Removes `entry` if it is still pending; false when it was already taken by a window.
    bool RemovePendingWindow(CWindowCreationScope::Entry& entry) noexcept;
    // Takes the most recent pending entry of the calling thread and answers its object, or null.
    CWindowBase* TakePendingWindow() noexcept;

private:
    CCriticalSection m_csWindowCreate;
    CWindowCreationScope::Entry* m_pPending = nullptr;
    ATOM* m_pClasses = nullptr; // atoms registered here, m_nClasses of them
    int m_nClasses = 0;
};

// Record 3: the COM class objects of the module; this system has none.
class CComModuleRecord
{
public:
    CComModuleRecord() noexcept = default;

    // Number of class objects served (always 0 here).
    int GetClassObjectCount() const noexcept { return m_nClassObjects; }

private:
    CCriticalSection m_csObjMap;
    int m_nClassObjects = 0;
};

extern CBaseModuleRecord g_baseModuleRecord;
extern CWindowModuleRecord g_windowModuleRecord;
extern CComModuleRecord g_comModuleRecord;

} // namespace QV
