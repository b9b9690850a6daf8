// Windows bound to their objects: binding, dispatch, final message, class registration.
#include "framework/window_impl.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace QV
{
namespace
{

const wchar_t kClassName[] = L"QvFrameworkTestWindow";

class CTestWindow : public CWindowImpl<CTestWindow>
{
public:
    static void GetWndClassInfo(WNDCLASSEXW& wc)
    {
        wc.lpszClassName = kClassName;
        wc.style = CS_DBLCLKS;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    }

    ~CTestWindow() override { ++s_nDestroyed; }

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM, LPARAM lParam, LRESULT& lResult,
                              DWORD) override
    {
        if (m_messages.empty())
            m_bBoundAtFirstMessage = (m_hWnd == hWnd);
        m_messages.push_back(uMsg);
        if (m_onMessage)
            m_onMessage(hWnd, uMsg);
        if (uMsg == WM_CREATE)
            m_bBoundAtCreate = (m_hWnd == hWnd);
        if (uMsg == WM_USER + 1)
        {
            lResult = static_cast<LRESULT>(lParam) * 2;
            return TRUE;
        }
        if (uMsg == WM_SETTEXT && m_bSwallowText)
        {
            lResult = TRUE;
            return TRUE;
        }
        return FALSE;
    }

    void OnFinalMessage(HWND hWnd) override
    {
        ++s_nFinalMessages;
        m_finalWindow = hWnd;
        m_bClearedBeforeFinal = (m_hWnd == nullptr);
        if (m_bDeleteOnFinal)
            delete this;
    }

    std::vector<UINT> m_messages;
    std::function<void(HWND, UINT)> m_onMessage;
    bool m_bBoundAtFirstMessage = false;
    bool m_bBoundAtCreate = false;
    bool m_bSwallowText = false;
    bool m_bDeleteOnFinal = false;
    HWND m_finalWindow = nullptr;
    bool m_bClearedBeforeFinal = false;

    static inline int s_nDestroyed = 0;
    static inline int s_nFinalMessages = 0;
};

bool FindClass(WNDCLASSEXW& wc)
{
    wc = {};
    wc.cbSize = sizeof(wc);
    return ::GetClassInfoExW(::GetModuleHandleW(nullptr), kClassName, &wc) != FALSE;
}

TEST(WindowImpl, BoundBeforeItsFirstMessageAndClassFilledIn)
{
    CTestWindow window;
    HWND hWnd = window.Create(nullptr, L"title", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(nullptr, hWnd);
    EXPECT_EQ(hWnd, window.m_hWnd);
    EXPECT_TRUE(window.m_bBoundAtFirstMessage);
    EXPECT_TRUE(window.m_bBoundAtCreate);
    EXPECT_NE(window.m_messages.end(),
              std::find(window.m_messages.begin(), window.m_messages.end(), WM_NCCREATE));
    EXPECT_FALSE(::IsWindowVisible(hWnd));

    WNDCLASSEXW wc;
    ASSERT_TRUE(FindClass(wc));
    EXPECT_EQ(static_cast<UINT>(CS_DBLCLKS), wc.style);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), wc.hbrBackground);
    EXPECT_EQ(::GetModuleHandleW(nullptr), wc.hInstance);
    window.DestroyWindow();
}

TEST(WindowImpl, HandledMessagesReturnTheirResultAndOthersGoToDefWindowProc)
{
    CTestWindow window;
    HWND hWnd = window.Create(nullptr, L"first", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(nullptr, hWnd);
    EXPECT_EQ(42, window.SendMessage(WM_USER + 1, 0, 21));

    wchar_t text[32] = {};
    ::GetWindowTextW(hWnd, text, 32);
    EXPECT_STREQ(L"first", text);
    ::SetWindowTextW(hWnd, L"second");
    ::GetWindowTextW(hWnd, text, 32);
    EXPECT_STREQ(L"second", text);

    window.m_bSwallowText = true;
    ::SetWindowTextW(hWnd, L"third");
    ::GetWindowTextW(hWnd, text, 32);
    EXPECT_STREQ(L"second", text);

    // Unhandled WM_CLOSE reaches DefWindowProcW, which destroys the window.
    window.SendMessage(WM_CLOSE);
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(nullptr, window.m_hWnd);
}

TEST(WindowImpl, FinalMessageRunsLastWithTheHandleClearedAndMayDeleteTheObject)
{
    const int destroyedBefore = CTestWindow::s_nDestroyed;
    auto* window = new CTestWindow;
    window->m_bDeleteOnFinal = true;
    HWND hWnd = window->Create(nullptr, L"", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(nullptr, hWnd);
    std::vector<UINT> seen;
    window->m_onMessage = [&](HWND, UINT uMsg) { seen.push_back(uMsg); };
    const int finalsBefore = CTestWindow::s_nFinalMessages;
    EXPECT_TRUE(::DestroyWindow(hWnd));
    EXPECT_EQ(finalsBefore + 1, CTestWindow::s_nFinalMessages);
    EXPECT_EQ(destroyedBefore + 1, CTestWindow::s_nDestroyed);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(static_cast<UINT>(WM_NCDESTROY), seen.back());
}

TEST(WindowImpl, WindowDestroyedDuringItsCreationAnswersNoWindow)
{
    CTestWindow window;
    window.m_onMessage = [](HWND hWnd, UINT uMsg)
    {
        if (uMsg == WM_CREATE)
            ::DestroyWindow(hWnd);
    };
    EXPECT_EQ(nullptr, window.Create(nullptr, L"", WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(nullptr, window.m_hWnd);
    EXPECT_TRUE(window.m_bClearedBeforeFinal);
    EXPECT_FALSE(::IsWindow(window.m_finalWindow));
}

TEST(WindowImpl, FinalMessageSeesTheClearedHandleAndTheOldWindow)
{
    CTestWindow window;
    HWND hWnd = window.Create(nullptr, L"", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(nullptr, hWnd);
    window.DestroyWindow();
    EXPECT_TRUE(window.m_bClearedBeforeFinal);
    EXPECT_EQ(hWnd, window.m_finalWindow);
    EXPECT_EQ(nullptr, window.m_hWnd);
}

TEST(WindowImpl, ObjectDestroyedWithItsWindowAliveDetachesAndClosesIt)
{
    const int finalsBefore = CTestWindow::s_nFinalMessages;
    HWND hWnd = nullptr;
    {
        CTestWindow window;
        hWnd = window.Create(nullptr, L"", WS_OVERLAPPEDWINDOW);
        ASSERT_NE(nullptr, hWnd);
    }
    EXPECT_FALSE(::IsWindow(hWnd));
    // The gone object was not called for the window's last messages.
    EXPECT_EQ(finalsBefore, CTestWindow::s_nFinalMessages);
}

TEST(WindowImpl, ClassRegisteredOnceAndUnregisteredByTheExitCleanUp)
{
    CTestWindow first, second;
    ASSERT_NE(nullptr, first.Create(nullptr, L"", WS_OVERLAPPEDWINDOW));
    ASSERT_NE(nullptr, second.Create(nullptr, L"", WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(::GetClassLongPtrW(first.m_hWnd, GCW_ATOM),
              ::GetClassLongPtrW(second.m_hWnd, GCW_ATOM));
    first.DestroyWindow();
    second.DestroyWindow();

    WNDCLASSEXW wc;
    ASSERT_TRUE(FindClass(wc));
    // What the window module record's destructor runs at process exit.
    g_windowModuleRecord.UnregisterWindowClasses();
    EXPECT_FALSE(FindClass(wc));

    // Registered afresh on the next creation.
    CTestWindow third;
    ASSERT_NE(nullptr, third.Create(nullptr, L"", WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(FindClass(wc));
    third.DestroyWindow();
}

TEST(WindowImpl, ClassOfTheSameNameRegisteredElsewhereIsNotUsed)
{
    class CForeign final : public CWindowImpl<CForeign>
    {
    public:
        static void GetWndClassInfo(WNDCLASSEXW& wc) { wc.lpszClassName = L"QvForeignClass"; }
        BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override
        {
            return FALSE;
        }
    };
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvForeignClass";
    ASSERT_NE(0, ::RegisterClassExW(&wc));

    CForeign window;
    EXPECT_EQ(nullptr, window.Create(nullptr, L"", WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(nullptr, window.m_hWnd);
    ::UnregisterClassW(L"QvForeignClass", wc.hInstance);
}

// Many windows created at the same time by two threads: each must bind to the object of the
// thread that created it. The creation is slowed down inside its first messages so that both
// threads have a window pending at once.
TEST(WindowImpl, TwoThreadsCreatingAtOnceBindTheirOwnWindows)
{
    std::atomic<int> mismatches{0};
    std::atomic<int> created{0};
    std::atomic<int> ready{0};
    auto worker = [&]
    {
        ++ready;
        while (ready < 2)
            std::this_thread::yield();
        const DWORD self = ::GetCurrentThreadId();
        for (int i = 0; i < 40; ++i)
        {
            CTestWindow window;
            window.m_onMessage = [&, self](HWND hWnd, UINT uMsg)
            {
                if (::GetCurrentThreadId() != self ||
                    ::GetWindowThreadProcessId(hWnd, nullptr) != self)
                    ++mismatches;
                if (uMsg == WM_NCCREATE)
                    ::Sleep(1);
            };
            HWND hWnd = window.Create(nullptr, L"", WS_OVERLAPPEDWINDOW);
            if (!hWnd || window.m_hWnd != hWnd || !window.m_bBoundAtFirstMessage ||
                ::GetWindowLongPtrW(hWnd, GWLP_USERDATA) != reinterpret_cast<LONG_PTR>(&window))
                ++mismatches;
            else
                ++created;
            window.DestroyWindow();
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(0, mismatches.load());
    EXPECT_EQ(80, created.load());
}

} // namespace
} // namespace QV
