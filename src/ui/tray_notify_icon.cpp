#include "ui/tray_notify_icon.h"

#include "resource.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <optional>

namespace QV
{

const UINT g_uTaskbarCreatedMsg = ::RegisterWindowMessageW(L"TaskbarCreated");

namespace
{
template <size_t N, size_t M> void CopyText(wchar_t (&to)[N], const wchar_t (&from)[M])
{
    static_assert(N == M, "the portable record mirrors NOTIFYICONDATAW's text fields");
    std::copy(from, from + M, to);
}
} // namespace

// The 32-bit shipped exe must send exactly the sizes its shell levels name.
static_assert(sizeof(void*) != 4 ||
              (NOTIFYICONDATAW_V1_SIZE == 152 && NOTIFYICONDATAW_V2_SIZE == 936 &&
               NOTIFYICONDATAW_V3_SIZE == 952 && sizeof(NOTIFYICONDATAW) == 956));

const TrayRecordSizes& NativeTrayRecordSizes()
{
    static const TrayRecordSizes sizes = {{static_cast<uint32_t>(NOTIFYICONDATAW_V1_SIZE),
                                           static_cast<uint32_t>(NOTIFYICONDATAW_V2_SIZE),
                                           static_cast<uint32_t>(NOTIFYICONDATAW_V3_SIZE),
                                           static_cast<uint32_t>(sizeof(NOTIFYICONDATAW))}};
    return sizes;
}

int QueryTrayShellLevel()
{
    std::optional<uint32_t> osMajor;
    OSVERSIONINFOW os = {};
    os.dwOSVersionInfoSize = sizeof(os);
    if (::GetVersionExW(&os))
        osMajor = os.dwMajorVersion;

    std::optional<uint32_t> shellMajor;
    if (HMODULE shell = ::GetModuleHandleW(L"SHELL32.DLL"))
    {
        FARPROC proc = ::GetProcAddress(shell, "DllGetVersion");
        auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(proc));
        DLLVERSIONINFO version = {};
        version.cbSize = sizeof(version);
        if (getVersion && SUCCEEDED(getVersion(&version)))
            shellMajor = version.dwMajorVersion;
    }
    return DecideTrayShellLevel(osMajor, shellMajor);
}

bool QVShellNotifyIcon::Notify(uint32_t message, const TrayRecord& record)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = record.cbSize;
    data.hWnd = reinterpret_cast<HWND>(record.hWnd);
    data.uID = record.uID;
    data.uFlags = record.uFlags;
    data.uCallbackMessage = record.uCallbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.hIcon);
    CopyText(data.szTip, record.szTip);
    data.dwState = record.dwState;
    data.dwStateMask = record.dwStateMask;
    CopyText(data.szInfo, record.szInfo);
    data.uTimeout = record.uTimeoutOrVersion;
    CopyText(data.szInfoTitle, record.szInfoTitle);
    data.dwInfoFlags = record.dwInfoFlags;
    return ::Shell_NotifyIconW(message, &data) != FALSE;
}

CTrayNotifyIcon::CTrayNotifyIcon()
    : m_record(m_shell, QueryTrayShellLevel(), NativeTrayRecordSizes())
{
}

CTrayNotifyIcon::~CTrayNotifyIcon()
{
    Delete(true);
}

void CTrayNotifyIcon::GetWndClassInfo(WNDCLASSEXW& wc)
{
    wc.lpszClassName = L"TrayNotifyIconClass";
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
}

bool CTrayNotifyIcon::Create(HWND owner, const wchar_t* tip, HICON icon)
{
    m_menu.Reset(::LoadMenuW(g_appModule.GetResourceInstance(), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (!m_menu)
        return false;
    HMENU popup = ::GetSubMenu(m_menu.Get(), 0);
    if (!::IsMenu(popup))
        return false;
    ::SetMenuDefaultItem(popup, m_uDefaultItem, m_bDefaultByPosition);

    if (!CWindowImpl<CTrayNotifyIcon>::Create(nullptr, L"CTrayNotifyIcon Helper Window",
                                              WS_OVERLAPPEDWINDOW))
        return false;

    return m_record.Add(reinterpret_cast<uintptr_t>(owner), tip, reinterpret_cast<uintptr_t>(icon));
}

bool CTrayNotifyIcon::ShowBalloon(const wchar_t* text, const wchar_t* title)
{
    return m_record.ShowBalloon(text, title);
}

bool CTrayNotifyIcon::HideIcon()
{
    return m_record.Hide();
}

bool CTrayNotifyIcon::ShowIcon()
{
    return m_record.Show();
}

bool CTrayNotifyIcon::IsHidden() const
{
    return m_record.IsHidden();
}

bool CTrayNotifyIcon::IsAdded() const
{
    return m_record.IsAdded();
}

bool CTrayNotifyIcon::AddIfMissing()
{
    return m_record.AddIfMissing();
}

bool CTrayNotifyIcon::Delete(bool closeHelperWindow)
{
    bool removed = m_record.Remove();
    if (closeHelperWindow && IsWindow())
        ::SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
    return removed;
}

BOOL CTrayNotifyIcon::OnTrayNotification(WPARAM id, LPARAM mouseMsg)
{
    switch (DecideTrayClick(id, static_cast<uint64_t>(mouseMsg)))
    {
    case TrayClickAction::NotOurs:
        return FALSE;
    case TrayClickAction::Ignore:
        return TRUE;
    case TrayClickAction::OpenMenu:
        break;
    }
    HMENU popup = ::GetSubMenu(m_menu.Get(), 0);
    if (!::IsMenu(popup))
        return FALSE;
    // The menu loop is modal: the record's lock is not held while it runs, so balloons from the
    // worker thread keep going.
    HWND owner = reinterpret_cast<HWND>(m_record.Owner());
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    ::SetForegroundWindow(owner);
    ::TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, owner, nullptr);
    // Makes the switch to the owner's task complete before the next menu can open.
    ::PostMessageW(owner, WM_NULL, 0, 0);
    return TRUE;
}

BOOL CTrayNotifyIcon::ProcessWindowMessage(HWND, UINT uMsg, WPARAM, LPARAM, LRESULT& lResult, DWORD)
{
    if (uMsg != g_uTaskbarCreatedMsg || g_uTaskbarCreatedMsg == 0)
        return FALSE;
    OnTaskbarCreated();
    lResult = 0;
    return TRUE;
}

void CTrayNotifyIcon::OnTaskbarCreated()
{
    m_record.AddAgain();
    if (m_record.IsAdded())
        ::PostMessageW(reinterpret_cast<HWND>(m_record.Owner()), kTrayAddedMessage, kTrayIconId, 0);
}

} // namespace QV
