// Modeless dialogs bound to their objects, on the real dialog manager.
#include "framework/dialog_impl.h"

#include "framework/framework_test_resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <vector>

namespace QV
{
namespace
{

class CTestDialog final : public CDialogImpl<CTestDialog>
{
public:
    enum
    {
        IDD = IDD_FRAMEWORK_TEST
    };

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD msgMapId) override
    {
        EXPECT_EQ(0u, msgMapId);
        m_messages.push_back(uMsg);
        if (m_messages.size() == 1)
            m_bBoundAtFirstMessage = (m_hWnd == hWnd);
        if (uMsg == WM_INITDIALOG)
        {
            m_bBoundAtInit = (m_hWnd == hWnd);
            m_initParam = lParam;
            if (m_onInit)
                m_onInit(hWnd);
            lResult = m_initResult;
            return TRUE;
        }
        if (uMsg == WM_USER + 1)
        {
            lResult = 1234;
            return TRUE;
        }
        if (uMsg == WM_CTLCOLORDLG)
        {
            lResult = reinterpret_cast<LRESULT>(::GetStockObject(GRAY_BRUSH));
            return TRUE;
        }
        if (uMsg == WM_SETTEXT && m_bSwallowText)
        {
            lResult = TRUE;
            return TRUE;
        }
        (void)wParam;
        return FALSE;
    }

    void OnFinalMessage(HWND hWnd) override
    {
        m_finalWindow = hWnd;
        m_bClearedBeforeFinal = (m_hWnd == nullptr);
        if (m_onFinal)
            m_onFinal();
    }

    std::vector<UINT> m_messages;
    bool m_bBoundAtFirstMessage = false;
    bool m_bBoundAtInit = false;
    LPARAM m_initParam = 0;
    LRESULT m_initResult = TRUE;
    std::function<void(HWND)> m_onInit;
    bool m_bSwallowText = false;
    HWND m_finalWindow = nullptr;
    bool m_bClearedBeforeFinal = false;
    std::function<void()> m_onFinal;
};

TEST(DialogImpl, BoundFromItsFirstMessageWhichPrecedesInitDialog)
{
    CTestDialog dlg;
    HWND hWnd = dlg.Create(::GetDesktopWindow(), 0x5A5A);
    ASSERT_NE(nullptr, hWnd);
    EXPECT_EQ(hWnd, dlg.m_hWnd);
    ASSERT_FALSE(dlg.m_messages.empty());
    EXPECT_TRUE(dlg.m_bBoundAtFirstMessage);
    EXPECT_TRUE(dlg.m_bBoundAtInit);
    EXPECT_EQ(0x5A5A, dlg.m_initParam);
    // The template has DS_SETFONT: the font comes before the initialisation.
    EXPECT_EQ(static_cast<UINT>(WM_SETFONT), dlg.m_messages.front());
    EXPECT_NE(nullptr, dlg.GetDlgItem(IDC_TEST_EDIT));
    EXPECT_TRUE(dlg.DestroyWindow());
}

struct InitCase
{
    const char* name;
    LRESULT result;
    int focusSetByHandler; // 0: none
    int expectedFocus;
};

class DialogInitResult : public testing::TestWithParam<InitCase>
{
};

// TRUE asks the dialog manager to focus the first tab stop; FALSE tells it the handler chose.
TEST_P(DialogInitResult, GoesStraightBackToTheDialogManager)
{
    const InitCase& c = GetParam();
    CTestDialog dlg;
    dlg.m_initResult = c.result;
    dlg.m_onInit = [&](HWND hWnd)
    {
        ::ShowWindow(hWnd, SW_SHOWNA);
        if (c.focusSetByHandler)
            ::SetFocus(::GetDlgItem(hWnd, c.focusSetByHandler));
    };
    HWND hWnd = dlg.Create(nullptr);
    ASSERT_NE(nullptr, hWnd);
    EXPECT_EQ(::GetDlgItem(hWnd, c.expectedFocus), ::GetFocus());
    ::ShowWindow(hWnd, SW_HIDE);
    dlg.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(
    Results, DialogInitResult,
    testing::Values(InitCase{"TrueFocusesFirstTabStop", TRUE, 0, IDC_TEST_EDIT},
                    InitCase{"TrueOverridesHandlersFocus", TRUE, IDC_TEST_BUTTON, IDC_TEST_EDIT},
                    InitCase{"FalseKeepsHandlersFocus", FALSE, IDC_TEST_BUTTON, IDC_TEST_BUTTON}),
    [](const testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

TEST(DialogImpl, HandledMessagesReturnTheirResultAndOthersGetDefaultHandling)
{
    CTestDialog dlg;
    HWND hWnd = dlg.Create(nullptr);
    ASSERT_NE(nullptr, hWnd);

    EXPECT_EQ(1234, ::SendMessageW(hWnd, WM_USER + 1, 0, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(::GetStockObject(GRAY_BRUSH)),
              ::SendMessageW(hWnd, WM_CTLCOLORDLG, 0, 0));

    wchar_t text[32] = {};
    EXPECT_TRUE(::SetWindowTextW(hWnd, L"default"));
    ::GetWindowTextW(hWnd, text, 32);
    EXPECT_STREQ(L"default", text);

    dlg.m_bSwallowText = true;
    ::SetWindowTextW(hWnd, L"swallowed");
    ::GetWindowTextW(hWnd, text, 32);
    EXPECT_STREQ(L"default", text);

    dlg.DestroyWindow();
}

TEST(DialogImpl, FinalMessageRunsAfterDestructionWithTheHandleCleared)
{
    auto* dlg = new CTestDialog;
    bool deleted = false;
    HWND hWnd = dlg->Create(nullptr);
    ASSERT_NE(nullptr, hWnd);
    dlg->m_onFinal = [&]
    {
        EXPECT_EQ(static_cast<UINT>(WM_NCDESTROY), dlg->m_messages.back());
        EXPECT_TRUE(dlg->m_bClearedBeforeFinal);
        EXPECT_EQ(hWnd, dlg->m_finalWindow);
        delete dlg;
        deleted = true;
    };
    EXPECT_TRUE(::DestroyWindow(hWnd));
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(::IsWindow(hWnd));
}

TEST(DialogImpl, DialogClosingItselfDuringInitialisationAnswersNoWindow)
{
    CTestDialog dlg;
    dlg.m_onInit = [](HWND hWnd) { ::DestroyWindow(hWnd); };
    dlg.m_initResult = FALSE;
    EXPECT_EQ(nullptr, dlg.Create(nullptr));
    EXPECT_EQ(nullptr, dlg.m_hWnd);
    EXPECT_NE(nullptr, dlg.m_finalWindow);
    EXPECT_FALSE(::IsWindow(dlg.m_finalWindow));
}

TEST(DialogImpl, MissingTemplateFailsAndLeavesNothingPending)
{
    class CMissing final : public CDialogImpl<CMissing>
    {
    public:
        enum
        {
            IDD = 999
        };
        BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override
        {
            ++m_nMessages;
            return FALSE;
        }
        int m_nMessages = 0;
    };
    CMissing missing;
    EXPECT_EQ(nullptr, missing.Create(nullptr));
    EXPECT_EQ(0, missing.m_nMessages);

    // A later dialog on this thread must bind to its own object, not the failed one.
    CTestDialog dlg;
    HWND hWnd = dlg.Create(nullptr);
    ASSERT_NE(nullptr, hWnd);
    EXPECT_TRUE(dlg.m_bBoundAtFirstMessage);
    EXPECT_EQ(0, missing.m_nMessages);
    dlg.DestroyWindow();
}

TEST(DialogImpl, SecondCreateWhileAWindowExistsIsRefused)
{
    CTestDialog dlg;
    HWND hWnd = dlg.Create(nullptr);
    ASSERT_NE(nullptr, hWnd);
    EXPECT_EQ(nullptr, dlg.Create(nullptr));
    EXPECT_EQ(hWnd, dlg.m_hWnd);
    dlg.DestroyWindow();
}

} // namespace
} // namespace QV
