// file_probe: what another program may do with a file, one operation per run.
//
//   file_probe write PATH      opens it for writing, sharing everything (writes nothing)
//   file_probe delete PATH     deletes it
//   file_probe rename PATH     renames it to PATH.moved (and back again when that worked)
//   file_probe read PATH       opens it for reading, sharing everything
//   file_probe hold PATH MS    opens it for reading without delete sharing and keeps it open for
//                              MS milliseconds, as a virus scanner does with a new file
//
// Prints "error=N" (the system's error code; 0 when the operation worked). Exit code 0 when the
// operation worked, 1 when the system refused it, 2 for bad arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace
{

int Report(bool worked)
{
    const DWORD error = worked ? 0 : ::GetLastError();
    std::printf("error=%lu\n", static_cast<unsigned long>(error));
    std::fflush(stdout);
    return worked ? 0 : 1;
}

bool OpenAndClose(const wchar_t* path, DWORD access, DWORD share)
{
    HANDLE file = ::CreateFileW(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring operation = argv[1];
    const wchar_t* path = argv[2];
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (operation == L"write")
        return Report(OpenAndClose(path, GENERIC_WRITE, all));
    if (operation == L"read")
        return Report(OpenAndClose(path, GENERIC_READ, all));
    if (operation == L"delete")
        return Report(::DeleteFileW(path) != FALSE);
    if (operation == L"rename")
    {
        const std::wstring moved = std::wstring(path) + L".moved";
        const bool worked = ::MoveFileExW(path, moved.c_str(), 0) != FALSE;
        const int code = Report(worked);
        if (worked)
            ::MoveFileExW(moved.c_str(), path, 0);
        return code;
    }
    if (operation == L"hold" && argc == 4)
    {
        HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        const int code = Report(file != INVALID_HANDLE_VALUE);
        if (file != INVALID_HANDLE_VALUE)
        {
            ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
            ::CloseHandle(file);
        }
        return code;
    }
    return 2;
}
