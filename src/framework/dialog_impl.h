// Modeless dialogs whose messages go to a C++ object of class T.
#pragma once

#include "framework/app_module.h"
#include "framework/window_base.h"

#include <windows.h>

namespace QV
{

// T derives from CDialogImpl<T>, has enum { IDD = <template id> } and handles messages in
// ProcessWindowMessage. For WM_INITDIALOG and the other messages whose dialog-procedure result is
// the answer itself (WM_CTLCOLOR*, WM_COMPAREITEM, WM_VKEYTOITEM, WM_CHARTOITEM,
// WM_QUERYDRAGICON), a handled message's lResult goes straight back to the dialog manager; for
// the others it is stored as DWLP_MSGRESULT. Unhandled messages get default dialog handling.
template <class T> class CDialogImpl : public CWindowBase
{
public:
    // Creates the modeless dialog from template T::IDD of the module's resource instance, owned
    // by parent, and binds it to this object before its first message; initParam reaches
    // WM_INITDIALOG as lParam. Answers the dialog, or null when it cannot be created, destroyed
    // itself during initialisation, or this object already has a window.
    HWND Create(HWND parent, LPARAM initParam = 0) noexcept
    {
        if (m_hWnd)
            return nullptr;
        CWindowCreationScope creation(*this);
        HWND hWnd =
            ::CreateDialogParamW(g_appModule.GetResourceInstance(), MAKEINTRESOURCEW(T::IDD),
                                 parent, FrameworkDialogProc, initParam);
        // Some dialog managers answer the handle of a dialog already destroyed by its own
        // initialisation; the final message has then cleared m_hWnd.
        return hWnd && hWnd == m_hWnd ? hWnd : nullptr;
    }
};

} // namespace QV
