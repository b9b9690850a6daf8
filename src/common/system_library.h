// Run-time loading of system DLLs that are not in the KnownDLLs set (version.dll, wininet.dll).
// They are taken from the system folder only, so a DLL planted beside the installer (a Downloads
// folder, say) is never loaded.
#pragma once
#ifdef _WIN32

#include "common/win_handle.h"

namespace QV
{

// Restricts the process's DLL search path to the system folder (SetDefaultDllDirectories, looked
// up at run time because unpatched older systems lack it). Call first thing in the entry point.
// Answers false when the system has no such call; loads through CSystemLibrary stay safe anyway.
bool RestrictDllSearchPath() noexcept;

// One system DLL, loaded by its bare name from the system folder and freed on destruction.
class CSystemLibrary
{
public:
    // Loads `name` (a bare file name such as L"wininet.dll") from the system folder only.
    // On failure IsLoaded() is false and every Get answers nullptr.
    explicit CSystemLibrary(const wchar_t* name) noexcept;

    bool IsLoaded() const noexcept { return m_module.IsValid(); }

    // The export `name` as function pointer type T, or nullptr.
    template <class T> T Get(const char* name) const noexcept
    {
        if (!m_module)
            return nullptr;
        return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(m_module.Get(), name)));
    }

private:
    CLibrary m_module;
};

} // namespace QV

#endif // _WIN32
