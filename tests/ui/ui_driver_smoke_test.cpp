// ui_driver against a stand-in for the installer's dialog (template 105 of this test's resources
// with the real tray icon): each command run as its own process, as the end-to-end tests do.
#include "common/win32_test_support.h"
#include "ui/tray_notify_icon.h"

#include "common/user_texts.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace QV
{
namespace
{

constexpr UINT kDestroyRequest = WM_APP + 1;

// What the stand-in dialog received.
struct DialogLog
{
    std::vector<WORD> commands;
    std::vector<WORD> keys;   // key presses queued to the dialog or its controls
    std::vector<int> answers; // of the cancel question
    std::vector<LPARAM> trayMessages;
    std::vector<WPARAM> dpiChanges;
    std::vector<RECT> suggestedRects; // read in this process from WM_DPICHANGED's lParam
};

DialogLog g_log;
CTrayNotifyIcon* g_pTray = nullptr;

INT_PTR CALLBACK StandInProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg)
    {
    case WM_INITDIALOG:
        ::SetWindowTextW(hWnd, kCaption);
        return TRUE;
    case WM_DPICHANGED:
        g_log.dpiChanges.push_back(wParam);
        g_log.suggestedRects.push_back(*reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case kTrayCallbackMessage:
        g_log.trayMessages.push_back(lParam);
        if (lParam == WM_LBUTTONDBLCLK)
            ::ShowWindow(hWnd, SW_SHOW);
        else
            g_pTray->OnTrayNotification(wParam, lParam);
        return TRUE;
    case WM_COMMAND:
        g_log.commands.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == ID_TRAY_SHOW)
            ::ShowWindow(hWnd, SW_SHOW);
        else if (LOWORD(wParam) == IDC_MINIMIZE)
            ::ShowWindow(hWnd, SW_HIDE);
        else if (LOWORD(wParam) == IDCANCEL)
            g_log.answers.push_back(::MessageBoxW(hWnd, kConfirmCancel, kCaption,
                                                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
        return TRUE;
    case kDestroyRequest:
        ::DestroyWindow(hWnd);
        return TRUE;
    }
    return FALSE;
}

struct DriverRun
{
    DWORD exitCode = 0xFFFFFFFF;
    std::map<std::string, std::string> values;
};

std::string Utf8(const std::wstring& text)
{
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

// Runs ui_driver with `args`, its output going to a file that is parsed into key=value pairs.
DriverRun RunDriver(const std::wstring& args)
{
    std::wstring exe = L"Z:" QV_UI_DRIVER;
    for (wchar_t& c : exe)
        c = c == L'/' ? L'\\' : c;
    QV::Test::ProcessOptions options;
    options.timeoutMs = 30000;
    options.captureOutput = true;
    QV::Test::ProcessResult result = QV::Test::RunProcess(L"\"" + exe + L"\" " + args, options);
    DriverRun run;
    run.exitCode = static_cast<DWORD>(result.exitCode);
    const std::string& text = result.output;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            run.values[line.substr(0, eq)] = line.substr(eq + 1);
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return run;
}

TEST(UiDriverSmoke, DrivesTheDialogTrayMenuAndCancelQuestion)
{
    ::InitCommonControls();
    CTrayNotifyIcon tray;
    g_pTray = &tray;
    g_log = {};
    HWND dialog =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS_NOCANCEL),
                             ::GetDesktopWindow(), StandInProc, 0);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(tray.Create(dialog, kCaption, ::LoadIconW(nullptr, IDI_APPLICATION)));
    ::SetDlgItemTextW(dialog, IDC_PERCENT, L"15.0 %");
    ::SetDlgItemTextW(dialog, IDC_SPEED, L"146.48 KB/s (1.50 MB/10.00 MB)");
    ::SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 15, 0);
    const std::wstring pid = L" --pid " + std::to_wstring(::GetCurrentProcessId());

    // The driver's commands run on a second thread; this one keeps serving the dialog, also
    // inside the menu's and the message box's modal loops.
    std::vector<std::pair<std::wstring, DriverRun>> runs;
    bool visibleAfterDblclick = false, visibleAfterMinimize = true;
    std::atomic<bool> done{false};
    std::thread script(
        [&]
        {
            auto run = [&](const std::wstring& args)
            {
                runs.emplace_back(args, RunDriver(args + pid));
                return runs.back().second;
            };
            run(L"find");
            run(L"texts");
            run(L"tray dblclick");
            ::Sleep(300);
            visibleAfterDblclick = ::IsWindowVisible(dialog);
            run(L"click minimize");
            visibleAfterMinimize = ::IsWindowVisible(dialog);
            run(L"tray rclick");
            run(L"menu-items");
            run(L"menu show");
            run(L"key enter");
            run(L"key esc");
            run(L"confirm no");
            run(L"close-box");
            run(L"confirm yes");
            run(L"taskbar-created");
            ::PostMessageW(dialog, kDestroyRequest, 0, 0);
            run(L"wait-gone --timeout 5000");
            run(L"wait-window --timeout 300");
            done = true;
        });
    while (!done)
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            // Key presses arrive as queued input; like the installer's loop, Esc on the dialog
            // becomes its cancel command and every other key goes to its window.
            if (msg.message == WM_KEYDOWN && (msg.hwnd == dialog || ::IsChild(dialog, msg.hwnd)))
            {
                g_log.keys.push_back(static_cast<WORD>(msg.wParam));
                if (msg.wParam == VK_ESCAPE)
                {
                    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                    continue;
                }
            }
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    script.join();
    tray.Delete(true);
    g_pTray = nullptr;

    ASSERT_EQ(runs.size(), 15u);
    auto at = [&](size_t i) -> DriverRun& { return runs[i].second; };
    for (size_t i = 0; i + 1 < runs.size(); ++i)
    {
        std::string output;
        for (const auto& [key, value] : at(i).values)
            output += " " + key + "=" + value;
        EXPECT_EQ(at(i).exitCode, 0u) << Utf8(runs[i].first) << ":" << output;
    }
    EXPECT_EQ(at(14).exitCode, 2u) << "wait-window times out once the dialog is gone";

    EXPECT_EQ(at(0).values["visible"], "0");
    EXPECT_EQ(at(0).values["pid"], std::to_string(::GetCurrentProcessId()));
    EXPECT_EQ(at(1).values["status"], Utf8(kDownloading));
    EXPECT_EQ(at(1).values["percent"], "15.0 %");
    EXPECT_EQ(at(1).values["speed"], "146.48 KB/s (1.50 MB/10.00 MB)");
    EXPECT_EQ(at(1).values["progress"], "15");
    EXPECT_TRUE(visibleAfterDblclick);
    EXPECT_FALSE(visibleAfterMinimize);
    EXPECT_EQ(at(4).values["menu"], "1");
    EXPECT_EQ(at(5).values["count"], "2");
    EXPECT_EQ(at(5).values["item0"], Utf8(kTrayMenuShow));
    EXPECT_EQ(at(5).values["item1"], Utf8(kTrayMenuExit));
    EXPECT_EQ(at(6).values["chosen"], "show");
    EXPECT_EQ(at(9).values["text"], Utf8(kConfirmCancel));
    EXPECT_EQ(at(9).values["caption"], Utf8(kCaption));
    EXPECT_EQ(at(11).values["answered"], "yes");
    EXPECT_EQ(at(13).values["gone"], "1");
    EXPECT_EQ(g_log.keys, (std::vector<WORD>{VK_RETURN, VK_ESCAPE}));
    EXPECT_EQ(g_log.commands, (std::vector<WORD>{IDC_MINIMIZE, ID_TRAY_SHOW, IDCANCEL, IDCANCEL}));
    EXPECT_EQ(g_log.answers, (std::vector<int>{IDNO, IDYES}));
}

// Serves the stand-in dialog while `script` runs its driver commands on a second thread.
void ServeWhile(const std::function<void()>& script)
{
    std::atomic<bool> done{false};
    std::thread worker(
        [&]
        {
            script();
            done = true;
        });
    while (!done)
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    worker.join();
}

std::pair<int, int> Size(const std::string& text)
{
    size_t x = text.find('x');
    if (x == std::string::npos)
        return {-1, -1};
    return {std::stoi(text.substr(0, x)), std::stoi(text.substr(x + 1))};
}

TEST(UiDriverSmoke, MeasuresTheDialogAndSpeaksForTheShell)
{
    ::InitCommonControls();
    CTrayNotifyIcon tray;
    g_pTray = &tray;
    g_log = {};
    HWND dialog =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS_NOCANCEL),
                             ::GetDesktopWindow(), StandInProc, 0);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(tray.Create(dialog, kCaption, ::LoadIconW(nullptr, IDI_APPLICATION)));
    ::SetDlgItemTextW(dialog, IDC_PERCENT, L"15.0 %");
    ::SetDlgItemTextW(dialog, IDC_SPEED, L"146.48 KB/s (1.50 MB/10.00 MB)");
    const std::wstring pid = L" --pid " + std::to_wstring(::GetCurrentProcessId());
    RECT window = {};
    ::GetWindowRect(dialog, &window);

    std::map<std::wstring, DriverRun> runs;
    bool iconDuringRefusal = true;
    ServeWhile(
        [&]
        {
            for (const wchar_t* args :
                 {L"geometry", L"fit all-status", L"geometry 192", L"dpi-changed 144",
                  L"tray click", L"tray balloon-shown", L"tray balloon-click",
                  L"tray balloon-closed", L"tray-icon"})
                runs[args] = RunDriver(args + pid);
            // A taskbar that refuses: the icon cannot be reached while it stands in front.
            std::thread taskbar(
                [&] { runs[L"refusing-tray"] = RunDriver(L"refusing-tray --timeout 3000"); });
            ::Sleep(1500);
            NOTIFYICONDATAW data = {};
            data.cbSize = sizeof(data);
            data.hWnd = dialog;
            data.uID = kTrayIconId;
            iconDuringRefusal = ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
            taskbar.join();
            tray.Delete(false);
            runs[L"tray-icon after delete"] = RunDriver(L"tray-icon" + pid);
        });
    tray.Delete(true);
    g_pTray = nullptr;
    ::DestroyWindow(dialog);

    for (const auto& [args, run] : runs)
        EXPECT_EQ(run.exitCode, 0u) << Utf8(args);

    HDC screen = ::GetDC(nullptr);
    const std::string screenDpi = std::to_string(::GetDeviceCaps(screen, LOGPIXELSY));
    ::ReleaseDC(nullptr, screen);
    DriverRun& geometry = runs[L"geometry"];
    EXPECT_EQ(geometry.values["dpi"], screenDpi);
    EXPECT_EQ(geometry.values["client"], geometry.values["template_client"])
        << "the template's font predicts the dialog's size";
    EXPECT_EQ(geometry.values["ctl_1004_rect"].empty(), false);
    DriverRun& at192 = runs[L"geometry 192"];
    EXPECT_EQ(at192.values["dpi"], "192");
    EXPECT_GT(Size(at192.values["template_client"]).first,
              Size(geometry.values["template_client"]).first);

    DriverRun& fit = runs[L"fit all-status"];
    EXPECT_EQ(fit.values["fits"], "1");
    EXPECT_EQ(fit.values["measured"], "16") << "status, percent, speed, button, 12 statuses";
    EXPECT_EQ(fit.values["ctl_1006_text_fits"], "1");
    auto [lineWidth, lineHeight] = Size(fit.values["ctl_1007_text_line"]);
    EXPECT_GT(lineWidth, 0);
    EXPECT_GT(lineHeight, 0);

    ASSERT_EQ(g_log.dpiChanges.size(), 1u);
    EXPECT_EQ(g_log.dpiChanges[0], static_cast<WPARAM>(MAKEWPARAM(144, 144)));
    ASSERT_EQ(g_log.suggestedRects.size(), 1u);
    EXPECT_EQ(g_log.suggestedRects[0].left, window.left) << "the rectangle arrived intact";
    EXPECT_EQ(g_log.suggestedRects[0].top, window.top);
    EXPECT_GT(g_log.suggestedRects[0].right - g_log.suggestedRects[0].left,
              window.right - window.left);

    EXPECT_EQ(g_log.trayMessages,
              (std::vector<LPARAM>{WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT, NIN_BALLOONSHOW,
                                   NIN_BALLOONUSERCLICK, NIN_BALLOONTIMEOUT}));
    EXPECT_EQ(runs[L"tray-icon"].values["icon"], "1");
    EXPECT_EQ(runs[L"tray-icon after delete"].values["icon"], "0");
    EXPECT_FALSE(iconDuringRefusal) << "the refusing taskbar stood in front of the shell's";
    EXPECT_EQ(runs[L"refusing-tray"].values["ready"], "1");
    EXPECT_EQ(runs[L"refusing-tray"].values["refused"], "1");
}

} // namespace
} // namespace QV
