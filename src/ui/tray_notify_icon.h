// The installer's notification-area icon: tooltip, balloons, hidden state, the right-click menu
// and adding it when the taskbar starts (late, as at logon, or again after a restart). The owner
// window gets the icon's callback message (WM_USER + 100) and the menu's commands; a hidden helper
// window of its own hears the shell's "TaskbarCreated" broadcast.
#pragma once

#include "common/win_handle.h"
#include "framework/window_impl.h"
#include "ui/tray_notify_record.h"

#include <windows.h>

namespace QV
{

// The registered message number of the shell's "TaskbarCreated" broadcast, obtained during
// static initialisation (0 only if the system could not register it).
extern const UINT g_uTaskbarCreatedMsg;

// Sends the portable record to the shell as a NOTIFYICONDATAW whose size field is the record's.
class QVShellNotifyIcon : public ITrayShell
{
public:
    // Shell_NotifyIconW with `message` and the record's fields; true when the shell accepted.
    bool Notify(uint32_t message, const TrayRecord& record) override;
};

// The native record sizes of shell levels 0 to 3 (152, 936, 952, 956 in 32-bit code).
const TrayRecordSizes& NativeTrayRecordSizes();

// Decides the shell level from GetVersionExW and, when SHELL32.DLL is already loaded, its
// DllGetVersion (the library is not loaded for this).
int QueryTrayShellLevel();

class CTrayNotifyIcon : public CWindowImpl<CTrayNotifyIcon>
{
public:
    // No window, no menu, no icon; decides the shell level and sizes the record by it.
    CTrayNotifyIcon();
    // Removes the icon, closes the helper window, destroys the menu.
    ~CTrayNotifyIcon() override;

    // Loads menu 104 (its first pop-up gets item 0 as bold default), creates the helper window
    // and adds the icon with `tip` (at most 127 characters kept) and `icon` (still the caller's),
    // sending callbacks and menu commands to `owner`. True when the icon was added. False when the
    // menu is missing or has no pop-up (no window, no icon), the helper window cannot be created,
    // or the shell refuses the icon (the helper window then exists: call Delete(true)).
    bool Create(HWND owner, const wchar_t* tip, HICON icon);

    // Shows an information balloon (text at most 255, title 63 characters kept). False with no
    // shell call when the icon is not added; otherwise the shell's answer. Any thread.
    bool ShowBalloon(const wchar_t* text, const wchar_t* title);

    // Puts the icon into the shell's hidden state; the hidden flag changes only if the shell
    // accepts (it refuses for an icon that is not added). Answers the shell's answer.
    bool HideIcon();
    // Takes the icon out of the hidden state, with the same rule.
    bool ShowIcon();
    // The hidden flag.
    bool IsHidden() const;
    // The icon counts as being in the notification area.
    bool IsAdded() const;

    // After a refused Create (no taskbar yet, as at logon): adds the icon now if the shell lacks
    // it. True when this call brought it into the notification area; false when it was there
    // already, Create never got as far as asking the shell, or the shell still refuses.
    bool AddIfMissing();

    // Removes the icon if added (added is false afterwards whatever the shell answers) and, when
    // asked and the helper window exists, closes it. True when nothing had to be removed or the
    // shell removed it.
    bool Delete(bool closeHelperWindow);

    // One callback message of the icon (owner's wParam and lParam). Another id: FALSE. A right
    // button release opens the pop-up menu at the cursor, its command going to the owner; any
    // other mouse message does nothing. TRUE for the icon's id (FALSE if the menu is gone).
    virtual BOOL OnTrayNotification(WPARAM id, LPARAM mouseMsg);

    // The helper window's messages: only the taskbar-created broadcast is handled. When the icon
    // is in the notification area afterwards, kTrayAddedMessage (wParam the icon's id) is posted
    // to the owner, so that it can show its current state.
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD msgMapId) override;

    // Class "TrayNotifyIconClass": redraw on resize, double clicks, window colour, arrow.
    static void GetWndClassInfo(WNDCLASSEXW& wc);

private:
    // The shell (re)started its taskbar and holds none of the old icons: add this one again, in
    // its visible or hidden state, and tell the owner when it is there.
    void OnTaskbarCreated();

    QVShellNotifyIcon m_shell;
    QVTrayNotifyRecord m_record;
    CMenu m_menu;
    UINT m_uDefaultItem = 0;
    BOOL m_bDefaultByPosition = TRUE;
};

} // namespace QV
