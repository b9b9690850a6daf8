#include "ui/running_installer.h"

#include "common/user_texts.h"
#include "resource.h"

namespace QV
{

namespace
{
constexpr DWORD kFindPollMs = 50;
} // namespace

UINT ShowDialogMessage() noexcept
{
    static const UINT message = ::RegisterWindowMessageW(kShowDialogMessageName);
    return message;
}

HWND FindRunningInstallerDialog() noexcept
{
    const DWORD self = ::GetCurrentProcessId();
    // The cancel question has the same class and caption, but no status control.
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", kCaption); w != nullptr;
         w = ::FindWindowExW(nullptr, w, L"#32770", kCaption))
    {
        DWORD process = 0;
        ::GetWindowThreadProcessId(w, &process);
        if (process != self && ::GetDlgItem(w, IDC_STATUS) != nullptr)
            return w;
    }
    return nullptr;
}

bool ShowRunningInstaller(DWORD waitMs) noexcept
{
    const UINT message = ShowDialogMessage();
    const DWORD start = ::GetTickCount();
    for (;;)
    {
        if (HWND dialog = FindRunningInstallerDialog())
        {
            // The user started this process, so it may hand the foreground on.
            DWORD process = 0;
            ::GetWindowThreadProcessId(dialog, &process);
            ::AllowSetForegroundWindow(process);
            return message != 0 && ::PostMessageW(dialog, message, 0, 0) != FALSE;
        }
        if (::GetTickCount() - start >= waitMs)
            return false;
        ::Sleep(kFindPollMs);
    }
}

} // namespace QV
