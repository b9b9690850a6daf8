// Small helpers for the Windows tests: host paths of build outputs, private temporary folders.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include "common/win_handle.h"

#include <string>

namespace QV::Test
{

// The Windows path of a file of the build tree given by its host path: an absolute Unix path
// ("/work/x") becomes the same path on drive Z:, where Wine maps the host root; anything else is
// widened unchanged.
inline std::wstring HostPath(const char* path)
{
    std::wstring out;
    if (path[0] == '/')
        out = L"Z:";
    for (const char* p = path; *p != '\0'; ++p)
        out.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return out;
}

// A new, empty folder under the user's temporary folder, removed with everything in it on
// destruction. Path() is empty when it could not be created.
class CTempDir
{
public:
    CTempDir()
    {
        wchar_t base[MAX_PATH + 1] = {};
        DWORD n = ::GetTempPathW(MAX_PATH, base);
        if (n == 0 || n > MAX_PATH)
            return;
        for (unsigned attempt = 0; attempt < 100; ++attempt)
        {
            std::wstring candidate = base;
            candidate += L"qv-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                         std::to_wstring(::GetTickCount() + attempt);
            if (::CreateDirectoryW(candidate.c_str(), nullptr))
            {
                m_path = candidate;
                return;
            }
        }
    }
    ~CTempDir()
    {
        if (!m_path.empty())
            RemoveTree(m_path);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    // The folder, without a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    // The path of `name` inside the folder.
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    static void RemoveTree(const std::wstring& dir)
    {
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE)
        {
            do
            {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring path = dir + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path);
                else
                {
                    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(path.c_str());
                }
            } while (::FindNextFileW(find, &data));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(dir.c_str());
    }

    std::wstring m_path;
};

// Replaces the version resource (type RT_VERSION, id 1, language `language`) of the file at `path`
// with `size` bytes at `data`. False when the file cannot be updated.
inline bool ReplaceVersionResource(const std::wstring& path, const void* data, DWORD size,
                                   WORD language)
{
    HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
    if (update == nullptr)
        return false;
    if (!::UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), language,
                           const_cast<void*>(data), size))
    {
        ::EndUpdateResourceW(update, TRUE);
        return false;
    }
    return ::EndUpdateResourceW(update, FALSE) != FALSE;
}

// Runs `command` (a whole command line) in `directory` (null: this process's) and waits up to a
// minute for it. Answers its exit code, or -1 when it could not start or did not end in time.
inline int RunProcess(std::wstring command, const wchar_t* directory = nullptr)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, directory,
                          &startup, &process))
        return -1;
    QV::CKernelHandle thread(process.hThread);
    QV::CKernelHandle owner(process.hProcess);
    if (::WaitForSingleObject(owner.Get(), 60000) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 1;
    ::GetExitCodeProcess(owner.Get(), &code);
    return static_cast<int>(code);
}

} // namespace QV::Test

#endif // _WIN32
