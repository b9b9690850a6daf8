#include "engine/setup_downloader.h"

#include "common/win_handle.h"
#include "config/file_version_info.h"
#include "engine/engine_messages.h"
#include "engine/transfer_loop_win32.h"

#include <shellapi.h>

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
} // namespace

SetupDownloader::SetupDownloader() : m_random(static_cast<uint32_t>(std::time(nullptr)))
{
    wchar_t tempPath[262] = {};
    DWORD tempResult = ::GetTempPathW(261, tempPath);
    wchar_t longPath[521] = {};
    DWORD longResult = 0;
    if (tempResult >= 1 && tempResult <= 260)
        longResult = ::GetLongPathNameW(tempPath, longPath, 520);
    m_strTempDir = ChooseTempDir(tempPath, tempResult, longPath, longResult);
}

SetupDownloader::~SetupDownloader()
{
    m_hLocalFile.Reset();
    if (!m_strLocalFile.empty())
        ::DeleteFileW(m_strLocalFile.c_str());
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
    m_hLocalFile.Reset();
    m_resume = TransferResume();
    m_strUrl = url;
    QVLocalFiles files;
    std::wstring path = CreateLocalFile(files, m_strTempDir, url, m_strLocalFile);
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
    QVReadAheadRequest source(settings, &m_abort);
    QVFileSink sink(m_hLocalFile.Get());
    QVSystemClock clock;
    return RunTransferAttempt(source, sink, clock, m_pCallback, m_strUrl, m_resume,
                              m_dwTotalReceived);
}

void SetupDownloader::FinishDownload(bool complete)
{
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
        QVReadAheadRequest source(settings, &m_abort);
        QVFileSink sink(m_hLocalFile.Get());
        QVSystemClock clock;
        complete = RunTransferLoop(source, sink, clock, m_pCallback, url, m_dwTotalReceived);
    }
    catch (...)
    {
        complete = false;
    }
    CloseLocalFile(complete);
    return complete;
}

void SetupDownloader::CloseLocalFile(bool keep)
{
    m_hLocalFile.Reset();
    if (keep)
        m_strSetupPath = m_strLocalFile;
    else
        ::DeleteFileW(m_strLocalFile.c_str());
}

bool SetupDownloader::RunInstaller()
{
    const std::wstring file = m_strSetupPath;
    std::wstring directory = m_strTempDir;
    if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    if (directory.empty())
    {
        size_t slash = file.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            directory = file.substr(0, slash);
    }

    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.hwnd = ::GetDesktopWindow();
    request.lpFile = file.c_str();
    request.lpParameters = L"/S";
    request.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    request.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&request))
        return false;
    if (request.hProcess == nullptr)
        return true;

    // A setup program that fails says so only through its exit code; the installation has then
    // not happened and must not be reported as done.
    CKernelHandle process(request.hProcess);
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    const bool succeeded = ::GetExitCodeProcess(process.Get(), &exitCode) && exitCode == 0;
    process.Reset();
    ::DeleteFileW(file.c_str());
    return succeeded;
}

} // namespace QV
