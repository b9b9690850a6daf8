#include "engine/private_folder_win32.h"

#include "engine/private_folder_rules.h"
#include "engine/setup_downloader_rules.h"

#include <ntsecapi.h>

namespace QV
{

namespace
{
uint64_t RandomName()
{
    uint64_t value = 0;
    if (::RtlGenRandom(&value, sizeof(value)))
        return value;
    // Only uniqueness matters for safety (a taken name is never used), so a weaker source is
    // still sound where the system's generator fails.
    LARGE_INTEGER counter = {};
    ::QueryPerformanceCounter(&counter);
    return (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) ^
           static_cast<uint64_t>(counter.QuadPart) ^ ::GetTickCount64();
}

bool IsLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Deletes what is in `dir` (no trailing backslash), then `dir`. A link (junction, symbolic link)
// is removed itself; what it points to is never touched. True when `dir` is gone.
bool RemoveTree(const std::wstring& dir) noexcept
{
    try
    {
        WIN32_FIND_DATAW data;
        CFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
        if (find)
        {
            do
            {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const std::wstring path = dir + L"\\" + name;
                const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                if (directory && !IsLink(data.dwFileAttributes))
                {
                    RemoveTree(path);
                    continue;
                }
                if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (directory)
                    ::RemoveDirectoryW(path.c_str());
                else
                    ::DeleteFileW(path.c_str());
            } while (::FindNextFileW(find.Get(), &data));
        }
    }
    catch (...)
    {
    }
    return ::RemoveDirectoryW(dir.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND ||
           ::GetLastError() == ERROR_PATH_NOT_FOUND;
}

// Opens the lock file at `path` without any sharing; the state tells whether that worked.
FolderLockState OpenLock(const std::wstring& path, CFileHandle& lock)
{
    lock.Reset(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (lock)
        return FolderLockState::Free;
    switch (::GetLastError())
    {
    case ERROR_SHARING_VIOLATION:
        return FolderLockState::Held;
    case ERROR_FILE_NOT_FOUND:
        return FolderLockState::Missing;
    default:
        return FolderLockState::Unknown;
    }
}

// Ends the life of a folder's lock: with the folder gone the lock file is deleted; otherwise it
// stays, released, so that a later sweep knows the folder's run has ended.
void ReleaseLock(CFileHandle& lock, const std::wstring& lockPath, bool folderGone)
{
    lock.Reset();
    if (folderGone)
        ::DeleteFileW(lockPath.c_str());
}

void SweepFolder(const std::wstring& baseDir, const std::wstring& name)
{
    const std::wstring folder = baseDir + name;
    const std::wstring lockPath = baseDir + PrivateFolderLockName(name);
    CFileHandle lock;
    switch (DecideFolderSweep(OpenLock(lockPath, lock)))
    {
    case SweepAction::Keep:
        return;
    case SweepAction::RemoveIfEmpty:
        ::RemoveDirectoryW(folder.c_str());
        return;
    case SweepAction::RemoveAll:
        ReleaseLock(lock, lockPath, RemoveTree(folder));
        return;
    }
}

void SweepOrphanLock(const std::wstring& baseDir, const std::wstring& name,
                     const std::wstring& folderName)
{
    const std::wstring folder = baseDir + folderName;
    if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
        return; // the folder's own sweep deals with it
    const std::wstring lockPath = baseDir + name;
    CFileHandle lock;
    if (ShouldDeleteOrphanLock(OpenLock(lockPath, lock)))
        ReleaseLock(lock, lockPath, true);
}
} // namespace

QVPrivateFolder::QVPrivateFolder(const std::wstring& baseDir)
{
    for (uint32_t attempt = 0; attempt < kPrivateFolderAttempts; ++attempt)
    {
        const std::wstring name = PrivateFolderName(RandomName());
        const std::wstring lockPath = baseDir + PrivateFolderLockName(name);
        m_hLock.Reset(::CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_hLock)
            continue;
        const std::wstring folder = baseDir + name;
        if (::CreateDirectoryW(folder.c_str(), nullptr))
        {
            m_strPath = folder + L"\\";
            m_strLockPath = lockPath;
            return;
        }
        ReleaseLock(m_hLock, lockPath, true);
    }
}

QVPrivateFolder::~QVPrivateFolder()
{
    Remove();
}

void QVPrivateFolder::Remove() noexcept
{
    if (m_strPath.empty())
        return;
    const std::wstring folder = m_strPath.substr(0, m_strPath.size() - 1);
    ReleaseLock(m_hLock, m_strLockPath, RemoveTree(folder));
    m_strPath.clear();
    m_strLockPath.clear();
}

void SweepPrivateFolders(const std::wstring& baseDir) noexcept
{
    try
    {
        WIN32_FIND_DATAW data;
        CFindHandle find(::FindFirstFileW((baseDir + kPrivateFolderPrefix + L"*").c_str(), &data));
        if (!find)
            return;
        do
        {
            const std::wstring name = data.cFileName;
            const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (IsLink(data.dwFileAttributes))
                continue;
            if (directory && IsPrivateFolderName(name))
                SweepFolder(baseDir, name);
            else if (!directory)
            {
                const std::wstring folderName = FolderOfLockName(name);
                if (!folderName.empty())
                    SweepOrphanLock(baseDir, name, folderName);
            }
        } while (::FindNextFileW(find.Get(), &data));
    }
    catch (...)
    {
    }
}

std::wstring SystemTempDir()
{
    wchar_t tempPath[262] = {};
    DWORD tempResult = ::GetTempPathW(261, tempPath);
    wchar_t longPath[521] = {};
    DWORD longResult = 0;
    if (tempResult >= 1 && tempResult <= 260)
        longResult = ::GetLongPathNameW(tempPath, longPath, 520);
    return ChooseTempDir(tempPath, tempResult, longPath, longResult);
}

} // namespace QV
