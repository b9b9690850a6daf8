// The part shared by every window and dialog object: its window handle, its message handler and
// the hook run after its window's last message.
#pragma once

#include <windows.h>

namespace QV
{

// A C++ object bound to one window at a time. The framework stores the object's address in the
// window's GWLP_USERDATA slot, which is therefore not available to the derived class.
class CWindowBase
{
public:
    // The bound window; null before creation and again once the window's last message is done.
    HWND m_hWnd = nullptr;

    CWindowBase() noexcept = default;
    CWindowBase(const CWindowBase&) = delete;
    CWindowBase& operator=(const CWindowBase&) = delete;
    // If the window still exists, it is detached (its later messages get default handling) and,
    // on the thread that owns it, destroyed.
    virtual ~CWindowBase();

    // Handles a message of the bound window. TRUE when handled, with lResult set; FALSE sends it
    // to default processing. msgMapId is always 0 (the default message map).
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult, DWORD msgMapId) = 0;
    // Called after the window's last message (WM_NCDESTROY), with m_hWnd already null; the object
    // may delete itself here. Does nothing by default.
    virtual void OnFinalMessage(HWND hWnd);

    BOOL IsWindow() const noexcept { return ::IsWindow(m_hWnd); }
    BOOL ShowWindow(int nCmdShow) noexcept { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL DestroyWindow() noexcept { return ::DestroyWindow(m_hWnd); }
    HWND GetDlgItem(int nId) const noexcept { return ::GetDlgItem(m_hWnd, nId); }
    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) noexcept
    {
        return ::SendMessageW(m_hWnd, uMsg, wParam, lParam);
    }
};

// The window procedure of every window class the framework registers: binds a new window to
// the object creating it and passes each message to that object.
LRESULT CALLBACK FrameworkWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// The dialog procedure of every dialog the framework creates (same binding as windows).
INT_PTR CALLBACK FrameworkDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Announces, for the lifetime of the scope, that `object` is creating a window on the calling
// thread, so that the window's first message binds it to `object`. Create the window inside the
// scope; leaving the scope withdraws the announcement if no window took it (failed creation).
class CWindowCreationScope
{
public:
    explicit CWindowCreationScope(CWindowBase& object) noexcept;
    ~CWindowCreationScope();
    CWindowCreationScope(const CWindowCreationScope&) = delete;
    CWindowCreationScope& operator=(const CWindowCreationScope&) = delete;

    // A pending window: the object and the thread creating it. Entries are kept on the stacks of
    // the creating threads and linked under the window-creation lock.
    struct Entry
    {
        CWindowBase* pObject;
        DWORD dwThreadId;
        Entry* pNext;
    };

private:
    Entry m_entry;
};

} // namespace QV
