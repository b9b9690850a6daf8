#include "ui/tray_notify_record.h"

#include <algorithm>

namespace QV
{

namespace
{
constexpr uint64_t kLeftButtonUp = 0x0202;          // WM_LBUTTONUP
constexpr uint64_t kLeftButtonDoubleClick = 0x0203; // WM_LBUTTONDBLCLK
constexpr uint64_t kRightButtonUp = 0x0205;         // WM_RBUTTONUP
constexpr uint64_t kNotifySelect = 0x0400;          // NIN_SELECT (WM_USER)
constexpr uint64_t kNotifyKeySelect = 0x0401;       // NIN_KEYSELECT
constexpr uint64_t kBalloonShow = 0x0402;           // NIN_BALLOONSHOW
constexpr uint64_t kBalloonTimeout = 0x0404;        // NIN_BALLOONTIMEOUT
constexpr uint64_t kBalloonUserClick = 0x0405;      // NIN_BALLOONUSERCLICK

// Copies at most N - 1 characters of `source` and ends the field with a NUL. A cut that would
// leave the first half of a UTF-16 surrogate pair at the end drops that half too, so the shell
// never gets a broken character.
template <size_t N> void CopyField(wchar_t (&field)[N], const wchar_t* source)
{
    size_t length = 0;
    if (source != nullptr)
    {
        while (length < N - 1 && source[length] != L'\0')
            ++length;
        bool cut = source[length] != L'\0';
        if (cut && length > 0)
        {
            auto last = static_cast<uint32_t>(source[length - 1]);
            if (last >= 0xD800 && last <= 0xDBFF)
                --length;
        }
        std::copy(source, source + length, field);
    }
    std::fill(field + length, field + N, L'\0');
}
} // namespace

int DecideTrayShellLevel(std::optional<uint32_t> osMajor, std::optional<uint32_t> shellMajor)
{
    if (osMajor && *osMajor >= 6)
        return 3;
    if (shellMajor && *shellMajor >= 6)
        return 2;
    if (shellMajor && *shellMajor == 5)
        return 1;
    return 0;
}

TrayClickAction DecideTrayClick(uint64_t iconId, uint64_t mouseMessage)
{
    if (iconId != kTrayIconId)
        return TrayClickAction::NotOurs;
    return mouseMessage == kRightButtonUp ? TrayClickAction::OpenMenu : TrayClickAction::Ignore;
}

TrayNotice ClassifyTrayNotice(uint64_t mouseMessage)
{
    switch (mouseMessage)
    {
    case kLeftButtonUp:
    case kLeftButtonDoubleClick:
    case kNotifySelect:
    case kNotifyKeySelect:
        return TrayNotice::Activated;
    case kBalloonShow:
        return TrayNotice::BalloonShown;
    case kBalloonTimeout:
        return TrayNotice::BalloonClosed;
    case kBalloonUserClick:
        return TrayNotice::BalloonClicked;
    default:
        return TrayNotice::Other;
    }
}

QVTrayNotifyRecord::QVTrayNotifyRecord(ITrayShell& shell, int shellLevel,
                                       const TrayRecordSizes& sizes)
    : m_shell(shell), m_nShellLevel(std::clamp(shellLevel, 0, 3))
{
    m_record.cbSize = sizes.level[m_nShellLevel];
}

bool QVTrayNotifyRecord::Add(uintptr_t owner, const wchar_t* tip, uintptr_t icon)
{
    std::lock_guard<CThreadLock> guard(m_lock);
    m_record.uFlags = kTrayFlagMessage | kTrayFlagIcon | kTrayFlagTip;
    m_record.hWnd = owner;
    m_record.hIcon = icon;
    m_record.uID = kTrayIconId;
    m_record.uCallbackMessage = kTrayCallbackMessage;
    CopyField(m_record.szTip, tip);
    m_bAdded = m_shell.Notify(kTrayAdd, m_record);
    if (m_bAdded)
        SetVersionLocked();
    return m_bAdded;
}

void QVTrayNotifyRecord::SetVersionLocked()
{
    if (m_nShellLevel < 1)
        return;
    m_record.uTimeoutOrVersion = kTrayVersion;
    m_shell.Notify(kTraySetVersion, m_record);
}

bool QVTrayNotifyRecord::ShowBalloon(const wchar_t* text, const wchar_t* title)
{
    std::lock_guard<CThreadLock> guard(m_lock);
    if (!m_bAdded)
        return false;
    m_record.uFlags = kTrayFlagInfo;
    CopyField(m_record.szInfo, text);
    CopyField(m_record.szInfoTitle, title);
    m_record.uTimeoutOrVersion = kTrayVersion;
    m_record.dwInfoFlags = kTrayInfoIcon;
    return m_shell.Notify(kTrayModify, m_record);
}

bool QVTrayNotifyRecord::Hide()
{
    std::lock_guard<CThreadLock> guard(m_lock);
    m_record.uFlags = kTrayFlagState;
    m_record.dwState = kTrayStateHidden;
    m_record.dwStateMask = kTrayStateHidden;
    bool accepted = m_shell.Notify(kTrayModify, m_record);
    if (accepted)
        m_bHidden = true;
    return accepted;
}

bool QVTrayNotifyRecord::Show()
{
    std::lock_guard<CThreadLock> guard(m_lock);
    m_record.uFlags = kTrayFlagState;
    m_record.dwState = 0;
    m_record.dwStateMask = kTrayStateHidden;
    bool accepted = m_shell.Notify(kTrayModify, m_record);
    if (accepted)
        m_bHidden = false;
    return accepted;
}

bool QVTrayNotifyRecord::Remove()
{
    std::lock_guard<CThreadLock> guard(m_lock);
    return RemoveLocked();
}

bool QVTrayNotifyRecord::RemoveLocked()
{
    if (!m_bAdded)
        return true;
    m_record.uFlags = 0;
    bool removed = m_shell.Notify(kTrayDelete, m_record);
    m_bAdded = false;
    return removed;
}

void QVTrayNotifyRecord::AddAgain()
{
    std::lock_guard<CThreadLock> guard(m_lock);
    bool wasHidden = m_bHidden;
    RemoveLocked();
    m_record.uFlags = kTrayFlagMessage | kTrayFlagIcon | kTrayFlagTip;
    if (wasHidden)
    {
        m_record.uFlags |= kTrayFlagState;
        m_record.dwState = kTrayStateHidden;
        m_record.dwStateMask = kTrayStateHidden;
    }
    if (m_shell.Notify(kTrayAdd, m_record))
    {
        m_bAdded = true;
        if (wasHidden)
            m_bHidden = true;
        SetVersionLocked();
    }
}

bool QVTrayNotifyRecord::AddIfMissing()
{
    std::lock_guard<CThreadLock> guard(m_lock);
    if (m_bAdded || m_record.hWnd == 0)
        return false;
    m_record.uFlags = kTrayFlagMessage | kTrayFlagIcon | kTrayFlagTip;
    m_bAdded = m_shell.Notify(kTrayModify, m_record) || m_shell.Notify(kTrayAdd, m_record);
    if (m_bAdded)
        SetVersionLocked();
    return m_bAdded;
}

bool QVTrayNotifyRecord::IsAdded() const
{
    std::lock_guard<CThreadLock> guard(m_lock);
    return m_bAdded;
}

bool QVTrayNotifyRecord::IsHidden() const
{
    std::lock_guard<CThreadLock> guard(m_lock);
    return m_bHidden;
}

uint32_t QVTrayNotifyRecord::RecordSize() const
{
    std::lock_guard<CThreadLock> guard(m_lock);
    return m_record.cbSize;
}

uintptr_t QVTrayNotifyRecord::Owner() const
{
    std::lock_guard<CThreadLock> guard(m_lock);
    return m_record.hWnd;
}

} // namespace QV
