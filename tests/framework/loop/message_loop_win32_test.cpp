// The message loop on the thread's real message queue.
#include "framework/loop/message_loop.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace QV
{
namespace
{

class QuitCode : public testing::TestWithParam<int>
{
};

TEST_P(QuitCode, RunAnswersTheCodeOfThePostedQuitMessage)
{
    CMessageLoop loop;
    ::PostQuitMessage(GetParam());
    EXPECT_EQ(GetParam(), loop.Run());
}

INSTANTIATE_TEST_SUITE_P(Codes, QuitCode, testing::Values(0, 7, -3));

// Writes down every message the loop retrieves, without consuming any.
class CRecorder final : public CMessageFilter
{
public:
    bool PreTranslateMessage(LoopMessage* pMsg) override
    {
        m_messages.push_back(pMsg->message);
        return false;
    }

    std::string Describe() const
    {
        std::string text;
        for (unsigned int m : m_messages)
            text += " 0x" + std::to_string(m);
        return text;
    }

    std::vector<unsigned int> m_messages;
};

class CCountingIdle final : public CIdleHandler
{
public:
    int HandleIdle() override
    {
        if (m_nCalls++ == 0 && m_firstCall)
            m_firstCall();
        return TRUE;
    }

    int m_nCalls = 0;
    void (*m_firstCall)() = nullptr;
};

HWND g_hWnd = nullptr;
std::vector<UINT> g_received;

LRESULT CALLBACK TestWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    g_received.push_back(uMsg);
    if (uMsg == WM_TIMER && wParam == 1)
    {
        ::KillTimer(hWnd, 1);
        return 0;
    }
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// Ends the loop some time after the provoked message, whatever idle work did meanwhile.
void CALLBACK EndLoop(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    ::PostQuitMessage(42);
}

struct RearmCase
{
    const char* name;
    void (*provoke)();
    UINT message;
    int expectedIdleCalls;
};

void PostToWindow(UINT msg)
{
    ::PostMessageW(g_hWnd, msg, 0, 0);
}

const RearmCase kRearmCases[] = {
    {"MouseMove", [] { PostToWindow(WM_MOUSEMOVE); }, WM_MOUSEMOVE, 1},
    {"NonClientMouseMove", [] { PostToWindow(WM_NCMOUSEMOVE); }, WM_NCMOUSEMOVE, 1},
    {"Message0x0118", [] { PostToWindow(0x0118); }, 0x0118, 1},
    {"Paint", [] { ::InvalidateRect(g_hWnd, nullptr, TRUE); }, WM_PAINT, 1},
    {"Timer", [] { ::SetTimer(g_hWnd, 1, 10, nullptr); }, WM_TIMER, 2},
    {"UserMessage", [] { PostToWindow(WM_USER + 5); }, WM_USER + 5, 2},
    {"KeyDown", [] { PostToWindow(WM_KEYDOWN); }, WM_KEYDOWN, 2},
};

class IdleRearm : public testing::TestWithParam<RearmCase>
{
protected:
    // One window for all cases: under Wine, destroying a visible window takes about 2 s.
    static void SetUpTestSuite()
    {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = TestWindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QvLoopTestWindow";
        ::RegisterClassExW(&wc);
        // Visible, so that an invalidated area produces WM_PAINT.
        g_hWnd =
            ::CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"loop", WS_POPUP | WS_VISIBLE, 0,
                              0, 80, 60, nullptr, nullptr, wc.hInstance, nullptr);
        ::UpdateWindow(g_hWnd);
    }

    static void TearDownTestSuite()
    {
        ::DestroyWindow(g_hWnd);
        g_hWnd = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(nullptr, g_hWnd);
        // Start from a quiet queue: what the window's appearance posted is handled here.
        for (int quietRounds = 0; quietRounds < 5;)
        {
            MSG msg;
            if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            {
                ::DispatchMessageW(&msg);
                quietRounds = 0;
            }
            else
            {
                ::Sleep(20);
                ++quietRounds;
            }
        }
        g_received.clear();
    }
};

TEST_P(IdleRearm, OnlyMessagesOtherThanPaintAndMouseMovesRearmIdleWork)
{
    const RearmCase& c = GetParam();
    CMessageLoop loop;
    CCountingIdle idle;
    CRecorder recorder;
    idle.m_firstCall = c.provoke;
    ASSERT_TRUE(loop.RegisterIdleHandler(&idle));
    ASSERT_TRUE(loop.RegisterMessageFilter(&recorder));
    ASSERT_NE(0u, ::SetTimer(nullptr, 0, 400, EndLoop));

    EXPECT_EQ(42, loop.Run());

    EXPECT_NE(g_received.end(), std::find(g_received.begin(), g_received.end(), c.message))
        << "the provoked message never reached the window";
    EXPECT_EQ(c.expectedIdleCalls, idle.m_nCalls) << "retrieved:" << recorder.Describe();
}

INSTANTIATE_TEST_SUITE_P(Messages, IdleRearm, testing::ValuesIn(kRearmCases),
                         [](const testing::TestParamInfo<RearmCase>& info)
                         { return std::string(info.param.name); });

// A window that, when destroyed, does what the progress window does: leaves the loop's idle
// handlers and posts the quit message.
class CClosingWindow final : public CIdleHandler
{
public:
    explicit CClosingWindow(CMessageLoop& loop) : m_loop(loop) {}

    bool Create()
    {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QvClosingWindow";
        ::RegisterClassExW(&wc);
        m_hWnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, this);
        return m_hWnd != nullptr;
    }

    int HandleIdle() override
    {
        ++m_nIdleCalls;
        ::DestroyWindow(m_hWnd);
        return FALSE;
    }

    HWND m_hWnd = nullptr;
    int m_nIdleCalls = 0;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        if (uMsg == WM_NCCREATE)
        {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<CClosingWindow*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && uMsg == WM_DESTROY)
        {
            EXPECT_TRUE(self->m_loop.UnregisterIdleHandler(self));
            ::PostQuitMessage(5);
            return 0;
        }
        return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }

    CMessageLoop& m_loop;
};

TEST(IdleHandlerClosingItsWindow, EndsTheWalkAndTheLoopCleanly)
{
    CMessageLoop loop;
    CClosingWindow window(loop);
    CCountingIdle other;
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(loop.RegisterIdleHandler(&window));
    ASSERT_TRUE(loop.RegisterIdleHandler(&other));

    EXPECT_EQ(5, loop.Run());

    EXPECT_EQ(1, window.m_nIdleCalls);
    EXPECT_FALSE(::IsWindow(window.m_hWnd));
    // It moved into the position just walked, so this round did not reach it.
    EXPECT_EQ(0, other.m_nCalls);
    EXPECT_EQ(1, loop.GetIdleHandlerCount());
}

} // namespace
} // namespace QV
