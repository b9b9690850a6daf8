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
//   menu-items                the items of the open pop-up menu
//   menu show|exit            picks an item of the open pop-up menu with the keyboard
//   key esc|enter             a key press, queued to the focused control of the dialog
//   click minimize            clicks the button "最小化到任务栏"
//   confirm yes|no            waits for the cancel question and answers it
//   question                  waits for the cancel question and leaves it open
//   close-box                 the title bar's close box (SC_CLOSE)
//   taskbar-created           broadcasts the shell's "TaskbarCreated" message
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
    if (how == L"dblclick")
        return ::PostMessageW(dialog, QV::kTrayCallbackMessage, QV::kTrayIconId, WM_LBUTTONDBLCLK)
                   ? kOk
                   : Fail(L"post failed");
    if (how != L"rclick")
        return Fail(L"tray needs dblclick or rclick");
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
    if (command == L"close-box")
    {
        HWND dialog = nullptr;
        if (NeedDialog(o, dialog) != kOk)
            return kFailed;
        ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return kOk;
    }
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
