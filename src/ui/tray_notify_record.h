// The notification-area icon's record and state, away from the shell: which fields and flags each
// tray operation sends, which record size the shell understands, and the added/hidden state.
// The shell itself is reached through ITrayShell, so every call can be recorded and checked.
#pragma once

#include "common/thread_lock.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace QV
{

// Message numbers of the shell's notification-icon call (NIM_*).
enum TrayMessage : uint32_t
{
    kTrayAdd = 0,        // NIM_ADD
    kTrayModify = 1,     // NIM_MODIFY
    kTrayDelete = 2,     // NIM_DELETE
    kTraySetVersion = 4, // NIM_SETVERSION
};

// Record flags (NIF_*), state bits (NIS_*) and balloon values the tray operations use.
enum TrayValue : uint32_t
{
    kTrayFlagMessage = 0x01,       // NIF_MESSAGE
    kTrayFlagIcon = 0x02,          // NIF_ICON
    kTrayFlagTip = 0x04,           // NIF_TIP
    kTrayFlagState = 0x08,         // NIF_STATE
    kTrayFlagInfo = 0x10,          // NIF_INFO
    kTrayStateHidden = 0x01,       // NIS_HIDDEN
    kTrayInfoIcon = 0x01,          // NIIF_INFO
    kTrayVersion = 3,              // NOTIFYICON_VERSION; also the balloon time-out value
    kTrayIconId = 104,             // the icon's id: fixed, not a resource id (the menu's is apart)
    kTrayCallbackMessage = 0x0464, // WM_USER + 100, sent to the owner window
    kTrayAddedMessage = 0x0465,    // WM_USER + 101, posted to the owner when the icon came back
};

// The fields of the shell's notification record (NOTIFYICONDATAW) that the tray uses. Handles are
// opaque numbers here; the Windows adapter turns them back into HWND and HICON.
struct TrayRecord
{
    uint32_t cbSize = 0;
    uintptr_t hWnd = 0;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    uintptr_t hIcon = 0;
    wchar_t szTip[128] = {};
    uint32_t dwState = 0;
    uint32_t dwStateMask = 0;
    wchar_t szInfo[256] = {};
    uint32_t uTimeoutOrVersion = 0;
    wchar_t szInfoTitle[64] = {};
    uint32_t dwInfoFlags = 0;
};

// The shell's notification-icon call (Shell_NotifyIconW).
class ITrayShell
{
public:
    virtual ~ITrayShell() = default;
    // Sends `record` with `message` (a TrayMessage); true when the shell accepted it.
    virtual bool Notify(uint32_t message, const TrayRecord& record) = 0;
};

// Sizes of the notification record for shell levels 0 to 3 on one platform.
struct TrayRecordSizes
{
    uint32_t level[4];
};

// The sizes of the 32-bit record: 152 (first shell), 936, 952, 956 (full record).
inline constexpr TrayRecordSizes kTrayRecordSizes32 = {{152, 936, 952, 956}};

// The shell level, 0 to 3. osMajor is the system's major version when it could be read;
// shellMajor that of the shell library when it is loaded and answers. Level 3 for a system of
// major version 6 or higher, else 2 for a shell library of 6 or higher, 1 for 5, otherwise 0.
int DecideTrayShellLevel(std::optional<uint32_t> osMajor, std::optional<uint32_t> shellMajor);

// What a callback message of the icon asks for.
enum class TrayClickAction
{
    NotOurs,  // another icon's id: the message is not handled
    Ignore,   // handled, nothing to do
    OpenMenu, // right button released: open the pop-up menu
};

// Decides what the icon's callback message (icon id, mouse message) asks for.
TrayClickAction DecideTrayClick(uint64_t iconId, uint64_t mouseMessage);

// What a callback message of the icon tells, beyond the menu.
enum class TrayNotice
{
    Activated,      // a left click or double click on the icon, or its selection by keyboard
    BalloonShown,   // NIN_BALLOONSHOW
    BalloonClicked, // NIN_BALLOONUSERCLICK
    BalloonClosed,  // NIN_BALLOONTIMEOUT: timed out or closed by the user
    Other,          // anything else, among them NIN_BALLOONHIDE (icon removed, balloon replaced)
};

// Reads the mouse message (lParam) of a callback message of the icon.
TrayNotice ClassifyTrayNotice(uint64_t mouseMessage);

// The one notification record of a tray icon with its added and hidden flags. Every operation
// takes the record's lock around its field updates and its shell call, so operations coming from
// two threads (balloons from a worker, the rest from the window thread) never interleave.
class QVTrayNotifyRecord
{
public:
    // A zero-filled record whose size is that of `shellLevel` (0 to 3, clamped) in `sizes`; not
    // added, not hidden. `shell` must outlive this object.
    QVTrayNotifyRecord(ITrayShell& shell, int shellLevel,
                       const TrayRecordSizes& sizes = kTrayRecordSizes32);

    QVTrayNotifyRecord(const QVTrayNotifyRecord&) = delete;
    QVTrayNotifyRecord& operator=(const QVTrayNotifyRecord&) = delete;

    // Adds the icon: flags message, icon and tip; id 104; callback message 0x0464; `tip` copied
    // (truncated to 127 characters, null taken as empty). When added and the shell level is 1 or
    // higher, also asks for shell version 3 (its answer is not used). Answers the added flag.
    bool Add(uintptr_t owner, const wchar_t* tip, uintptr_t icon);

    // Shows an information balloon with `text` (at most 255 characters kept) and `title` (63).
    // Not added: false and nothing is sent. Otherwise the shell's answer.
    bool ShowBalloon(const wchar_t* text, const wchar_t* title);

    // Puts the icon into the shell's hidden state; the hidden flag is set only when the shell
    // accepts (on an icon that is not added it refuses). Answers the shell's answer.
    bool Hide();

    // Takes the icon out of the hidden state; the flag is cleared only when the shell accepts.
    bool Show();

    // Removes the icon when it counts as added (added is false afterwards whatever the shell
    // says) and answers the shell's answer; true without a call when it was not added.
    bool Remove();

    // After a shell restart: removes the icon if it counts as added, then adds it again from the
    // same record, hidden again if it was hidden, and asks for shell version 3 again as Add does.
    // On failure it stays removed (added false).
    void AddAgain();

    // For an icon whose Add was refused (no taskbar yet): first asks the shell whether it has the
    // icon after all (an add that timed out may still have arrived), else adds it as Add does.
    // True when this call brought the icon into the notification area; false when it counts as
    // added already, was never given an owner by Add, or the shell refuses (then nothing changes).
    bool AddIfMissing();

    // The icon counts as being in the notification area.
    bool IsAdded() const;
    // The icon is in the shell's hidden state.
    bool IsHidden() const;
    // The record's size field, fixed at construction.
    uint32_t RecordSize() const;
    // The owner window given to Add (0 before).
    uintptr_t Owner() const;
    // The shell level given at construction, clamped to 0..3.
    int ShellLevel() const { return m_nShellLevel; }

private:
    bool RemoveLocked();
    void SetVersionLocked();

    ITrayShell& m_shell;
    const int m_nShellLevel;
    mutable CThreadLock m_lock;
    TrayRecord m_record;
    bool m_bAdded = false;
    bool m_bHidden = false;
};

} // namespace QV
