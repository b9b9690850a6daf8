#include "engine/http/internet_api.h"

#include "common/system_library.h"

namespace QV
{

namespace
{
struct LoadedInternetApi
{
    CSystemLibrary library{L"wininet.dll"};
    InternetApi api;

    LoadedInternetApi() noexcept
    {
        InternetApi& a = api;
        a.InternetOpenW = library.Get<decltype(a.InternetOpenW)>("InternetOpenW");
        a.InternetSetOptionW = library.Get<decltype(a.InternetSetOptionW)>("InternetSetOptionW");
        a.InternetQueryOptionW =
            library.Get<decltype(a.InternetQueryOptionW)>("InternetQueryOptionW");
        a.InternetCrackUrlW = library.Get<decltype(a.InternetCrackUrlW)>("InternetCrackUrlW");
        a.InternetConnectW = library.Get<decltype(a.InternetConnectW)>("InternetConnectW");
        a.HttpOpenRequestW = library.Get<decltype(a.HttpOpenRequestW)>("HttpOpenRequestW");
        a.HttpSendRequestW = library.Get<decltype(a.HttpSendRequestW)>("HttpSendRequestW");
        a.HttpQueryInfoW = library.Get<decltype(a.HttpQueryInfoW)>("HttpQueryInfoW");
        a.InternetReadFile = library.Get<decltype(a.InternetReadFile)>("InternetReadFile");
        a.InternetCloseHandle = library.Get<decltype(a.InternetCloseHandle)>("InternetCloseHandle");
        a.InternetErrorDlg = library.Get<decltype(a.InternetErrorDlg)>("InternetErrorDlg");
        a.ready = a.InternetOpenW && a.InternetSetOptionW && a.InternetQueryOptionW &&
                  a.InternetCrackUrlW && a.InternetConnectW && a.HttpOpenRequestW &&
                  a.HttpSendRequestW && a.HttpQueryInfoW && a.InternetReadFile &&
                  a.InternetCloseHandle && a.InternetErrorDlg;
        if (!a.ready)
            a = InternetApi{};
    }
};
} // namespace

const InternetApi& GetInternetApi() noexcept
{
    // Never destroyed: a network thread still blocked in WinINet when the process exits (see
    // QVReadAheadRequest) goes on using the table, and the library must stay loaded under it.
    static const LoadedInternetApi* const loaded = new LoadedInternetApi;
    return loaded->api;
}

} // namespace QV
