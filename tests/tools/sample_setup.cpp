// A stand-in for the browser's full setup program, served by the test HTTP server and run by the
// installer. It records how it was started, "installs" the browser and ends.
//
// Environment (inherited from whoever starts it):
//   QV_SAMPLE_SETUP_LOG       file that receives key=value lines (UTF-8), appended to:
//                             command_line, arguments, working_directory, show_window_flag
//                             (1 when STARTF_USESHOWWINDOW was given), show_window (wShowWindow),
//                             exe; then installed_dir and exit_code when it ends
//   QV_SAMPLE_SETUP_DIR       folder to install into (default: %TEMP%\PellixExplorer)
//   QV_SAMPLE_SETUP_REGKEY    HKLM key to write (default: Software\PellixExplorer)
//   QV_SAMPLE_SETUP_SLEEP_MS  pause before installing
//   QV_SAMPLE_SETUP_EXIT      exit code (default 0); a non-zero code installs nothing
// Installing means: the folder with Pellix.exe (a copy of this program) in it, and the value
// "Path" of the key set to the folder.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace
{

std::wstring Env(const wchar_t* name)
{
    wchar_t buffer[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return (n > 0 && n < 1024) ? std::wstring(buffer, n) : std::wstring();
}

void AppendLog(const std::wstring& text)
{
    std::wstring path = Env(L"QV_SAMPLE_SETUP_LOG");
    if (path.empty())
        return;
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

// The command line after the program's own (possibly quoted) name.
std::wstring Arguments(const std::wstring& commandLine)
{
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"')
    {
        i = commandLine.find(L'"', 1);
        i = i == std::wstring::npos ? commandLine.size() : i + 1;
    }
    else
    {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t')
            ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t'))
        ++i;
    return commandLine.substr(i);
}

bool Install(const std::wstring& dir)
{
    CreateDirectoryW(dir.c_str(), nullptr);
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (!CopyFileW(self, (dir + L"\\Pellix.exe").c_str(), FALSE))
        return false;
    std::wstring keyName = Env(L"QV_SAMPLE_SETUP_REGKEY");
    if (keyName.empty())
        keyName = L"Software\\PellixExplorer";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                             static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

} // namespace

int wmain()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    wchar_t cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = GetCommandLineW();

    AppendLog(L"command_line=" + commandLine + L"\n" + L"arguments=" + Arguments(commandLine) +
              L"\n" + L"working_directory=" + cwd + L"\n" + L"show_window_flag=" +
              ((startup.dwFlags & STARTF_USESHOWWINDOW) ? L"1" : L"0") + L"\n" + L"show_window=" +
              std::to_wstring(startup.wShowWindow) + L"\n" + L"exe=" + self + L"\n");

    std::wstring sleep = Env(L"QV_SAMPLE_SETUP_SLEEP_MS");
    if (!sleep.empty())
        Sleep(static_cast<DWORD>(wcstoul(sleep.c_str(), nullptr, 10)));

    int exitCode = static_cast<int>(wcstol(Env(L"QV_SAMPLE_SETUP_EXIT").c_str(), nullptr, 10));
    std::wstring dir;
    if (exitCode == 0)
    {
        dir = Env(L"QV_SAMPLE_SETUP_DIR");
        if (dir.empty())
        {
            wchar_t temp[MAX_PATH + 1] = {};
            GetTempPathW(MAX_PATH, temp);
            dir = std::wstring(temp) + L"PellixExplorer";
        }
        if (!Install(dir))
            exitCode = 2;
    }
    AppendLog(L"installed_dir=" + dir + L"\n" + L"exit_code=" + std::to_wstring(exitCode) + L"\n");
    return exitCode;
}
