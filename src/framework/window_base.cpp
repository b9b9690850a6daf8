#include "framework/window_base.h"

#include "framework/module_records.h"

namespace QV
{
namespace
{

// How a window finds its object. Create announces the object on a list of pending windows,
// tagged with the creating thread's id (CWindowCreationScope). The window's first message, sent
// to the framework's procedure while CreateWindowExW or CreateDialogParamW is still running on
// that thread, finds no object in the window's GWLP_USERDATA slot, so it takes the thread's
// pending entry, stores the object there and sets m_hWnd. Every later message reads the slot.
// No code is generated at run time, so no executable memory is needed.
CWindowBase* ObjectOfWindow(HWND hWnd) noexcept
{
    auto* pObject = reinterpret_cast<CWindowBase*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (pObject)
        return pObject;
    pObject = g_windowModuleRecord.TakePendingWindow();
    if (pObject)
    {
        pObject->m_hWnd = hWnd;
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pObject));
    }
    return pObject;
}

// After the window's last message: unbind, then let the object end (it may delete itself).
void FinishWindow(CWindowBase* pObject, HWND hWnd) noexcept
{
    ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    pObject->m_hWnd = nullptr;
    pObject->OnFinalMessage(hWnd);
}

// Dialog-procedure answers that are the message's result itself rather than "handled".
bool DialogResultIsDirect(UINT uMsg) noexcept
{
    switch (uMsg)
    {
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return true;
    default:
        return false;
    }
}

} // namespace

CWindowBase::~CWindowBase()
{
    HWND hWnd = m_hWnd;
    if (!hWnd || !::IsWindow(hWnd))
        return;
    // The object is going: the window's remaining messages must not reach it.
    ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
    if (::GetWindowThreadProcessId(hWnd, nullptr) == ::GetCurrentThreadId())
        ::DestroyWindow(hWnd);
}

void CWindowBase::OnFinalMessage(HWND /*hWnd*/) {}

LRESULT CALLBACK FrameworkWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CWindowBase* pObject = ObjectOfWindow(hWnd);
    if (!pObject)
        return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);

    LRESULT lResult = 0;
    if (!pObject->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, 0))
        lResult = ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY)
        FinishWindow(pObject, hWnd);
    return lResult;
}

INT_PTR CALLBACK FrameworkDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CWindowBase* pObject = ObjectOfWindow(hWnd);
    if (!pObject)
        return FALSE;

    LRESULT lResult = 0;
    const BOOL bHandled = pObject->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, 0);
    if (uMsg == WM_NCDESTROY)
    {
        FinishWindow(pObject, hWnd);
        return bHandled;
    }
    if (!bHandled)
        return FALSE;
    if (DialogResultIsDirect(uMsg))
        return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}

CWindowCreationScope::CWindowCreationScope(CWindowBase& object) noexcept
    : m_entry{&object, ::GetCurrentThreadId(), nullptr}
{
    g_windowModuleRecord.AddPendingWindow(m_entry);
}

CWindowCreationScope::~CWindowCreationScope()
{
    g_windowModuleRecord.RemovePendingWindow(m_entry);
}

} // namespace QV
