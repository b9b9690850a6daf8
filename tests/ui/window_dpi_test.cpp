// The run-time DPI calls against Wine's user32, with the newer calls and without them (as on
// Windows before 10), under the prefix's own DPI.
#include "ui/window_dpi.h"

#include "ui/dpi_scale.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace QV
{
namespace
{

struct DpiSystemCase
{
    const char* name;
    bool newerCalls;
};

void PrintTo(const DpiSystemCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowDpiTest : public ::testing::TestWithParam<DpiSystemCase>
{
protected:
    QVWindowDpi Make() const
    {
        return QVWindowDpi(GetParam().newerCalls ? ::GetModuleHandleW(L"user32.dll") : nullptr);
    }
};

TEST_P(WindowDpiTest, SystemDpiIsTheScreens)
{
    HDC screen = ::GetDC(nullptr);
    const auto expected = static_cast<uint32_t>(::GetDeviceCaps(screen, LOGPIXELSY));
    ::ReleaseDC(nullptr, screen);
    QVWindowDpi dpi = Make();
    EXPECT_EQ(dpi.SystemDpi(), expected);

    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(dpi.ForWindow(window), expected) << "Wine has one DPI for every monitor";
    ::DestroyWindow(window);
}

TEST_P(WindowDpiTest, IconMetricsAtEachScalingStep)
{
    QVWindowDpi dpi = Make();
    for (uint32_t step : kScalingStepDpis)
    {
        EXPECT_EQ(dpi.Metric(SM_CXSMICON, step), IconSizeForDpi(16, step)) << step;
        EXPECT_EQ(dpi.Metric(SM_CYSMICON, step), IconSizeForDpi(16, step)) << step;
        EXPECT_EQ(dpi.Metric(SM_CXICON, step), IconSizeForDpi(32, step)) << step;
    }
}

TEST_P(WindowDpiTest, IconTitleFontGrowsWithTheDpi)
{
    QVWindowDpi dpi = Make();
    LOGFONTW at96 = {}, at192 = {};
    ASSERT_TRUE(dpi.IconTitleFont(at96, 96));
    ASSERT_TRUE(dpi.IconTitleFont(at192, 192));
    ASSERT_NE(at96.lfHeight, 0);
    EXPECT_LE(std::abs(at192.lfHeight - 2 * at96.lfHeight), 1);
    EXPECT_STREQ(at96.lfFaceName, at192.lfFaceName);
}

TEST_P(WindowDpiTest, FrameGoesAroundTheClientArea)
{
    QVWindowDpi dpi = Make();
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    RECT rect = {0, 0, 440, 238};
    ASSERT_TRUE(dpi.ClientToWindow(rect, style, 0, dpi.SystemDpi()));
    RECT plain = {0, 0, 440, 238};
    ::AdjustWindowRectEx(&plain, style, FALSE, 0);
    EXPECT_EQ(rect.right - rect.left, plain.right - plain.left);
    EXPECT_EQ(rect.bottom - rect.top, plain.bottom - plain.top);
    EXPECT_GT(rect.bottom - rect.top, 238) << "a caption above the client area";
}

TEST_P(WindowDpiTest, DialogScalingIsOursWhereTheSystemWouldTakeIt)
{
    // Wine's dialog manager has no DPI behaviours of its own to switch off.
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
    EXPECT_FALSE(Make().TakeOverDialogScaling(window));
    ::DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(Table, WindowDpiTest,
                         ::testing::Values(DpiSystemCase{"NewerCalls", true},
                                           DpiSystemCase{"OlderSystem", false}),
                         [](const ::testing::TestParamInfo<DpiSystemCase>& info)
                         { return info.param.name; });

} // namespace
} // namespace QV
