// The real progress dialog when its worker thread cannot be started: the run ends by itself with
// "下载程序异常终止" instead of leaving the tray icon saying "正在下载" for ever. It is a failure,
// so its notice stays in the tray for the failure notice time first. Thread creation cannot be
// made to fail for real, so the dialog gets a stand-in for _beginthreadex.
#include "common/user_texts.h"
#include "framework/app_module.h"
#include "ui/progress_nocancel_dlg.h"
#include "ui/run_ending.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cerrno>
#include <string>

namespace QV
{
namespace
{

constexpr UINT_PTR kGiveUpTimer = 77;
// Well beyond the failure notice, which the run shows before it ends.
constexpr UINT kGiveUpMs = kFailureNoticeMs + 15000;
constexpr int kGaveUp = 99;

uintptr_t __cdecl NoThread(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*)
{
    errno = EAGAIN;
    return 0;
}

// Registered before the dialog's own idle handler, so it reads the status line at each idle
// moment before the dialog may close.
class StatusWatcher final : public CIdleHandler
{
public:
    BOOL HandleIdle() override
    {
        if (m_hDialog != nullptr && ::IsWindow(m_hDialog))
        {
            wchar_t text[256] = {};
            ::GetDlgItemTextW(m_hDialog, IDC_STATUS, text, 256);
            m_strLastStatus = text;
        }
        return FALSE;
    }

    HWND m_hDialog = nullptr;
    std::wstring m_strLastStatus;
};

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostQuitMessage(kGaveUp);
}

TEST(ProgressDialog, AWorkerThatCannotStartEndsTheRunWithTheAbortText)
{
    ::InitCommonControls();
    ASSERT_EQ(g_appModule.Initialize(), S_OK);
    CMessageLoop loop;
    ASSERT_TRUE(g_appModule.RegisterMessageLoop(&loop));
    StatusWatcher watcher;
    ASSERT_TRUE(loop.RegisterIdleHandler(&watcher));
    int code = -1;
    HWND window = nullptr;
    {
        QVProgressNoCancelDlg dialog(&NoThread);
        window = dialog.Create(::GetDesktopWindow(), 0);
        ASSERT_NE(window, nullptr);
        watcher.m_hDialog = window;
        const UINT_PTR timer = ::SetTimer(nullptr, kGiveUpTimer, kGiveUpMs, &GiveUp);
        code = loop.Run();
        ::KillTimer(nullptr, timer);
    }
    loop.UnregisterIdleHandler(&watcher);
    g_appModule.UnregisterMessageLoop();

    EXPECT_EQ(code, 0) << "the dialog never closed itself";
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(watcher.m_strLastStatus, kMsgWorkerAborted);
}

} // namespace
} // namespace QV
