// Windows whose messages go to a C++ object of class T.
#pragma once

#include "framework/app_module.h"
#include "framework/module_records.h"
#include "framework/window_base.h"

#include <windows.h>

namespace QV
{

// T derives from CWindowImpl<T>, handles messages in ProcessWindowMessage and provides
//   static void GetWndClassInfo(WNDCLASSEXW& wc);
// filling lpszClassName, style, hbrBackground and hCursor. Unhandled messages go to
// DefWindowProcW.
template <class T> class CWindowImpl : public CWindowBase
{
public:
    // Creates the window (class registered once per process on first use) and binds it to this
    // object before its first message. rect null means CW_USEDEFAULT for position and size.
    // Answers the window, or null (m_hWnd stays null) when the class cannot be registered, the
    // window cannot be created, or this object already has a window.
    HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle = 0,
                const RECT* rect = nullptr, HMENU menu = nullptr) noexcept
    {
        if (m_hWnd)
            return nullptr;
        WNDCLASSEXW wc = {};
        T::GetWndClassInfo(wc);
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = FrameworkWindowProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        wc.hInstance = g_appModule.GetModuleInstance();
        ATOM atom = g_windowModuleRecord.RegisterWindowClass(wc);
        if (!atom)
            return nullptr;
        int x = CW_USEDEFAULT, y = CW_USEDEFAULT, cx = CW_USEDEFAULT, cy = CW_USEDEFAULT;
        if (rect)
        {
            x = rect->left;
            y = rect->top;
            cx = rect->right - rect->left;
            cy = rect->bottom - rect->top;
        }
        CWindowCreationScope creation(*this);
        HWND hWnd = ::CreateWindowExW(exStyle, MAKEINTATOM(atom), title, style, x, y, cx, cy,
                                      parent, menu, wc.hInstance, nullptr);
        // A window destroyed during its own creation has already cleared m_hWnd.
        return hWnd && hWnd == m_hWnd ? hWnd : nullptr;
    }
};

} // namespace QV
