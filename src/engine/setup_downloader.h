// The engine's one object: downloads the browser's full setup program into a private folder of
// this run under the temporary directory, keeps it locked until it runs, and runs it.
#pragma once
#ifdef _WIN32

#include "common/win_handle.h"
#include "engine/http/read_ahead_request.h"
#include "engine/private_folder_win32.h"
#include "engine/setup_downloader_rules.h"
#include "engine/transfer_loop.h"
#include "engine/version_update_callback.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace QV
{

// Constructed and destroyed on the main thread; SetCallback, the download operations,
// GetSetupFile, DiscardSetup and RunInstaller run on one worker thread in between. AbortTransfer
// may be called from any thread at any time. A download is PrepareDownload (or PrepareLocalFile),
// DownloadAttempt as often as the retry policy says, FinishDownload; DownloadToTempFile is one
// attempt on its own.
class SetupDownloader
{
public:
    // Makes this run's private folder under the temporary directory (QVPrivateFolder; GetTempDir
    // is empty when none could be made) and seeds the query's generator with the calendar time
    // in seconds.
    SetupDownloader();
    // Detaches the proxy prompt, closes the local files still open and deletes the local file
    // created most recently, if any (retried while a scanner holds it), then the private folder.
    ~SetupDownloader();
    SetupDownloader(const SetupDownloader&) = delete;
    SetupDownloader& operator=(const SetupDownloader&) = delete;

    // The receiver of every report (not owned; null: no reports and no cancellation).
    void SetCallback(IVersionUpdateCallback* callback) noexcept { m_pCallback = callback; }

    // Before the download, on the main thread: the prompt for the run's one proxy sign-in
    // (QVProxySignIn; borrowed, and detached again by the destructor). Without one a proxy's 407
    // fails the download. Throws std::bad_alloc when the sign-in cannot be had.
    void SetProxyPrompt(IProxySignInPrompt* prompt);

    // The start of the run's download: OnDownloadBegin, the address from the executable's version
    // resource (PrivateBuild) with the query "?B.A" drawn once for all attempts, then
    // PrepareLocalFile. False without a report when there is no address; after a failed
    // PrepareLocalFile also OnTotalReceived with the total.
    bool PrepareDownload();

    // Discards what an earlier download left (DiscardSetup), makes `url` the address of the
    // download and creates its local file in the private folder (kept open, empty). False after
    // "创建本地文件失败" when there is no private folder or no file can be created.
    bool PrepareLocalFile(const std::wstring& url);

    // One attempt (RunTransferAttempt) into the prepared local file: from the start, or continuing
    // what the earlier attempts left when a validator allows. No OnError: the outcome carries the
    // sentence. WriteFailed when no file is prepared. Exceptions (std::bad_alloc) pass through and
    // leave the file to FinishDownload or the destructor.
    TransferOutcome DownloadAttempt();

    // Ends the download. When `complete`, the local file is closed for writing and kept open for
    // reading with read-only sharing (GetSetupFile, GetSetupPath), so that nobody can change or
    // delete it until RunInstaller or DiscardSetup; then OnDownloadComplete(true). Otherwise, or
    // when the file cannot be held so (GetSetupFile then invalid), it is deleted; an incomplete
    // download reports OnTotalReceived with the total, which failed attempts never change.
    void FinishDownload(bool complete);

    // One attempt from the first byte into a new local file for `url` in the private folder (no
    // retry): keeps it held as FinishDownload does on success, deletes it on failure after exactly
    // one OnError ("创建本地文件失败" when there is no private folder or no file can be created;
    // "下载文件失败" when the complete file cannot be held). An exception during the transfer
    // deletes the file and answers false without a report.
    bool DownloadToTempFile(const std::wstring& url);

    // Runs the downloaded program (CreateProcessW) hidden with "/S" in the private folder, holding
    // it locked until CreateProcessW has returned; waits for it without a time-out and deletes
    // it. False when nothing is held (no download, or discarded), it cannot be started, it gives
    // no process to wait for, or its exit code is not 0; the file is deleted all the same.
    bool RunInstaller();

    // The downloaded program, open for reading with read-only sharing, positioned anywhere;
    // INVALID_HANDLE_VALUE when nothing is held. Still owned here.
    HANDLE GetSetupFile() const noexcept { return m_hSetupFile.Get(); }

    // Closes and deletes the downloaded program without running it (retried while a scanner
    // holds it); RunInstaller then runs nothing.
    void DiscardSetup() noexcept;

    // Makes the running transfer fail at once, also while its network call is blocked (that call
    // is left to end on its own thread, see QVReadAheadRequest). With no transfer running, the
    // next one fails at once, sending no request. The transfer then ends as cancelled
    // ("下载任务已经取消") if the callback says it is cancelled, else as aborted ("下载文件失败");
    // neither is retried. Any thread, any time.
    void AbortTransfer() noexcept { m_abort.Abort(); }

    // Bytes of all successful transfers of this object.
    uint32_t GetTotalReceived() const noexcept { return m_dwTotalReceived; }
    // The private folder for local files, ending in a backslash; empty when none could be made.
    const std::wstring& GetTempDir() const noexcept { return m_strTempDir; }
    // The complete setup program; empty until a transfer succeeded.
    const std::wstring& GetSetupPath() const noexcept { return m_strSetupPath; }
    // The local file created most recently; empty when none.
    const std::wstring& GetLocalFile() const noexcept { return m_strLocalFile; }

    // For tests: the bound on each network wait (kStallTimeoutMs unless set).
    void SetStallTimeout(DWORD ms) noexcept { m_dwStallTimeout = ms; }

private:
    // Deletes the local file, retrying while a scanner holds it. True when it is gone.
    bool DeleteLocalFile() noexcept;
    // Closes the local file for writing, then holds it as the setup program (true) or deletes it
    // (false, also when it cannot be held).
    bool CloseLocalFile(bool keep);

    IVersionUpdateCallback* m_pCallback = nullptr;
    uint32_t m_dwTotalReceived = 0;
    std::wstring m_strSetupPath;
    QVPrivateFolder m_folder;
    std::wstring m_strTempDir;
    std::wstring m_strLocalFile;
    std::wstring m_strUrl;    // the address of the download, with its query
    CFileHandle m_hLocalFile; // the local file while a download runs
    CFileHandle m_hSetupFile; // the complete file, held read-only until the launch
    TransferResume m_resume;  // what the local file holds, for the next attempt
    QVQueryRandom m_random;
    DWORD m_dwStallTimeout = kStallTimeoutMs;
    QVTransferAbort m_abort;
    std::shared_ptr<QVProxySignIn> m_pSignIn; // shared with the attempts' network threads
};

} // namespace QV

#endif // _WIN32
