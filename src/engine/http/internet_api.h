// The WinINet entry points the installer uses, taken at run time from the system folder's
// wininet.dll: the installer never imports WinINet statically, so a wininet.dll planted beside
// it is never loaded.
#pragma once
#ifdef _WIN32

#include <windows.h>
#include <wininet.h>

namespace QV
{

struct InternetApi
{
    decltype(&::InternetOpenW) InternetOpenW = nullptr;
    decltype(&::InternetSetOptionW) InternetSetOptionW = nullptr;
    decltype(&::InternetQueryOptionW) InternetQueryOptionW = nullptr;
    decltype(&::InternetCrackUrlW) InternetCrackUrlW = nullptr;
    decltype(&::InternetConnectW) InternetConnectW = nullptr;
    decltype(&::HttpOpenRequestW) HttpOpenRequestW = nullptr;
    decltype(&::HttpSendRequestW) HttpSendRequestW = nullptr;
    decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
    decltype(&::InternetReadFile) InternetReadFile = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
    decltype(&::InternetErrorDlg) InternetErrorDlg = nullptr;

    // True when the library was loaded and every entry point above was found.
    bool ready = false;
};

// The process-wide table, loaded on first use (thread-safe); neither it nor the library is ever
// freed, so threads still inside WinINet while the process exits keep working.
// When wininet.dll cannot be loaded every pointer is null and `ready` is false.
const InternetApi& GetInternetApi() noexcept;

} // namespace QV

#endif // _WIN32
