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

// Deletes `dir` (with or without a trailing backslash) and everything in it, read-only files
// included; what cannot be deleted is left.
inline void RemoveTree(std::wstring dir)
{
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/'))
        dir.pop_back();
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

// How RunProcess starts and waits for a child.
struct ProcessOptions
{
    const wchar_t* directory = nullptr; // working folder; null: this process's
    DWORD timeoutMs = 60000;            // a child still running then is ended
    bool captureOutput = false;         // standard output and error into ProcessResult::output
};

// What became of a child.
struct ProcessResult
{
    bool started = false;  // CreateProcessW succeeded
    bool timedOut = false; // it was still running after the time-out and was terminated
    int exitCode = -1;     // its exit code; -1 when it did not start or timed out
    DWORD elapsedMs = 0;   // from the start to its end (or to the time-out)
    std::string output;    // its standard output and error, when captured
};

// Runs `command` (a whole command line) and waits for it. The one way tests start a child: a
// child that outlives the time-out is terminated, never left running behind a failed test.
inline ProcessResult RunProcess(std::wstring command, const ProcessOptions& options = {})
{
    ProcessResult result;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    CFileHandle output;
    std::wstring outputPath;
    if (options.captureOutput)
    {
        wchar_t temp[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, temp);
        if (::GetTempFileNameW(temp, L"qvo", 0, name) == 0)
            return result;
        outputPath = name;
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        output.Reset(::CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   &inherit, CREATE_ALWAYS, 0, nullptr));
        if (!output)
            return result;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.Get();
        startup.hStdError = output.Get();
    }
    PROCESS_INFORMATION process = {};
    const DWORD start = ::GetTickCount();
    result.started =
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, options.captureOutput, 0,
                         nullptr, options.directory, &startup, &process) != FALSE;
    output.Reset();
    if (result.started)
    {
        CKernelHandle thread(process.hThread);
        CKernelHandle child(process.hProcess);
        if (::WaitForSingleObject(child.Get(), options.timeoutMs) != WAIT_OBJECT_0)
        {
            result.timedOut = true;
            ::TerminateProcess(child.Get(), 259);
            ::WaitForSingleObject(child.Get(), 5000);
        }
        result.elapsedMs = ::GetTickCount() - start;
        DWORD code = 0;
        if (!result.timedOut && ::GetExitCodeProcess(child.Get(), &code))
            result.exitCode = static_cast<int>(code);
    }
    if (!outputPath.empty())
    {
        CFileHandle in(::CreateFileW(outputPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
        char buffer[4096];
        DWORD read = 0;
        while (in && ::ReadFile(in.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
            result.output.append(buffer, read);
        in.Reset();
        ::DeleteFileW(outputPath.c_str());
    }
    return result;
}

} // namespace QV::Test

#endif // _WIN32
