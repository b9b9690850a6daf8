// One installer per session: the first start holds a named mutex for its whole run; a later start
// that finds it hands over to the running one (ShowRunningInstaller) and ends.
#pragma once
#ifdef _WIN32

#include "common/win_handle.h"

namespace QV
{

// The mutex of this session's running installer.
inline constexpr wchar_t kInstallerMutexName[] = L"Local\\QuorvinOnlineInstaller.Running";

class QVSingleInstance
{
public:
    // Creates, or opens, the mutex `name` and keeps it while this object lives.
    explicit QVSingleInstance(const wchar_t* name = kInstallerMutexName) noexcept;

    // False when another process had created the mutex already (or holds it where this one may
    // not open it); true otherwise, also when the system gives no mutex at all, so that nothing
    // but another installer stops a run.
    bool IsFirst() const noexcept { return m_bFirst; }

private:
    CKernelHandle m_hMutex;
    bool m_bFirst = true;
};

} // namespace QV

#endif // _WIN32
