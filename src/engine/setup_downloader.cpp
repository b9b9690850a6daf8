#include "engine/setup_downloader.h"

#include "common/win_handle.h"
#include "config/file_version_info.h"
#include "engine/engine_messages.h"
#include "engine/file_removal.h"
#include "engine/transfer_loop_win32.h"

#include <ctime>

namespace QV
{

namespace
{
// Local files created with delete-then-create-new: CREATE_NEW never writes into a file that an
// earlier run or another program left at the path.
class QVLocalFiles final : public ILocalFiles
{
public:
    bool Exists(const std::wstring& path) override
    {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void Delete(const std::wstring& path) override { ::DeleteFileW(path.c_str()); }

    bool CreateNew(const std::wstring& path) override
    {
        m_file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        return m_file.IsValid();
    }

    std::wstring TempFileName(const std::wstring& dir) override
    {
        wchar_t name[262] = {};
        if (::GetTempFileNameW(dir.c_str(), L"ST", 1, name) == 0)
            return std::wstring();
        return name;
    }

    // The file created last, now the caller's.
    CFileHandle TakeFile() noexcept { return std::move(m_file); }

private:
    CFileHandle m_file;
};

class QVSystemDeleter final : public IFileDeleter
{
public:
    DeleteOutcome Delete(const std::wstring& path) override
    {
        if (::DeleteFileW(path.c_str()))
            return DeleteOutcome::Deleted;
        switch (::GetLastError())
        {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return DeleteOutcome::Deleted;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_ACCESS_DENIED: // also what a file whose delete is still pending answers
            return DeleteOutcome::Busy;
        default:
            return DeleteOutcome::Failed;
        }
    }
};

// Takes the complete file at `path` over from `writer` (closed here): answers it open for reading
// with read-only sharing, or an invalid handle when someone else has it open for writing. A
// program cannot be started while any handle may write to it, so the writer has to go first; the
// bridge, which must share writing while the writer is open, keeps the file from being deleted or
// renamed in between.
CFileHandle HoldForLaunch(const std::wstring& path, CFileHandle& writer)
{
    CFileHandle bridge(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    writer.Reset();
    if (!bridge)
        return CFileHandle();
    return CFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}
} // namespace

SetupDownloader::SetupDownloader()
    : m_folder(SystemTempDir()), m_random(static_cast<uint32_t>(std::time(nullptr)))
{
    m_strTempDir = m_folder.Path();
}

SetupDownloader::~SetupDownloader()
{
    if (m_pSignIn)
        m_pSignIn->DetachPrompt();
    m_hLocalFile.Reset();
    m_hSetupFile.Reset();
    DeleteLocalFile();
    m_folder.Remove();
}

void SetupDownloader::SetProxyPrompt(IProxySignInPrompt* prompt)
{
    if (m_pSignIn)
        m_pSignIn->DetachPrompt();
    m_pSignIn = std::make_shared<QVProxySignIn>(prompt);
}

bool SetupDownloader::DeleteLocalFile() noexcept
{
    if (m_strLocalFile.empty())
        return true;
    QVSystemDeleter deleter;
    QVSystemClock clock;
    try
    {
        return DeleteWithRetry(deleter, clock, m_strLocalFile);
    }
    catch (...)
    {
        return false;
    }
}

void SetupDownloader::DiscardSetup() noexcept
{
    m_hLocalFile.Reset();
    m_hSetupFile.Reset();
    m_strSetupPath.clear();
    DeleteLocalFile();
}

bool SetupDownloader::PrepareDownload()
{
    if (m_pCallback != nullptr)
        m_pCallback->OnDownloadBegin();

    wchar_t modulePath[261] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(nullptr), modulePath, 260);
    std::wstring base;
    {
        QVFileVersionInfo versionInfo;
        if (!versionInfo.Load(modulePath))
            return false;
        base = versionInfo.GetPrivateBuild();
    }
    if (base.empty())
        return false;

    const int first = m_random.Next();
    const int second = m_random.Next();
    if (PrepareLocalFile(MakeRequestUrl(base, first, second)))
        return true;
    if (m_pCallback != nullptr)
        m_pCallback->OnTotalReceived(m_dwTotalReceived);
    return false;
}

bool SetupDownloader::PrepareLocalFile(const std::wstring& url)
{
    DiscardSetup();
    m_resume = TransferResume();
    m_strUrl = url;
    QVLocalFiles files;
    // Without the private folder there is no safe place: the shared temporary directory is where
    // other programs could swap the file before it runs.
    std::wstring path;
    if (!m_strTempDir.empty())
        path = CreateLocalFile(files, m_strTempDir, url, m_strLocalFile);
    if (path.empty())
    {
        if (m_pCallback != nullptr)
            m_pCallback->OnError(kMsgCreateFileFailed);
        return false;
    }
    m_strLocalFile = path;
    m_hLocalFile = files.TakeFile();
    return true;
}

TransferOutcome SetupDownloader::DownloadAttempt()
{
    if (!m_hLocalFile)
    {
        TransferOutcome outcome;
        outcome.end = TransferEnd::WriteFailed;
        outcome.message = kMsgWriteFailed;
        return outcome;
    }
    ReadAheadSettings settings;
    settings.stallTimeoutMs = m_dwStallTimeout;
    settings.start = PlanAttempt(m_resume);
    settings.signIn = m_pSignIn;
    QVReadAheadRequest source(settings, &m_abort);
    QVFileSink sink(m_hLocalFile.Get());
    QVSystemClock clock;
    return RunTransferAttempt(source, sink, clock, m_pCallback, m_strUrl, m_resume,
                              m_dwTotalReceived);
}

void SetupDownloader::FinishDownload(bool complete)
{
    // A complete file that cannot be held locked is gone; the check then finds nothing to run.
    CloseLocalFile(complete);
    if (m_pCallback == nullptr)
        return;
    if (complete)
        m_pCallback->OnDownloadComplete(true);
    else
        m_pCallback->OnTotalReceived(m_dwTotalReceived);
}

bool SetupDownloader::DownloadToTempFile(const std::wstring& url)
{
    if (!PrepareLocalFile(url))
        return false;
    bool complete = false;
    try
    {
        ReadAheadSettings settings;
        settings.stallTimeoutMs = m_dwStallTimeout;
        settings.signIn = m_pSignIn;
        QVReadAheadRequest source(settings, &m_abort);
        QVFileSink sink(m_hLocalFile.Get());
        QVSystemClock clock;
        complete = RunTransferLoop(source, sink, clock, m_pCallback, url, m_dwTotalReceived);
    }
    catch (...)
    {
        complete = false;
    }
    if (CloseLocalFile(complete))
        return true;
    if (complete && m_pCallback != nullptr)
        m_pCallback->OnError(kMsgDownloadFailed);
    return false;
}

bool SetupDownloader::CloseLocalFile(bool keep)
{
    if (keep)
    {
        // From the end of the download until the launch nobody may change or delete the file.
        m_hSetupFile = HoldForLaunch(m_strLocalFile, m_hLocalFile);
        if (m_hSetupFile)
        {
            m_strSetupPath = m_strLocalFile;
            return true;
        }
    }
    m_hLocalFile.Reset();
    DeleteLocalFile();
    return false;
}

bool SetupDownloader::RunInstaller()
{
    if (!m_hSetupFile || m_strSetupPath.empty())
        return false;
    const std::wstring file = m_strSetupPath;
    std::wstring commandLine = L"\"" + file + L"\" /S";

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    // The full path as the application name: no search, no guessing at the command line.
    LaunchReport report;
    report.started = ::CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, m_strTempDir.c_str(), &startup, &info) != FALSE;
    // Locked until now: the system has the program open as its image, so what was checked runs.
    m_hSetupFile.Reset();
    CKernelHandle thread(info.hThread);
    CKernelHandle process(info.hProcess);
    thread.Reset();

    // A setup program that fails says so only through its exit code; the installation has then
    // not happened and must not be reported as done.
    report.hasProcess = process.IsValid();
    if (report.hasProcess)
    {
        ::WaitForSingleObject(process.Get(), INFINITE);
        DWORD exitCode = 0;
        report.exitCodeRead = ::GetExitCodeProcess(process.Get(), &exitCode) != FALSE;
        report.exitCode = exitCode;
    }
    process.Reset();
    m_strSetupPath.clear();
    DeleteLocalFile();
    return LaunchSucceeded(report);
}

} // namespace QV
