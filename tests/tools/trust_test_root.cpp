// Trusts or distrusts a throw-away test root CA in the running Windows (under Wine: the prefix's
// LocalMachine Root store, never the host's), for the end-to-end HTTPS tests.
//
//   trust_test_root.exe add ROOT.der      the root becomes trusted
//   trust_test_root.exe remove ROOT.der   it is no longer trusted (also when it never was)
//
// Exit code 0 when the store holds the certificate as asked, 1 when not, 2 on a wrong command.
#include "common/test_root_store.h"

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const bool add = std::wcscmp(argv[1], L"add") == 0;
    if (!add && std::wcscmp(argv[1], L"remove") != 0)
        return 2;
    return QV::Test::SetRootTrusted(argv[2], add) ? 0 : 1;
}
