// The engine's one object: downloads the browser's full setup program into the temporary
// directory and runs it.
#pragma once
#ifdef _WIN32

#include "common/win_handle.h"
#include "engine/http/read_ahead_request.h"
#include "engine/setup_downloader_rules.h"
#include "engine/transfer_loop.h"
#include "engine/version_update_callback.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace QV
{

// Constructed and destroyed on the main thread; SetCallback, the download operations and
// RunInstaller run on one worker thread in between. AbortTransfer may be called from any thread
// at any time. A download is PrepareDownload (or PrepareLocalFile), DownloadAttempt as often as
// the retry policy says, FinishDownload; DownloadToTempFile is one attempt on its own.
class SetupDownloader
{
public:
    // Fixes the temporary directory (never empty, ends in a backslash) and seeds the query's
    // generator with the calendar time in seconds.
    SetupDownloader();
    // Closes the local file still open and deletes the local file created most recently, if any
    // (result ignored).
    ~SetupDownloader();
    SetupDownloader(const SetupDownloader&) = delete;
    SetupDownloader& operator=(const SetupDownloader&) = delete;

    // The receiver of every report (not owned; null: no reports and no cancellation).
    void SetCallback(IVersionUpdateCallback* callback) noexcept { m_pCallback = callback; }

    // The start of the run's download: OnDownloadBegin, the address from the executable's version
    // resource (PrivateBuild) with the query "?B.A" drawn once for all attempts, then
    // PrepareLocalFile. False without a report when there is no address; after a failed
    // PrepareLocalFile also OnTotalReceived with the total.
    bool PrepareDownload();

    // Makes `url` the address of the download and creates its local file (kept open, empty),
    // forgetting what an earlier download left. False after "创建本地文件失败" when no file can
    // be created.
    bool PrepareLocalFile(const std::wstring& url);

    // One attempt (RunTransferAttempt) into the prepared local file: from the start, or continuing
    // what the earlier attempts left when a validator allows. No OnError: the outcome carries the
    // sentence. WriteFailed when no file is prepared. Exceptions (std::bad_alloc) pass through and
    // leave the file to FinishDownload or the destructor.
    TransferOutcome DownloadAttempt();

    // Ends the download: closes the local file, then keeps it (GetSetupPath) and reports
    // OnDownloadComplete(true) when `complete`, else deletes it and reports OnTotalReceived with
    // the total, which failed attempts never change.
    void FinishDownload(bool complete);

    // One attempt from the first byte into a new local file for `url` (no retry): keeps it on
    // success (GetSetupPath), deletes it on failure after exactly one OnError ("创建本地文件失败"
    // when no file can be created). An exception during the transfer deletes the file and answers
    // false without a report.
    bool DownloadToTempFile(const std::wstring& url);

    // Runs the downloaded program hidden with "/S" in the temporary directory, waits for it
    // without a time-out and deletes it. False when the file is missing, it cannot be started,
    // or its exit code is not 0 (the file is deleted all the same).
    bool RunInstaller();

    // Makes the running transfer fail at once, also while its network call is blocked (that call
    // is left to end on its own thread, see QVReadAheadRequest). With no transfer running, the
    // next one fails at once, sending no request. The transfer then ends as cancelled
    // ("下载任务已经取消") if the callback says it is cancelled, else as aborted ("下载文件失败");
    // neither is retried. Any thread, any time.
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
    // Closes the local file, then keeps it as the setup program or deletes it.
    void CloseLocalFile(bool keep);

    IVersionUpdateCallback* m_pCallback = nullptr;
    uint32_t m_dwTotalReceived = 0;
    std::wstring m_strSetupPath;
    std::wstring m_strTempDir;
    std::wstring m_strLocalFile;
    std::wstring m_strUrl;    // the address of the download, with its query
    CFileHandle m_hLocalFile; // the local file while a download runs
    TransferResume m_resume;  // what the local file holds, for the next attempt
    QVQueryRandom m_random;
    DWORD m_dwStallTimeout = kStallTimeoutMs;
    QVTransferAbort m_abort;
};

} // namespace QV

#endif // _WIN32
