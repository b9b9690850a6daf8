// The DPI calls of user32 that only newer systems have (Windows 10 1607 and later, the dialog
// call 1703), looked up at run time so that the installer still starts where they are missing:
// every answer then falls back to the system DPI, which is what those systems scale by.
#pragma once

#include <windows.h>

#include <cstdint>

namespace QV
{

class QVWindowDpi
{
public:
    // Looks the calls up in `user32` (already loaded: the exe imports it); a null module, or a
    // module without them, leaves every call to its fallback. Reads the system DPI once.
    explicit QVWindowDpi(HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) noexcept;

    // The DPI the process's windows are scaled by on older systems: the screen's LOGPIXELSY
    // (96 when it cannot be read).
    uint32_t SystemDpi() const noexcept { return m_uSystemDpi; }

    // The DPI of the monitor the window is on (GetDpiForWindow), else the system DPI.
    uint32_t ForWindow(HWND hWnd) const noexcept;

    // A system metric (SM_*) at `dpi` (GetSystemMetricsForDpi), else the system-DPI metric scaled
    // from the system DPI to `dpi`.
    int Metric(int index, uint32_t dpi) const noexcept;

    // The icon title font at `dpi` (SystemParametersInfoForDpi), else the system-DPI font with its
    // height scaled. False, `font` unchanged, when neither answers.
    bool IconTitleFont(LOGFONTW& font, uint32_t dpi) const noexcept;

    // Grows `rect` from a client area to the window around it at `dpi`
    // (AdjustWindowRectExForDpi), else with the system's frame (AdjustWindowRectEx). False, `rect`
    // unchanged, when the system refuses.
    bool ClientToWindow(RECT& rect, DWORD style, DWORD exStyle, uint32_t dpi) const noexcept;

    // Takes the rescaling of `dialog` on a DPI change away from the dialog manager of newer
    // systems (SetDialogDpiChangeBehavior, all behaviours off), so that one code path rescales
    // it everywhere. False where the call does not exist or refuses.
    bool TakeOverDialogScaling(HWND dialog) const noexcept;

private:
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);

    GetDpiForWindowFn m_pGetDpiForWindow = nullptr;
    GetSystemMetricsForDpiFn m_pGetSystemMetricsForDpi = nullptr;
    SystemParametersInfoForDpiFn m_pSystemParametersInfoForDpi = nullptr;
    AdjustWindowRectExForDpiFn m_pAdjustWindowRectExForDpi = nullptr;
    SetDialogDpiChangeBehaviorFn m_pSetDialogDpiChangeBehavior = nullptr;
    uint32_t m_uSystemDpi = 96;
};

} // namespace QV
