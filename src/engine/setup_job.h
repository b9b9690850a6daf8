// The job of one run, on the worker thread: download the setup program (retrying a flaky
// network), check it, switch the user interface to the install phase, run the setup program,
// record the outcome. Portable: the steps, the clock and the user interface come in through the
// ports below, so a new step of the job is one more call in QVSetupJob::Run, tested natively with
// fakes.
#pragma once

#include "engine/setup_check.h"
#include "engine/transfer_loop.h"
#include "engine/version_update_callback.h"

#include <cstdint>
#include <string>

namespace QV
{

// Pause after "已经成功安装" before the job counts as finished, so that the text can be seen
// before the user interface closes.
inline constexpr uint32_t kSuccessPauseMs = 500;

// The download step: the whole setup program into one local file, in attempts that the job
// repeats under the retry policy (retry_policy.h).
class ISetupDownload
{
public:
    // Once per run, before any attempt: OnDownloadBegin, the download address with the one query
    // that every attempt of the run asks with, the local file. False when there is no address
    // (no report) or no local file (after OnError "创建本地文件失败" and OnTotalReceived); no
    // attempt follows then.
    virtual bool Prepare(IVersionUpdateCallback& reports) = 0;
    // One attempt (RunTransferAttempt) to complete the local file, continuing what the earlier
    // attempts of this run left in it when it can. Reports progress to `reports` and polls its
    // IsCancelled, but reports no OnError: the outcome says what went wrong.
    virtual TransferOutcome Attempt(IVersionUpdateCallback& reports) = 0;
    // Ends the run after its last attempt. Complete: the file is kept, held locked read-only for
    // the check and the launch, then
    // OnDownloadComplete(true). Otherwise the file is deleted and OnTotalReceived reports the
    // total as it was before the download.
    virtual void Finish(bool complete, IVersionUpdateCallback& reports) = 0;

protected:
    ~ISetupDownload() = default;
};

// The check step, between the download and the launch.
class ISetupCheck
{
public:
    // Checks the downloaded setup program, which stays locked against writing and deleting until
    // the launch, against what the build requires of it. No reports.
    virtual SetupCheckResult Check() = 0;

protected:
    ~ISetupCheck() = default;
};

// The launch step.
class ISetupLauncher
{
public:
    // Runs the downloaded setup program and waits for it, without reports or cancellation, then
    // deletes it. True when it ran and reported success; false when it could not run, gave no
    // process to wait for, or reported failure.
    virtual bool Launch() = 0;
    // Deletes the downloaded setup program without running it; afterwards Launch runs nothing.
    virtual void Discard() = 0;

protected:
    ~ISetupLauncher() = default;
};

// The user interface the job reports to. Called on the job's thread; an implementation carries
// window work over to the thread that owns the windows.
class ISetupJobHost
{
public:
    // Shows `text` in the status line and as a tray balloon.
    virtual void ShowStatus(const std::wstring& text) = 0;
    // Moves the progress bar to `pos` (0 to 100).
    virtual void SetProgressPos(int pos) = 0;
    // The install phase cannot be cancelled: hides the window and disables its cancel button.
    virtual void EnterInstallPhase() = 0;
    // The job has ended with the setup program installed; the user interface may close.
    virtual void MarkFinished() = 0;
    // The job has ended without installing; the user interface may close.
    virtual void MarkStopped() = 0;

protected:
    ~ISetupJobHost() = default;
};

// One run of the job over its ports (none owned; all must outlive the job).
class QVSetupJob
{
public:
    // `reports` receives the download's reports and the failure of a download that reported
    // nothing; it is normally the same user interface as `host`.
    QVSetupJob(ISetupDownload& download, ISetupCheck& check, ISetupLauncher& launcher,
               ITransferClock& clock, ISetupJobHost& host,
               IVersionUpdateCallback& reports) noexcept;

    // The whole job, once. True when it finished (MarkFinished); false when it stopped: a failed
    // download, a failed check or a cancel confirmed before the launch (each through OnError, so
    // the user always sees why; the file is discarded after a download) or a failed launch
    // (MarkStopped). An exception from a step leaves the job with neither mark.
    // The download is retried by the retry policy: during a wait the host shows RetryStatusText
    // and the job asks IsCancelled every kRetryWaitPollMs (an open cancel question holds the
    // wait, a confirmed cancellation ends it); once the body of the next attempt flows the host
    // shows "正在下载，请稍候..." again. Only the attempt that ends the download reaches OnError.
    bool Run();

private:
    // The download step with its retries; true when the setup program is complete.
    bool Download();
    // Waits `ms` in steps of kRetryWaitPollMs, asking IsCancelled before each; false when the job
    // is cancelled.
    bool WaitBeforeRetry(uint32_t ms);

    ISetupDownload& m_download;
    ISetupCheck& m_check;
    ISetupLauncher& m_launcher;
    ITransferClock& m_clock;
    ISetupJobHost& m_host;
    IVersionUpdateCallback& m_reports;
};

} // namespace QV
