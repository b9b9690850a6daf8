// The tray icon against the real shell tray of Wine, with the tray menu from this test's resources.
#include "ui/tray_notify_icon.h"

#include "common/user_texts.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace QV
{
namespace
{

// Asks the shell directly whether it holds an icon (owner, kTrayIconId): a modification succeeds
// only for an icon it has.
bool ShellHasIcon(HWND owner)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = kTrayIconId;
    data.uFlags = NIF_TIP;
    wcscpy_s(data.szTip, kCaption);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// A hidden top-level window standing for the dialog: it records the commands and WM_NULLs it
// receives.
class OwnerWindow
{
public:
    OwnerWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TrayTestOwner";
        ::RegisterClassW(&wc);
        m_hWnd = ::CreateWindowExW(0, L"TrayTestOwner", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                   100, nullptr, nullptr, wc.hInstance, nullptr);
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~OwnerWindow() { ::DestroyWindow(m_hWnd); }

    // Dispatches what is queued for this thread.
    void Pump()
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    HWND m_hWnd = nullptr;
    std::vector<WORD> m_commands;
    int m_nNulls = 0;
    std::vector<WPARAM> m_addedNotices; // kTrayAddedMessage's wParam, in order

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<OwnerWindow*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && msg == WM_COMMAND)
            self->m_commands.push_back(LOWORD(wParam));
        if (self && msg == WM_NULL)
            ++self->m_nNulls;
        if (self && msg == kTrayAddedMessage)
            self->m_addedNotices.push_back(wParam);
        return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    }
};

class TrayIconTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_owner.m_hWnd);
        m_hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    }

    bool CreateIcon() { return m_tray.Create(m_owner.m_hWnd, kCaption, m_hIcon); }

    OwnerWindow m_owner;
    HICON m_hIcon = nullptr;
    CTrayNotifyIcon m_tray;
};

TEST(TrayShellLevel, ModernSystemUsesTheFullRecord)
{
    EXPECT_EQ(QueryTrayShellLevel(), 3) << "Wine reports a system of major version 6 or higher";
    const TrayRecordSizes& sizes = NativeTrayRecordSizes();
    EXPECT_EQ(sizes.level[3], sizeof(NOTIFYICONDATAW));
    EXPECT_EQ(sizes.level[0], offsetof(NOTIFYICONDATAW, szTip) + 64 * sizeof(wchar_t));
    EXPECT_EQ(sizes.level[1], offsetof(NOTIFYICONDATAW, guidItem));
    EXPECT_EQ(sizes.level[2], offsetof(NOTIFYICONDATAW, hBalloonIcon));
}

TEST(TrayTaskbarCreated, MessageIsRegisteredBeforeMain)
{
    EXPECT_GE(g_uTaskbarCreatedMsg, 0xC000u);
    EXPECT_EQ(g_uTaskbarCreatedMsg, ::RegisterWindowMessageW(L"TaskbarCreated"));
}

TEST_F(TrayIconTest, CreateAddsIconAndHiddenHelperWindow)
{
    ASSERT_TRUE(CreateIcon());
    EXPECT_TRUE(ShellHasIcon(m_owner.m_hWnd));
    EXPECT_FALSE(m_tray.IsHidden());

    HWND helper = m_tray.m_hWnd;
    ASSERT_TRUE(::IsWindow(helper));
    EXPECT_FALSE(::IsWindowVisible(helper));
    EXPECT_EQ(::GetParent(helper), nullptr);
    EXPECT_EQ(::GetWindow(helper, GW_OWNER), nullptr);
    wchar_t text[64] = {};
    ::GetClassNameW(helper, text, 64);
    EXPECT_STREQ(text, L"TrayNotifyIconClass");
    ::GetWindowTextW(helper, text, 64);
    EXPECT_STREQ(text, L"CTrayNotifyIcon Helper Window");
    EXPECT_EQ(::GetWindowLongPtrW(helper, GWL_STYLE) & WS_OVERLAPPEDWINDOW,
              static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(::GetWindowLongPtrW(helper, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    EXPECT_EQ(::GetClassLongPtrW(helper, GCL_STYLE),
              static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
    EXPECT_EQ(::GetClassLongPtrW(helper, GCLP_HBRBACKGROUND),
              static_cast<ULONG_PTR>(COLOR_WINDOW + 1));
}

TEST_F(TrayIconTest, BalloonHideShowAndDelete)
{
    ASSERT_TRUE(CreateIcon());
    EXPECT_TRUE(m_tray.ShowBalloon(kDownloading, kCaption));

    EXPECT_TRUE(m_tray.HideIcon());
    EXPECT_TRUE(m_tray.IsHidden());
    EXPECT_TRUE(ShellHasIcon(m_owner.m_hWnd)) << "a hidden icon is still the shell's";
    EXPECT_TRUE(m_tray.ShowIcon());
    EXPECT_FALSE(m_tray.IsHidden());

    HWND helper = m_tray.m_hWnd;
    EXPECT_TRUE(m_tray.Delete(true));
    EXPECT_FALSE(ShellHasIcon(m_owner.m_hWnd));
    EXPECT_FALSE(::IsWindow(helper));
    EXPECT_EQ(m_tray.m_hWnd, nullptr);

    EXPECT_FALSE(m_tray.ShowBalloon(kDownloadComplete, kCaption));
    EXPECT_TRUE(m_tray.Delete(true)) << "nothing left to remove";
}

TEST_F(TrayIconTest, StateChangesOnARemovedIconFailAndKeepTheFlag)
{
    ASSERT_TRUE(CreateIcon());
    ASSERT_TRUE(m_tray.HideIcon());
    ASSERT_TRUE(m_tray.Delete(false));
    EXPECT_TRUE(::IsWindow(m_tray.m_hWnd)) << "the helper window stays when not asked to close";
    EXPECT_FALSE(m_tray.ShowIcon());
    EXPECT_TRUE(m_tray.IsHidden());

    HWND helper = m_tray.m_hWnd;
    EXPECT_TRUE(m_tray.Delete(true)) << "nothing to remove";
    EXPECT_FALSE(::IsWindow(helper)) << "but the helper window is still closed";
}

TEST(TrayIconBeforeCreate, BalloonAndDeleteSendNothing)
{
    CTrayNotifyIcon tray;
    EXPECT_FALSE(tray.ShowBalloon(kDownloading, L"t"));
    EXPECT_TRUE(tray.Delete(true));
    EXPECT_FALSE(tray.HideIcon()) << "the shell refuses a state change for an unknown icon";
    EXPECT_FALSE(tray.IsHidden());
}

struct ShellRestartCase
{
    const char* name;
    bool hidden;
    bool broadcast; // to every top-level window, else to the helper window alone
};

void PrintTo(const ShellRestartCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayShellRestartTest : public TrayIconTest,
                             public ::testing::WithParamInterface<ShellRestartCase>
{
};

TEST_P(TrayShellRestartTest, IconComesBackInTheSameState)
{
    const ShellRestartCase& c = GetParam();
    ASSERT_TRUE(CreateIcon());
    if (c.hidden)
    {
        ASSERT_TRUE(m_tray.HideIcon());
    }
    // What a restarted shell has: no icon of ours.
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = m_owner.m_hWnd;
    data.uID = kTrayIconId;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &data));
    ASSERT_FALSE(ShellHasIcon(m_owner.m_hWnd));

    if (c.broadcast)
    {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(HWND_BROADCAST, g_uTaskbarCreatedMsg, 0, 0, SMTO_ABORTIFHUNG, 5000,
                              &result);
    }
    else
    {
        EXPECT_EQ(::SendMessageW(m_tray.m_hWnd, g_uTaskbarCreatedMsg, 0, 0), 0);
    }

    EXPECT_TRUE(ShellHasIcon(m_owner.m_hWnd));
    EXPECT_EQ(m_tray.IsHidden(), c.hidden);
    EXPECT_TRUE(m_tray.ShowBalloon(kDownloadComplete, kCaption));
    EXPECT_TRUE(m_tray.Delete(true));
    EXPECT_FALSE(ShellHasIcon(m_owner.m_hWnd));
}

INSTANTIATE_TEST_SUITE_P(Table, TrayShellRestartTest,
                         ::testing::Values(ShellRestartCase{"Visible", false, false},
                                           ShellRestartCase{"Hidden", true, false},
                                           ShellRestartCase{"VisibleBroadcast", false, true},
                                           ShellRestartCase{"HiddenBroadcast", true, true}),
                         [](const ::testing::TestParamInfo<ShellRestartCase>& info)
                         { return info.param.name; });

// What the installer meets when it starts before the taskbar (a logon script, right after
// sign-in). Wine's desktop cannot exist without the shell's tray, so a window of the taskbar's
// class stands in front of it and refuses every icon, as no taskbar would take one.
class RefusingTaskbar
{
public:
    RefusingTaskbar()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW; // WM_COPYDATA answered with 0: refused
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Shell_TrayWnd";
        ::RegisterClassW(&wc);
        m_hWnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0,
                                   nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~RefusingTaskbar()
    {
        ::DestroyWindow(m_hWnd);
        ::UnregisterClassW(L"Shell_TrayWnd", ::GetModuleHandleW(nullptr));
    }
    RefusingTaskbar(const RefusingTaskbar&) = delete;
    RefusingTaskbar& operator=(const RefusingTaskbar&) = delete;

    bool IsInFront() const
    {
        return m_hWnd != nullptr && ::FindWindowW(L"Shell_TrayWnd", nullptr) == m_hWnd;
    }

private:
    HWND m_hWnd = nullptr;
};

TEST_F(TrayIconTest, RefusedAtFirstTheIconIsAddedOnceTheTaskbarIsUp)
{
    {
        RefusingTaskbar taskbar;
        ASSERT_TRUE(taskbar.IsInFront());
        EXPECT_FALSE(CreateIcon());
        EXPECT_TRUE(::IsWindow(m_tray.m_hWnd)) << "the helper window waits for the taskbar";
        EXPECT_FALSE(m_tray.IsAdded());
        EXPECT_FALSE(m_tray.ShowBalloon(kDownloading, kCaption));
        EXPECT_FALSE(m_tray.AddIfMissing()) << "no taskbar yet";
        EXPECT_FALSE(m_tray.IsAdded());
    }
    EXPECT_FALSE(ShellHasIcon(m_owner.m_hWnd));
    EXPECT_TRUE(m_tray.AddIfMissing());
    EXPECT_TRUE(m_tray.IsAdded());
    EXPECT_TRUE(ShellHasIcon(m_owner.m_hWnd));
    EXPECT_TRUE(m_tray.ShowBalloon(kDownloading, kCaption));
    EXPECT_FALSE(m_tray.AddIfMissing()) << "added once only";
    EXPECT_TRUE(m_tray.Delete(true));
    EXPECT_FALSE(ShellHasIcon(m_owner.m_hWnd));
}

TEST_F(TrayIconTest, TheTaskbarsAnnouncementAddsARefusedIconAndTellsTheOwner)
{
    {
        RefusingTaskbar taskbar;
        ASSERT_TRUE(taskbar.IsInFront());
        EXPECT_FALSE(CreateIcon());
        // Announced while the taskbar still refuses: nothing to tell.
        ::SendMessageW(m_tray.m_hWnd, g_uTaskbarCreatedMsg, 0, 0);
        EXPECT_FALSE(m_tray.IsAdded());
    }
    m_owner.Pump();
    EXPECT_TRUE(m_owner.m_addedNotices.empty());

    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, g_uTaskbarCreatedMsg, 0, 0, SMTO_ABORTIFHUNG, 5000,
                          &result);
    EXPECT_TRUE(m_tray.IsAdded());
    EXPECT_TRUE(ShellHasIcon(m_owner.m_hWnd));
    m_owner.Pump();
    EXPECT_EQ(m_owner.m_addedNotices, (std::vector<WPARAM>{kTrayIconId}))
        << "the owner hears once that the icon is there";
    EXPECT_TRUE(m_tray.Delete(true));
}

TEST_F(TrayIconTest, HelperWindowLeavesOtherMessagesToDefaultProcessing)
{
    ASSERT_TRUE(CreateIcon());
    HWND helper = m_tray.m_hWnd;
    ::SendMessageW(helper, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(helper)) << "WM_CLOSE reaches DefWindowProcW, which destroys";
    EXPECT_TRUE(ShellHasIcon(m_owner.m_hWnd)) << "closing the helper leaves the icon";
}

// What a watcher thread saw of the pop-up menu while the tray's modal menu loop ran.
struct SeenMenu
{
    bool opened = false;
    std::vector<std::wstring> items;
    UINT defaultItem = static_cast<UINT>(-1);
};

// Waits up to 5 s for this process's visible pop-up menu window ("#32768"), reads its items,
// then sends it `keys` (posted key presses, as the menu loop reads them from the queue).
void WatchMenu(SeenMenu& seen, std::vector<UINT> keys)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    HWND menuWindow = nullptr;
    while (!menuWindow && std::chrono::steady_clock::now() < deadline)
    {
        for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w;
             w = ::FindWindowExW(nullptr, w, L"#32768", nullptr))
        {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w))
                menuWindow = w;
        }
        if (!menuWindow)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!menuWindow)
        return;
    seen.opened = true;
    auto menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i)
    {
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        seen.items.push_back(text);
    }
    seen.defaultItem = ::GetMenuDefaultItem(menu, TRUE, 0);
    for (UINT key : keys)
    {
        ::PostMessageW(menuWindow, WM_KEYDOWN, key, 0);
        ::PostMessageW(menuWindow, WM_KEYUP, key, 0xC0000001);
    }
}

struct MenuCase
{
    const char* name;
    std::vector<UINT> keys;
    std::vector<WORD> commands;
};

void PrintTo(const MenuCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayMenuTest : public TrayIconTest, public ::testing::WithParamInterface<MenuCase>
{
};

TEST_P(TrayMenuTest, RightClickOpensTheMenuForTheOwner)
{
    ASSERT_TRUE(CreateIcon());
    SeenMenu seen;
    std::thread watcher(WatchMenu, std::ref(seen), GetParam().keys);
    BOOL handled = m_tray.OnTrayNotification(kTrayIconId, WM_RBUTTONUP);
    watcher.join();
    EXPECT_TRUE(handled);
    ASSERT_TRUE(seen.opened);
    EXPECT_EQ(seen.items, (std::vector<std::wstring>{kTrayMenuShow, kTrayMenuExit}));
    EXPECT_EQ(seen.defaultItem, 0u) << "the show item is the bold default";

    m_owner.Pump();
    EXPECT_EQ(m_owner.m_commands, GetParam().commands);
    EXPECT_EQ(m_owner.m_nNulls, 1) << "WM_NULL posted to the owner after the menu";
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayMenuTest,
    ::testing::Values(MenuCase{"Show", {VK_DOWN, VK_RETURN}, {ID_TRAY_SHOW}},
                      MenuCase{"Exit", {VK_DOWN, VK_DOWN, VK_RETURN}, {ID_TRAY_EXIT}},
                      MenuCase{"Escape", {VK_ESCAPE}, {}}),
    [](const ::testing::TestParamInfo<MenuCase>& info) { return info.param.name; });

struct ClickCase
{
    const char* name;
    WPARAM id;
    LPARAM mouse;
    BOOL handled;
};

void PrintTo(const ClickCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayClickTest : public TrayIconTest, public ::testing::WithParamInterface<ClickCase>
{
};

TEST_P(TrayClickTest, OtherMessagesOpenNoMenu)
{
    ASSERT_TRUE(CreateIcon());
    std::atomic<bool> done{false};
    std::atomic<bool> menuSeen{false};
    // Closes any menu that would open, so that a wrong menu fails the test instead of hanging it.
    std::thread watcher(
        [&]
        {
            while (!done)
            {
                HWND w = ::FindWindowExW(nullptr, nullptr, L"#32768", nullptr);
                if (w && ::IsWindowVisible(w))
                {
                    menuSeen = true;
                    ::PostMessageW(w, WM_KEYDOWN, VK_ESCAPE, 0);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    BOOL handled = m_tray.OnTrayNotification(GetParam().id, GetParam().mouse);
    done = true;
    watcher.join();
    EXPECT_EQ(handled, GetParam().handled);
    EXPECT_FALSE(menuSeen);
    m_owner.Pump();
    EXPECT_EQ(m_owner.m_nNulls, 0);
    EXPECT_TRUE(m_owner.m_commands.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayClickTest,
    ::testing::Values(ClickCase{"LeftButtonUp", kTrayIconId, WM_LBUTTONUP, TRUE},
                      ClickCase{"MouseMove", kTrayIconId, WM_MOUSEMOVE, TRUE},
                      ClickCase{"LeftDoubleClick", kTrayIconId, WM_LBUTTONDBLCLK, TRUE},
                      ClickCase{"OtherIdRightButtonUp", kTrayIconId + 1, WM_RBUTTONUP, FALSE}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return info.param.name; });

TEST(TrayIconDestructor, RemovesIconAndClosesHelperWindow)
{
    OwnerWindow owner;
    HWND helper = nullptr;
    {
        CTrayNotifyIcon tray;
        ASSERT_TRUE(tray.Create(owner.m_hWnd, L"tip", ::LoadIconW(nullptr, IDI_APPLICATION)));
        ASSERT_TRUE(tray.HideIcon());
        helper = tray.m_hWnd;
    }
    EXPECT_FALSE(ShellHasIcon(owner.m_hWnd));
    EXPECT_FALSE(::IsWindow(helper));
}

} // namespace
} // namespace QV
