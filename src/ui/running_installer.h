// A second start while an installer runs: it finds the running installer's progress dialog and
// asks it to come into view, as a double-click on its tray icon does.
#pragma once
#ifdef _WIN32

#include <windows.h>

namespace QV
{

// Name of the registered window message that asks the progress dialog to show itself.
inline constexpr wchar_t kShowDialogMessageName[] = L"QuorvinOnlineInstaller.ShowDialog";

// How long a second start waits for the running installer's dialog (it may be starting still).
inline constexpr DWORD kRunningDialogWaitMs = 3000;

// The registered message of kShowDialogMessageName (0 when the system gives none).
UINT ShowDialogMessage() noexcept;

// The progress dialog of another process of this installer ("#32770" with the caption and the
// status control), or null.
HWND FindRunningInstallerDialog() noexcept;

// Lets the running installer's dialog take the foreground and posts it ShowDialogMessage,
// waiting up to `waitMs` for the dialog to appear. False when no dialog was found in that time.
bool ShowRunningInstaller(DWORD waitMs = kRunningDialogWaitMs) noexcept;

} // namespace QV

#endif // _WIN32
