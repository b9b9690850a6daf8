// The engine's one object: downloads the browser's full setup program into a private folder of
// this run under the temporary directory, keeps it locked until it runs, and runs it.
#pragma once
#ifdef _WIN32

#include "common/win_handle.h"
#include "engine/http/read_ahead_request.h"
#include "engine/private_folder_win32.h"
#include "engine/setup_downloader_rules.h"
#include "engine/version_update_callback.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace QV
{

// Constructed and destroyed on the main thread; SetCallback, Download, DownloadToTempFile,
// TransferToFile, GetSetupFile, DiscardSetup and RunInstaller run on one worker thread in between.
// AbortTransfer may be called from any thread at any time.
class SetupDownloader
{
public:
    // Makes this run's private folder under the temporary directory (QVPrivateFolder; GetTempDir
    // is empty when none could be made) and seeds the query's generator with the calendar time
    // in seconds.
    SetupDownloader();
    // Deletes the local file created most recently, if any (retried while a scanner holds it),
    // then the private folder.
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

    // Chooses and creates the local file for `url` in the private folder, transfers into it, and
    // on success keeps it open for reading with read-only sharing (GetSetupFile), so that nobody
    // can change or delete it until RunInstaller or DiscardSetup; on failure it is deleted.
    // "创建本地文件失败" when there is no private folder or no file can be created;
    // "下载文件失败" when the complete file cannot be held so. An exception during the transfer
    // deletes the file and answers false without a report.
    bool DownloadToTempFile(const std::wstring& url);

    // The transfer of `url` into `file` (open for writing; neither closed nor deleted here).
    // True when exactly Content-Length bytes were written; each failure reports one sentence.
    bool TransferToFile(const std::wstring& url, HANDLE file);

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
    // next one fails at once, sending no request. The transfer then reports "下载任务已经取消" if
    // the callback says it is cancelled, else "下载文件失败". Any thread, any time.
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

    IVersionUpdateCallback* m_pCallback = nullptr;
    uint32_t m_dwTotalReceived = 0;
    std::wstring m_strSetupPath;
    QVPrivateFolder m_folder;
    std::wstring m_strTempDir;
    std::wstring m_strLocalFile;
    CFileHandle m_hSetupFile;
    QVQueryRandom m_random;
    DWORD m_dwStallTimeout = kStallTimeoutMs;
    QVTransferAbort m_abort;
};

} // namespace QV

#endif // _WIN32
