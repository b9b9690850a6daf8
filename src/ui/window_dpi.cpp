#include "ui/window_dpi.h"

#include "ui/dpi_scale.h"

namespace QV
{

namespace
{
template <class T> T Lookup(HMODULE module, const char* name) noexcept
{
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

constexpr int kDialogDisableAll = 1; // DDC_DISABLE_ALL
} // namespace

QVWindowDpi::QVWindowDpi(HMODULE user32) noexcept
    : m_pGetDpiForWindow(Lookup<GetDpiForWindowFn>(user32, "GetDpiForWindow")),
      m_pGetSystemMetricsForDpi(Lookup<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi")),
      m_pSystemParametersInfoForDpi(
          Lookup<SystemParametersInfoForDpiFn>(user32, "SystemParametersInfoForDpi")),
      m_pAdjustWindowRectExForDpi(
          Lookup<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi")),
      m_pSetDialogDpiChangeBehavior(
          Lookup<SetDialogDpiChangeBehaviorFn>(user32, "SetDialogDpiChangeBehavior"))
{
    if (HDC screen = ::GetDC(nullptr))
    {
        int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
        if (dpi > 0)
            m_uSystemDpi = static_cast<uint32_t>(dpi);
        ::ReleaseDC(nullptr, screen);
    }
}

uint32_t QVWindowDpi::ForWindow(HWND hWnd) const noexcept
{
    if (m_pGetDpiForWindow != nullptr)
    {
        UINT dpi = m_pGetDpiForWindow(hWnd);
        if (dpi != 0)
            return dpi;
    }
    return m_uSystemDpi;
}

int QVWindowDpi::Metric(int index, uint32_t dpi) const noexcept
{
    if (m_pGetSystemMetricsForDpi != nullptr)
        return m_pGetSystemMetricsForDpi(index, dpi);
    return ScaleForDpi(::GetSystemMetrics(index), m_uSystemDpi, dpi);
}

bool QVWindowDpi::IconTitleFont(LOGFONTW& font, uint32_t dpi) const noexcept
{
    LOGFONTW read = {};
    if (m_pSystemParametersInfoForDpi != nullptr &&
        m_pSystemParametersInfoForDpi(SPI_GETICONTITLELOGFONT, sizeof(read), &read, 0, dpi))
    {
        font = read;
        return true;
    }
    if (!::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(read), &read, 0))
        return false;
    read.lfHeight = ScaleForDpi(read.lfHeight, m_uSystemDpi, dpi);
    read.lfWidth = ScaleForDpi(read.lfWidth, m_uSystemDpi, dpi);
    font = read;
    return true;
}

bool QVWindowDpi::ClientToWindow(RECT& rect, DWORD style, DWORD exStyle,
                                 uint32_t dpi) const noexcept
{
    RECT grown = rect;
    BOOL done = m_pAdjustWindowRectExForDpi != nullptr
                    ? m_pAdjustWindowRectExForDpi(&grown, style, FALSE, exStyle, dpi)
                    : ::AdjustWindowRectEx(&grown, style, FALSE, exStyle);
    if (!done)
        return false;
    rect = grown;
    return true;
}

bool QVWindowDpi::TakeOverDialogScaling(HWND dialog) const noexcept
{
    return m_pSetDialogDpiChangeBehavior != nullptr &&
           m_pSetDialogDpiChangeBehavior(dialog, kDialogDisableAll, kDialogDisableAll) != FALSE;
}

} // namespace QV
