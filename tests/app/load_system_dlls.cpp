// load_system_dlls [--by-name]
// Reads its own version resource through QVFileVersionInfo (version.dll via CSystemLibrary) and
// loads wininet.dll through CSystemLibrary, as the installer does. With --by-name it loads both by
// bare name with LoadLibraryW instead, which a DLL planted beside the exe can hijack: the test's
// proof that a planted DLL would be noticed. Exit code 0 when both loads succeeded.
#include <windows.h>

#include <cwchar>
#include <string>

#include "common/system_library.h"
#include "config/file_version_info.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && std::wcscmp(argv[1], L"--by-name") == 0)
    {
        HMODULE version = ::LoadLibraryW(L"version.dll");
        HMODULE wininet = ::LoadLibraryW(L"wininet.dll");
        return version != nullptr && wininet != nullptr ? 0 : 1;
    }

    wchar_t self[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    QV::QVFileVersionInfo info;
    const bool versionRead = info.Load(self);
    QV::CSystemLibrary wininet(L"wininet.dll");
    return versionRead && wininet.IsLoaded() ? 0 : 1;
}
