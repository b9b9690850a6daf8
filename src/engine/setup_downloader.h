// The engine's one object: downloads the browser's full setup program into the temporary
// directory and runs it.
#pragma once
#ifdef _WIN32

#include "engine/http/read_ahead_request.h"
#include "engine/setup_downloader_rules.h"
#include "engine/version_update_callback.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace QV
{

// Constructed and destroyed on the main thread; SetCallback, Download, DownloadToTempFile,
// TransferToFile and RunInstaller run on one worker thread in between. AbortTransfer may be
// called from any thread at any time.
class SetupDownloader
{
public:
    // Fixes the temporary directory (never empty, ends in a backslash) and seeds the query's
    // generator with the calendar time in seconds.
    SetupDownloader();
    // Deletes the local file created most recently, if any (result ignored).
    ~SetupDownloader();
    SetupDownloader(const SetupDownloader&) = delete;
    SetupDownloader& operator=(const SetupDownloader&) = delete;

    // The receiver of every report (not owned; null: no reports and no cancellation).
    void SetCallback(IVersionUpdateCallback* callback) noexcept { m_pCallback = callback; }

    // The whole download: OnDownloadBegin, the address from the executable's version resource
    // (PrivateBuild) with the query "?B.A", the local file, the transfer. True when the file is
    // complete (its path then in GetSetupPath); OnDownloadComplete(true) follows. False without a
    // report when there is no address; after other failures OnTotalReceived with the total as it
    // was before.
    bool Download();

    // Chooses and creates the local file for `url`, transfers into it, and keeps it on success
    // (GetSetupPath) or deletes it on failure. "创建本地文件失败" when no file can be created.
    // An exception during the transfer deletes the file and answers false without a report.
    bool DownloadToTempFile(const std::wstring& url);

    // The transfer of `url` into `file` (open for writing; neither closed nor deleted here).
    // True when exactly Content-Length bytes were written; each failure reports one sentence.
    bool TransferToFile(const std::wstring& url, HANDLE file);

    // Runs the downloaded program hidden with "/S" in the temporary directory, waits for it
    // without a time-out and deletes it. False when the file is missing, it cannot be started,
    // or its exit code is not 0 (the file is deleted all the same).
    bool RunInstaller();

    // Makes the running transfer fail at once, also while its network call is blocked (that call
    // is left to end on its own thread, see QVReadAheadRequest). With no transfer running, the
    // next one fails at once, sending no request. The transfer then reports "下载任务已经取消" if
    // the callback says it is cancelled, else "下载文件失败". Any thread, any time.
    void AbortTransfer() noexcept { m_abort.Abort(); }

    // Bytes of all successful transfers of this object.
    uint32_t GetTotalReceived() const noexcept { return m_dwTotalReceived; }
    // The directory for local files, ending in a backslash.
    const std::wstring& GetTempDir() const noexcept { return m_strTempDir; }
    // The complete setup program; empty until a transfer succeeded.
    const std::wstring& GetSetupPath() const noexcept { return m_strSetupPath; }
    // The local file created most recently; empty when none.
    const std::wstring& GetLocalFile() const noexcept { return m_strLocalFile; }

    // For tests: the bound on each network wait (kStallTimeoutMs unless set).
    void SetStallTimeout(DWORD ms) noexcept { m_dwStallTimeout = ms; }

private:
    IVersionUpdateCallback* m_pCallback = nullptr;
    uint32_t m_dwTotalReceived = 0;
    std::wstring m_strSetupPath;
    std::wstring m_strTempDir;
    std::wstring m_strLocalFile;
    QVQueryRandom m_random;
    DWORD m_dwStallTimeout = kStallTimeoutMs;
    QVTransferAbort m_abort;
};

} // namespace QV

#endif // _WIN32
