// ui_driver: acts as a user on the running installer, one command per run.
//
//   ui_driver <command> [arguments] [--pid N] [--timeout MS]
//
//   find                      the dialog: hwnd, visible, pid
//   wait-window               waits until the dialog exists
//   wait-gone                 waits until the dialog no longer exists
//   texts                     status, percent, speed texts, bar position, visibility
//   tray dblclick|rclick      the tray icon's callback message, as the shell sends it; after
//                             rclick waits until the pop-up menu is open and lists its items
//   tray click                a left click on the icon (button up, then NIN_SELECT)
//   tray balloon-shown|balloon-click|balloon-closed
//                             the balloon notifications NIN_BALLOONSHOW, NIN_BALLOONUSERCLICK and
//                             NIN_BALLOONTIMEOUT (closed by the user or timed out)
//   tray-icon                 whether the shell holds the dialog's icon: icon=1|0
//   balloon                   the text of each balloon the shell shows now: count, text0...
//   refusing-tray             stands in for a taskbar that is not up yet: a window of the
//                             taskbar's class in front of the shell's, refusing every icon, until
//                             --timeout (prints ready=1 once it is there, then how many icon
//                             calls it refused)
//   geometry [DPI]            the dialog's window and client size, each control's rectangle and
//                             the heights of its two fonts at the system DPI (or at DPI, after a
//                             dpi-changed that the system did not send)
//   fit [all-status] [DPI]    measures each static text and the button against its control in
//                             the font the dialog uses at the system DPI, or at DPI
//                             (GetTextExtentPoint32 and the control's own word wrapping);
//                             all-status adds every status text of the table in the status
//                             control. fits=1 when all fit
//   dpi-changed DPI           WM_DPICHANGED as the system sends it when the dialog moves to a
//                             monitor of that DPI (the suggested rectangle scaled in place)
//   menu-items                the items of the open pop-up menu
//   menu show|exit            picks an item of the open pop-up menu with the keyboard
//   key esc|enter             a key press, queued to the focused control of the dialog
//   click minimize            clicks the button "最小化到任务栏"
//   confirm yes|no            waits for the cancel question and answers it
//   question                  waits for the cancel question and leaves it open
//   close-box                 the title bar's close box (SC_CLOSE)
//   taskbar-created           broadcasts the shell's "TaskbarCreated" message
//   sign-in USER PASSWORD|cancel|wait
//                             waits for the system's credential prompt owned by the dialog, prints
//                             its texts and whether the dialog is visible, then fills in the user
//                             name and password and confirms, or cancels it, or leaves it open
//
// Results are printed as key=value lines (UTF-8). Exit code 0 success, 1 failure, 2 time-out.
//
// Keys are queued as the system queues keyboard input, to the dialog's focused control, so they
// travel through the installer's own message loop as a real key press would. In the pop-up menu,
// keys are real too: the menu's own loop reads the posted key presses.
#include "common/user_texts.h"
#include "ui/tray_notify_record.h"
#include "resource.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace
{

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr UINT kSendTimeoutMs = 5000;

enum ExitCode
{
    kOk = 0,
    kFailed = 1,
    kTimedOut = 2
};

struct Options
{
    std::vector<std::wstring> args; // the command and its arguments
    DWORD pid = 0;                  // 0: any process
    DWORD timeoutMs = 10000;
};

void Print(const char* key, const std::wstring& value)
{
    int size = ::WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), utf8.data(),
                          size, nullptr, nullptr);
    std::printf("%s=%s\n", key, utf8.c_str());
    std::fflush(stdout);
}

void Print(const char* key, unsigned long long value)
{
    std::printf("%s=%llu\n", key, value);
    std::fflush(stdout);
}

void PrintHandle(const char* key, HWND hWnd)
{
    std::printf("%s=0x%llx\n", key,
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hWnd)));
    std::fflush(stdout);
}

int Fail(const wchar_t* why)
{
    Print("error", why);
    return kFailed;
}

DWORD ProcessOf(HWND hWnd)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    return pid;
}

// The window's text through WM_GETTEXT, which the system carries across processes. A window
// that does not answer within the time limit reads as empty.
std::wstring TextOf(HWND hWnd)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

// The installer's dialog: "#32770" with the caption and a status control (the cancel question
// has the same class and caption, but no control 1004).
HWND FindDialog(DWORD pid)
{
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", QV::kCaption); w;
         w = ::FindWindowExW(nullptr, w, L"#32770", QV::kCaption))
    {
        if ((pid == 0 || ProcessOf(w) == pid) && ::GetDlgItem(w, IDC_STATUS))
            return w;
    }
    return nullptr;
}

// The visible pop-up menu window of process `pid`.
HWND FindOpenMenu(DWORD pid)
{
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w;
         w = ::FindWindowExW(nullptr, w, L"#32768", nullptr))
    {
        if (ProcessOf(w) == pid && ::IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

// A message box owned by `dialog`.
HWND FindOwnedBox(HWND dialog)
{
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w;
         w = ::FindWindowExW(nullptr, w, L"#32770", nullptr))
    {
        if (::GetWindow(w, GW_OWNER) == dialog && ::GetDlgItem(w, kMessageBoxTextId))
            return w;
    }
    return nullptr;
}

// The visible credential prompt owned by `dialog`: a dialog with a password field.
HWND FindOwnedPrompt(HWND dialog)
{
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w;
         w = ::FindWindowExW(nullptr, w, L"#32770", nullptr))
    {
        if (::GetWindow(w, GW_OWNER) != dialog || !::IsWindowVisible(w))
            continue;
        for (HWND c = ::GetWindow(w, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        {
            wchar_t cls[16] = {};
            ::GetClassNameW(c, cls, 16);
            if (::lstrcmpiW(cls, L"Edit") == 0 && (::GetWindowLongW(c, GWL_STYLE) & ES_PASSWORD))
                return w;
        }
    }
    return nullptr;
}

// Polls `found` every 50 ms until it answers true or the time is up.
template <class Test> bool WaitFor(DWORD timeoutMs, Test found)
{
    DWORD start = ::GetTickCount();
    for (;;)
    {
        if (found())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(50);
    }
}

int NeedDialog(const Options& o, HWND& dialog)
{
    dialog = FindDialog(o.pid);
    return dialog ? kOk : Fail(L"dialog not found");
}

void PrintDialog(HWND dialog)
{
    PrintHandle("hwnd", dialog);
    Print("visible", ::IsWindowVisible(dialog) ? 1 : 0);
    Print("pid", ProcessOf(dialog));
}

// Reads the item texts of `menu` into `items`; false when the menu cannot be read.
bool ReadMenu(HMENU menu, std::vector<std::wstring>& items)
{
    int count = menu ? ::GetMenuItemCount(menu) : -1;
    for (int i = 0; i < count; ++i)
    {
        wchar_t text[128] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        items.push_back(text);
    }
    return count >= 0;
}

// The items of the open menu, read from the menu itself. Where the system does not let another
// process's menu be read (Wine), they come from the first pop-up of the tray menu resource of the
// executable that shows the menu: "items_from" says which.
bool ListMenuItems(HWND menuWindow, std::vector<std::wstring>& items)
{
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(menuWindow, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer);
    const wchar_t* from = L"menu";
    if (!ReadMenu(reinterpret_cast<HMENU>(answer), items))
    {
        from = L"resource";
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        HANDLE process =
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(menuWindow));
        if (process)
        {
            if (!::QueryFullProcessImageNameW(process, 0, path, &size))
                path[0] = L'\0';
            ::CloseHandle(process);
        }
        HMODULE image =
            path[0] ? ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
        HMENU menu = image ? ::LoadMenuW(image, MAKEINTRESOURCEW(IDR_TRAY_MENU)) : nullptr;
        bool read = menu && ReadMenu(::GetSubMenu(menu, 0), items);
        if (menu)
            ::DestroyMenu(menu);
        if (image)
            ::FreeLibrary(image);
        if (!read)
            return false;
    }
    Print("items_from", from);
    Print("count", items.size());
    for (size_t i = 0; i < items.size(); ++i)
        Print(("item" + std::to_string(i)).c_str(), items[i]);
    return true;
}

void PostKey(HWND hWnd, UINT key)
{
    ::PostMessageW(hWnd, WM_KEYDOWN, key, 1);
    ::PostMessageW(hWnd, WM_KEYUP, key, 0xC0000001);
}

int CommandTexts(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    Print("status", TextOf(::GetDlgItem(dialog, IDC_STATUS)));
    Print("percent", TextOf(::GetDlgItem(dialog, IDC_PERCENT)));
    Print("speed", TextOf(::GetDlgItem(dialog, IDC_SPEED)));
    DWORD_PTR pos = 0;
    ::SendMessageTimeoutW(::GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0,
                          SMTO_ABORTIFHUNG, kSendTimeoutMs, &pos);
    Print("progress", pos);
    Print("visible", ::IsWindowVisible(dialog) ? 1 : 0);
    return kOk;
}

int CommandTray(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    const std::wstring how = o.args.size() > 1 ? o.args[1] : L"";
    auto post = [&](std::vector<LPARAM> messages)
    {
        for (LPARAM message : messages)
        {
            if (!::PostMessageW(dialog, QV::kTrayCallbackMessage, QV::kTrayIconId, message))
                return Fail(L"post failed");
        }
        return static_cast<int>(kOk);
    };
    if (how == L"dblclick")
        return post({WM_LBUTTONDBLCLK});
    if (how == L"click")
        return post({WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT});
    if (how == L"balloon-shown")
        return post({NIN_BALLOONSHOW});
    if (how == L"balloon-click")
        return post({NIN_BALLOONUSERCLICK});
    if (how == L"balloon-closed")
        return post({NIN_BALLOONTIMEOUT});
    if (how != L"rclick")
        return Fail(L"tray needs dblclick, click, rclick, balloon-shown, balloon-click or "
                    L"balloon-closed");
    if (!::PostMessageW(dialog, QV::kTrayCallbackMessage, QV::kTrayIconId, WM_RBUTTONUP))
        return Fail(L"post failed");
    DWORD pid = ProcessOf(dialog);
    HWND menuWindow = nullptr;
    if (!WaitFor(o.timeoutMs, [&] { return (menuWindow = FindOpenMenu(pid)) != nullptr; }))
    {
        Print("menu", 0);
        return kTimedOut;
    }
    Print("menu", 1);
    std::vector<std::wstring> items;
    ListMenuItems(menuWindow, items);
    return kOk;
}

HWND NeedOpenMenu(const Options& o)
{
    HWND dialog = FindDialog(o.pid);
    DWORD pid = o.pid ? o.pid : (dialog ? ProcessOf(dialog) : 0);
    return pid ? FindOpenMenu(pid) : nullptr;
}

int CommandMenuItems(const Options& o)
{
    HWND menuWindow = NeedOpenMenu(o);
    if (!menuWindow)
        return Fail(L"no open menu");
    std::vector<std::wstring> items;
    return ListMenuItems(menuWindow, items) ? kOk : Fail(L"menu items not readable");
}

// Picks an item with the keys a user would press: Down to reach it, then Enter. The item is
// found by its text when the menu can be read, else by its place in the tray menu.
int CommandMenu(const Options& o)
{
    const std::wstring which = o.args.size() > 1 ? o.args[1] : L"";
    const wchar_t* text = nullptr;
    size_t position = 0;
    if (which == L"show")
        text = QV::kTrayMenuShow;
    else if (which == L"exit")
        text = QV::kTrayMenuExit, position = 1;
    else
        return Fail(L"menu needs show or exit");
    HWND menuWindow = NeedOpenMenu(o);
    if (!menuWindow)
        return Fail(L"no open menu");
    std::vector<std::wstring> items;
    if (ListMenuItems(menuWindow, items))
    {
        size_t i = 0;
        while (i < items.size() && items[i] != text)
            ++i;
        if (i == items.size())
            return Fail(L"item not in the menu");
        position = i;
    }
    for (size_t i = 0; i <= position; ++i)
        PostKey(menuWindow, VK_DOWN);
    PostKey(menuWindow, VK_RETURN);
    if (!WaitFor(o.timeoutMs, [&] { return !::IsWindowVisible(menuWindow); }))
        return kTimedOut;
    Print("chosen", which);
    return kOk;
}

int CommandKey(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    const std::wstring key = o.args.size() > 1 ? o.args[1] : L"";
    WPARAM vk = key == L"esc" ? VK_ESCAPE : key == L"enter" ? VK_RETURN : 0;
    if (!vk)
        return Fail(L"key needs esc or enter");
    // Keyboard input goes to the window with the focus on the dialog's thread, as the system
    // would queue it; the dialog's first tab stop when nothing of the dialog has the focus.
    // Posted: the cancel question is modal, a sent message would wait for its answer.
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    HWND target = nullptr;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) &&
        info.hwndFocus != nullptr &&
        (info.hwndFocus == dialog || ::IsChild(dialog, info.hwndFocus)))
        target = info.hwndFocus;
    if (target == nullptr)
        target = ::GetDlgItem(dialog, IDC_MINIMIZE);
    UINT scan = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, vk, 1 | (static_cast<LPARAM>(scan) << 16));
    ::PostMessageW(target, WM_KEYUP, vk, 1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
    PrintHandle("target", target);
    return kOk;
}

int CommandClick(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    if (o.args.size() < 2 || o.args[1] != L"minimize")
        return Fail(L"click needs minimize");
    HWND button = ::GetDlgItem(dialog, IDC_MINIMIZE);
    if (!button)
        return Fail(L"no button 1002");
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored))
        return Fail(L"button did not answer");
    Print("visible", ::IsWindowVisible(dialog) ? 1 : 0);
    return kOk;
}

// Waits for the dialog's cancel question and prints it; kOk with `box` set when it is open.
int WaitForQuestion(const Options& o, HWND dialog, HWND& box)
{
    if (!WaitFor(o.timeoutMs, [&] { return (box = FindOwnedBox(dialog)) != nullptr; }))
    {
        Print("box", 0);
        return kTimedOut;
    }
    std::wstring text = TextOf(::GetDlgItem(box, kMessageBoxTextId));
    Print("box", 1);
    Print("text", text);
    Print("caption", TextOf(box));
    if (text != QV::kConfirmCancel)
        return Fail(L"not the cancel question");
    return kOk;
}

int CommandQuestion(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    HWND box = nullptr;
    return WaitForQuestion(o, dialog, box);
}

int CommandConfirm(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    const std::wstring answer = o.args.size() > 1 ? o.args[1] : L"";
    int button = answer == L"yes" ? IDYES : answer == L"no" ? IDNO : 0;
    if (!button)
        return Fail(L"confirm needs yes or no");
    HWND box = nullptr;
    const int found = WaitForQuestion(o, dialog, box);
    if (found != kOk)
        return found;
    HWND target = ::GetDlgItem(box, button);
    if (!target)
        return Fail(L"the box has no such button");
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(target, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
    if (!WaitFor(o.timeoutMs, [&] { return !::IsWindow(box); }))
        return kTimedOut;
    Print("answered", answer);
    return kOk;
}

int CommandSignIn(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    const bool cancel = o.args.size() == 2 && o.args[1] == L"cancel";
    const bool wait = o.args.size() == 2 && o.args[1] == L"wait";
    if (!cancel && !wait && o.args.size() != 3)
        return Fail(L"sign-in needs USER PASSWORD, cancel or wait");
    HWND prompt = nullptr;
    if (!WaitFor(o.timeoutMs, [&] { return (prompt = FindOwnedPrompt(dialog)) != nullptr; }))
    {
        Print("prompt", 0);
        return kTimedOut;
    }
    Print("prompt", 1);
    Print("dialog_visible", ::IsWindowVisible(dialog) ? 1 : 0);
    Print("caption", TextOf(prompt));
    HWND user = nullptr;
    HWND password = nullptr;
    int statics = 0;
    for (HWND c = ::GetWindow(prompt, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
    {
        wchar_t cls[16] = {};
        ::GetClassNameW(c, cls, 16);
        if (::lstrcmpiW(cls, L"Static") == 0)
            Print(("static" + std::to_string(statics++)).c_str(), TextOf(c));
        else if (::lstrcmpiW(cls, L"Edit") == 0)
            ((::GetWindowLongW(c, GWL_STYLE) & ES_PASSWORD) ? password : user) = c;
    }
    if (wait)
        return kOk;
    DWORD_PTR ignored = 0;
    if (!cancel)
    {
        if (user == nullptr || password == nullptr)
            return Fail(L"the prompt has no user name and password fields");
        ::SendMessageTimeoutW(user, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.args[1].c_str()),
                              SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
        ::SendMessageTimeoutW(password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.args[2].c_str()),
                              SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
    }
    HWND button = ::GetDlgItem(prompt, cancel ? IDCANCEL : IDOK);
    if (button == nullptr)
        return Fail(L"the prompt has no such button");
    // Posted: the prompt's answer runs the installer's resend, which must not wait on this call.
    ::PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(cancel ? IDCANCEL : IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    if (!WaitFor(o.timeoutMs, [&] { return !::IsWindow(prompt); }))
        return kTimedOut;
    Print("answered", cancel ? L"cancel" : L"ok");
    return kOk;
}

int CommandTrayIcon(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    // A modification without flags changes nothing and succeeds only for an icon the shell has.
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = dialog;
    data.uID = QV::kTrayIconId;
    Print("icon", ::Shell_NotifyIconW(NIM_MODIFY, &data) ? 1 : 0);
    return kOk;
}

int CommandBalloon(const Options& o)
{
    HWND dialog = FindDialog(o.pid);
    DWORD own = dialog != nullptr ? ProcessOf(dialog) : 0;
    std::vector<std::wstring> texts;
    for (HWND w = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); w;
         w = ::FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr))
    {
        if (::IsWindowVisible(w) && ProcessOf(w) != own && ProcessOf(w) != ::GetCurrentProcessId())
            texts.push_back(TextOf(w));
    }
    Print("count", texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        Print(("text" + std::to_string(i)).c_str(), texts[i]);
    return kOk;
}

// Notification-icon calls that reached the refusing taskbar.
int g_nRefused = 0;

LRESULT CALLBACK RefusingTrayProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA)
    {
        ++g_nRefused;
        return FALSE;
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

int CommandRefusingTray(const Options& o)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RefusingTrayProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    if (!::RegisterClassW(&wc))
        return Fail(L"cannot register the taskbar's class");
    HWND tray = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (tray == nullptr)
        return Fail(L"cannot create the window");
    ::SetWindowPos(tray, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (::FindWindowW(L"Shell_TrayWnd", nullptr) != tray)
        return Fail(L"the shell's taskbar is still found first");
    Print("ready", 1);
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < o.timeoutMs)
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    ::DestroyWindow(tray);
    Print("refused", static_cast<unsigned long long>(g_nRefused));
    Print("gone", 1);
    return kOk;
}

// The DPI calls of newer systems, looked up at run time as the installer does.
template <class T> T User32Call(const char* name)
{
    return reinterpret_cast<T>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

UINT ScreenDpi()
{
    HDC screen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

UINT WindowDpi(HWND hWnd)
{
    auto forWindow = User32Call<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    UINT dpi = forWindow != nullptr ? forWindow(hWnd) : 0;
    return dpi != 0 ? dpi : ScreenDpi();
}

// The font of template 105 in the executable that shows `dialog`, as the dialog manager makes it
// at `dpi` (DS_SETFONT: the point size at the window's DPI); also the template's size in dialog
// units.
bool TemplateFont(HWND dialog, UINT dpi, LOGFONTW& font, SIZE& units)
{
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(dialog));
    if (process == nullptr)
        return false;
    BOOL named = ::QueryFullProcessImageNameW(process, 0, path, &size);
    ::CloseHandle(process);
    HMODULE image = named ? ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    if (image == nullptr)
        return false;
    bool read = false;
    HRSRC info = ::FindResourceW(image, MAKEINTRESOURCEW(IDD_PROGRESS_NOCANCEL), RT_DIALOG);
    const auto* data =
        info ? static_cast<const WORD*>(::LockResource(::LoadResource(image, info))) : nullptr;
    // DLGTEMPLATEEX: version, signature, help id, extended style, style, item count, x, y, cx, cy.
    if (data != nullptr && data[1] == 0xFFFF)
    {
        DWORD style = data[6] | (static_cast<DWORD>(data[7]) << 16);
        units = {static_cast<short>(data[11]), static_cast<short>(data[12])};
        const WORD* p = data + 13;
        auto skipField = [&p]
        {
            if (*p == 0xFFFF)
                p += 2;
            else
            {
                while (*p != 0)
                    ++p;
                ++p;
            }
        };
        skipField();    // menu
        skipField();    // class
        while (*p != 0) // title
            ++p;
        ++p;
        if (style & DS_SETFONT)
        {
            font = {};
            font.lfHeight = -::MulDiv(p[0], static_cast<int>(dpi), 72);
            font.lfWeight = p[1];
            font.lfItalic = static_cast<BYTE>(p[2] & 0xFF);
            font.lfCharSet = static_cast<BYTE>(p[2] >> 8);
            std::wcsncpy(font.lfFaceName, reinterpret_cast<const wchar_t*>(p + 3), LF_FACESIZE - 1);
            read = true;
        }
    }
    ::FreeLibrary(image);
    return read;
}

// The status line's font at `dpi`: the icon title font, bold, as the installer makes it.
bool StatusFont(UINT dpi, LOGFONTW& font)
{
    font = {};
    auto forDpi =
        User32Call<BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT)>("SystemParametersInfoForDpi");
    if (forDpi == nullptr || !forDpi(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0, dpi))
    {
        if (!::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0))
            return false;
        font.lfHeight =
            ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
    }
    font.lfWeight = FW_BOLD;
    return true;
}

// A memory DC with `font` selected, released with the object.
class CMeasure
{
public:
    explicit CMeasure(const LOGFONTW& font)
        : m_hDc(::CreateCompatibleDC(nullptr)), m_hFont(::CreateFontIndirectW(&font))
    {
        m_hOld = ::SelectObject(m_hDc, m_hFont);
    }
    ~CMeasure()
    {
        ::SelectObject(m_hDc, m_hOld);
        ::DeleteObject(m_hFont);
        ::DeleteDC(m_hDc);
    }
    CMeasure(const CMeasure&) = delete;
    CMeasure& operator=(const CMeasure&) = delete;

    // One line of `text`: GetTextExtentPoint32.
    SIZE Extent(const std::wstring& text) const
    {
        SIZE size = {};
        ::GetTextExtentPoint32W(m_hDc, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    }
    // `text` as a static control draws it in `width` pixels (word wrapping, prefixes unless
    // SS_NOPREFIX): the rectangle it needs.
    SIZE Wrapped(const std::wstring& text, int width, bool noPrefix) const
    {
        RECT r = {0, 0, width, 0};
        UINT flags = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | (noPrefix ? DT_NOPREFIX : 0);
        ::DrawTextW(m_hDc, text.c_str(), static_cast<int>(text.size()), &r, flags);
        return {r.right - r.left, r.bottom - r.top};
    }
    // The dialog base units of this font (GdiGetCharDimensions: the average width of the 52
    // letters, rounded, and the height).
    SIZE BaseUnits() const
    {
        TEXTMETRICW metrics = {};
        ::GetTextMetricsW(m_hDc, &metrics);
        SIZE letters = Extent(L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        return {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
    }

private:
    HDC m_hDc;
    HFONT m_hFont;
    HGDIOBJ m_hOld;
};

// The DPI the dialog's fonts are made for: a number among the arguments after the command, else
// the system DPI, which this program reads from the same setting as the installer. (Wine may
// report another DPI for a per-monitor window: that of its desktop when the desktop started.)
UINT FontDpi(const Options& o)
{
    for (size_t i = 1; i < o.args.size(); ++i)
    {
        UINT dpi = static_cast<UINT>(std::wcstoul(o.args[i].c_str(), nullptr, 10));
        if (dpi != 0)
            return dpi;
    }
    return ScreenDpi();
}

std::wstring SizeText(LONG cx, LONG cy)
{
    return std::to_wstring(cx) + L"x" + std::to_wstring(cy);
}

std::string ControlKey(HWND control, const char* what)
{
    return "ctl_" + std::to_string(::GetDlgCtrlID(control)) + "_" + what;
}

int CommandGeometry(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    UINT dpi = FontDpi(o);
    RECT window = {}, client = {};
    ::GetWindowRect(dialog, &window);
    ::GetClientRect(dialog, &client);
    Print("dpi", dpi);
    Print("window_dpi", WindowDpi(dialog));
    Print("window", SizeText(window.right - window.left, window.bottom - window.top));
    Print("window_rect", std::to_wstring(window.left) + L"," + std::to_wstring(window.top) + L"," +
                             std::to_wstring(window.right) + L"," + std::to_wstring(window.bottom));
    Print("client", SizeText(client.right, client.bottom));
    LOGFONTW font = {};
    SIZE units = {};
    if (TemplateFont(dialog, dpi, font, units))
    {
        Print("font_height", static_cast<unsigned long long>(-font.lfHeight));
        SIZE base = CMeasure(font).BaseUnits();
        Print("template_client",
              SizeText(::MulDiv(units.cx, base.cx, 4), ::MulDiv(units.cy, base.cy, 8)));
    }
    LOGFONTW status = {};
    if (StatusFont(dpi, status))
        Print("status_font_height", static_cast<unsigned long long>(-status.lfHeight));
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
    {
        RECT r = {};
        ::GetWindowRect(c, &r);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        Print(ControlKey(c, "rect").c_str(),
              std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
                  std::to_wstring(r.right) + L"," + std::to_wstring(r.bottom));
    }
    return kOk;
}

int CommandFit(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    UINT dpi = FontDpi(o);
    LOGFONTW dialogFont = {}, statusFont = {};
    SIZE units = {};
    if (!TemplateFont(dialog, dpi, dialogFont, units) || !StatusFont(dpi, statusFont))
        return Fail(L"cannot make the dialog's fonts");
    CMeasure dialogMeasure(dialogFont);
    CMeasure statusMeasure(statusFont);
    bool allFit = true;
    int measured = 0;
    auto judge =
        [&](const std::string& key, const CMeasure& measure, const std::wstring& text, HWND control)
    {
        RECT client = {};
        ::GetClientRect(control, &client);
        wchar_t cls[32] = {};
        ::GetClassNameW(control, cls, 32);
        LONG style = static_cast<LONG>(::GetWindowLongPtrW(control, GWL_STYLE));
        SIZE need = {};
        if (::lstrcmpiW(cls, L"Button") == 0)
        {
            // The button draws its text inside its 3-D edges and the focus rectangle.
            SIZE extent = measure.Extent(text);
            int margin = 2 * (::GetSystemMetrics(SM_CXEDGE) + 1);
            need = {extent.cx + margin, extent.cy + margin};
        }
        else
        {
            need = measure.Wrapped(text, client.right, (style & SS_NOPREFIX) != 0);
        }
        SIZE line = measure.Extent(text);
        bool fits = need.cx <= client.right && need.cy <= client.bottom;
        allFit = allFit && fits;
        ++measured;
        Print((key + "_client").c_str(), SizeText(client.right, client.bottom));
        Print((key + "_line").c_str(), SizeText(line.cx, line.cy));
        Print((key + "_need").c_str(), SizeText(need.cx, need.cy));
        Print((key + "_fits").c_str(), fits ? 1 : 0);
    };
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
    {
        std::wstring text = TextOf(c);
        wchar_t cls[32] = {};
        ::GetClassNameW(c, cls, 32);
        bool isText = ::lstrcmpiW(cls, L"Static") == 0 || ::lstrcmpiW(cls, L"Button") == 0;
        if (!isText || text.empty())
            continue;
        int id = ::GetDlgCtrlID(c);
        judge(ControlKey(c, "text"), id == IDC_STATUS ? statusMeasure : dialogMeasure, text, c);
    }
    if (std::find(o.args.begin(), o.args.end(), L"all-status") != o.args.end())
    {
        const wchar_t* const statuses[] = {
            QV::kDownloading,       QV::kConnecting,     QV::kConnected,
            QV::kDownloadComplete,  QV::kInstalling,     QV::kInstalled,
            QV::kInstallFailed,     QV::kGenericError,   QV::kMsgCreateFileFailed,
            QV::kMsgDownloadFailed, QV::kMsgWriteFailed, QV::kMsgWorkerAborted};
        int i = 0;
        for (const wchar_t* status : statuses)
            judge("status" + std::to_string(i++), statusMeasure, status,
                  ::GetDlgItem(dialog, IDC_STATUS));
    }
    Print("dpi", dpi);
    Print("measured", static_cast<unsigned long long>(measured));
    Print("fits", allFit ? 1 : 0);
    return kOk;
}

int CommandDpiChanged(const Options& o)
{
    HWND dialog = nullptr;
    if (NeedDialog(o, dialog) != kOk)
        return kFailed;
    UINT dpi =
        o.args.size() > 1 ? static_cast<UINT>(std::wcstoul(o.args[1].c_str(), nullptr, 10)) : 0;
    if (dpi < 48 || dpi > 480)
        return Fail(L"dpi-changed needs a DPI from 48 to 480");
    UINT old = WindowDpi(dialog);
    RECT window = {};
    ::GetWindowRect(dialog, &window);
    RECT suggested = {window.left, window.top,
                      window.left + ::MulDiv(window.right - window.left, static_cast<int>(dpi),
                                             static_cast<int>(old)),
                      window.top + ::MulDiv(window.bottom - window.top, static_cast<int>(dpi),
                                            static_cast<int>(old))};
    // The rectangle travels by address, as the system passes it: it is written into the
    // dialog's process first.
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, ProcessOf(dialog));
    if (process == nullptr)
        return Fail(L"cannot open the dialog's process");
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(suggested), MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE);
    int code = kOk;
    if (remote == nullptr ||
        !::WriteProcessMemory(process, remote, &suggested, sizeof(suggested), nullptr))
    {
        code = Fail(L"cannot write the rectangle into the dialog's process");
    }
    else
    {
        DWORD_PTR ignored = 0;
        if (!::SendMessageTimeoutW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                   reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                   kSendTimeoutMs, &ignored))
            code = Fail(L"the dialog did not answer");
    }
    if (remote != nullptr)
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    if (code == kOk)
        Print("sent", dpi);
    return code;
}

int Run(const Options& o)
{
    const std::wstring& command = o.args[0];
    if (command == L"find")
    {
        HWND dialog = nullptr;
        if (NeedDialog(o, dialog) != kOk)
            return kFailed;
        PrintDialog(dialog);
        return kOk;
    }
    if (command == L"wait-window")
    {
        HWND dialog = nullptr;
        if (!WaitFor(o.timeoutMs, [&] { return (dialog = FindDialog(o.pid)) != nullptr; }))
            return kTimedOut;
        PrintDialog(dialog);
        return kOk;
    }
    if (command == L"wait-gone")
    {
        if (!WaitFor(o.timeoutMs, [&] { return FindDialog(o.pid) == nullptr; }))
            return kTimedOut;
        Print("gone", 1);
        return kOk;
    }
    if (command == L"texts")
        return CommandTexts(o);
    if (command == L"tray")
        return CommandTray(o);
    if (command == L"menu-items")
        return CommandMenuItems(o);
    if (command == L"menu")
        return CommandMenu(o);
    if (command == L"key")
        return CommandKey(o);
    if (command == L"click")
        return CommandClick(o);
    if (command == L"question")
        return CommandQuestion(o);
    if (command == L"confirm")
        return CommandConfirm(o);
    if (command == L"tray-icon")
        return CommandTrayIcon(o);
    if (command == L"balloon")
        return CommandBalloon(o);
    if (command == L"refusing-tray")
        return CommandRefusingTray(o);
    if (command == L"geometry")
        return CommandGeometry(o);
    if (command == L"fit")
        return CommandFit(o);
    if (command == L"dpi-changed")
        return CommandDpiChanged(o);
    if (command == L"close-box")
    {
        HWND dialog = nullptr;
        if (NeedDialog(o, dialog) != kOk)
            return kFailed;
        ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return kOk;
    }
    if (command == L"sign-in")
        return CommandSignIn(o);
    if (command == L"taskbar-created")
    {
        DWORD_PTR ignored = 0;
        UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
        ::SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                              &ignored);
        Print("message", message);
        return kOk;
    }
    return Fail(L"unknown command");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i)
    {
        std::wstring arg = argv[i];
        if ((arg == L"--pid" || arg == L"--timeout") && i + 1 < argc)
        {
            DWORD value = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
            (arg == L"--pid" ? o.pid : o.timeoutMs) = value;
        }
        else
        {
            o.args.push_back(arg);
        }
    }
    if (o.args.empty())
    {
        std::fputs("usage: ui_driver <command> [arguments] [--pid N] [--timeout MS]\n", stderr);
        return kFailed;
    }
    return Run(o);
}
