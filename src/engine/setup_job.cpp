#include "engine/setup_job.h"

#include "engine/engine_messages.h"
#include "engine/retry_policy.h"
#include "engine/setup_downloader_rules.h"

#include <algorithm>

namespace QV
{

namespace
{
// Passes every report on, and after a wait to retry shows "正在下载，请稍候..." again as soon as
// an attempt has body bytes to report: the user should not read "retrying" while the download
// is running again.
class QVFlowNotice final : public IVersionUpdateCallback
{
public:
    QVFlowNotice(IVersionUpdateCallback& reports, ISetupJobHost& host) noexcept
        : m_reports(reports), m_host(host)
    {
    }

    // The next attempt that has body bytes to report shows the download status again.
    void AnnounceWhenBytesFlow() noexcept { m_bArmed = true; }

    // An attempt begins: its first progress report with a total is where it starts from.
    void StartAttempt() noexcept { m_bHasStart = false; }

    void OnDownloadBegin() override { m_reports.OnDownloadBegin(); }
    void OnFileSize(uint32_t size) override { m_reports.OnFileSize(size); }
    void OnTotalReceived(uint32_t bytes) override { m_reports.OnTotalReceived(bytes); }
    void OnProgress(const std::wstring& url, uint32_t total, uint32_t received,
                    double speed) override
    {
        if (m_bArmed && total != 0)
        {
            if (!m_bHasStart)
            {
                m_bHasStart = true;
                m_dwStart = received;
            }
            else if (received > m_dwStart)
            {
                m_bArmed = false;
                m_host.ShowStatus(kDownloading);
            }
        }
        m_reports.OnProgress(url, total, received, speed);
    }
    void OnDownloadComplete(bool success) override { m_reports.OnDownloadComplete(success); }
    void OnError(std::wstring message) override { m_reports.OnError(std::move(message)); }
    bool IsCancelled() override { return m_reports.IsCancelled(); }

private:
    IVersionUpdateCallback& m_reports;
    ISetupJobHost& m_host;
    bool m_bArmed = false;
    bool m_bHasStart = false;
    uint32_t m_dwStart = 0;
};
} // namespace

QVSetupJob::QVSetupJob(ISetupDownload& download, ISetupCheck& check, ISetupLauncher& launcher,
                       ITransferClock& clock, ISetupJobHost& host,
                       IVersionUpdateCallback& reports) noexcept
    : m_download(download), m_check(check), m_launcher(launcher), m_clock(clock), m_host(host),
      m_reports(reports)
{
}

bool QVSetupJob::Run()
{
    if (!Download())
    {
        // A download that ends without any report (no address in the version resource) must
        // still tell the user why nothing was installed. After a report or a confirmed cancel
        // this changes nothing: the job is already stopped.
        m_reports.OnError(std::wstring());
        return false;
    }

    switch (m_check.Check())
    {
    case SetupCheckResult::Passed:
        break;
    case SetupCheckResult::NotAProgram:
        // A proxy's or captive portal's page answered with 200 is no setup program at all.
        m_launcher.Discard();
        m_reports.OnError(kMsgDownloadFailed);
        return false;
    case SetupCheckResult::Refused:
        m_launcher.Discard();
        m_reports.OnError(kMsgSetupCheckFailed);
        return false;
    }

    // The transfer polls before every read, not after the last one: a cancel the user confirmed
    // since (or is still being asked about) must hold until the setup program has started.
    if (m_reports.IsCancelled())
    {
        m_launcher.Discard();
        m_reports.OnError(kMsgDownloadCancelled);
        return false;
    }

    m_host.SetProgressPos(100);
    m_host.EnterInstallPhase();
    m_host.ShowStatus(kInstalling);
    if (!m_launcher.Launch())
    {
        // The setup program could not be run or reported failure: never claim success.
        m_host.ShowStatus(kInstallFailed);
        m_host.MarkStopped();
        return false;
    }
    m_host.ShowStatus(kInstalled);
    m_clock.Sleep(kSuccessPauseMs);
    m_host.MarkFinished();
    return true;
}

bool QVSetupJob::Download()
{
    if (!m_download.Prepare(m_reports))
        return false;
    QVQueryRandom jitter(m_clock.Now());
    QVFlowNotice reports(m_reports, m_host);
    TransferOutcome outcome;
    for (uint32_t attempt = 1;; ++attempt)
    {
        reports.StartAttempt();
        outcome = m_download.Attempt(reports);
        if (outcome.end == TransferEnd::Complete)
        {
            m_download.Finish(true, m_reports);
            return true;
        }
        const RetryStep step = NextRetryStep(outcome, attempt);
        if (step == RetryStep::Stop)
            break;
        if (step == RetryStep::RetryAfterWait)
        {
            m_host.ShowStatus(RetryStatusText(attempt));
            const uint32_t jitterDraw = static_cast<uint32_t>(jitter.Next());
            if (!WaitBeforeRetry(RetryWaitMs(attempt, outcome.retryAfterMs, jitterDraw)))
            {
                outcome.message = kMsgDownloadCancelled;
                break;
            }
            reports.AnnounceWhenBytesFlow();
        }
    }
    m_reports.OnError(outcome.message != nullptr ? outcome.message : L"");
    m_download.Finish(false, m_reports);
    return false;
}

bool QVSetupJob::WaitBeforeRetry(uint32_t ms)
{
    for (uint32_t waited = 0; waited < ms; waited += kRetryWaitPollMs)
    {
        if (m_reports.IsCancelled())
            return false;
        m_clock.Sleep(std::min(kRetryWaitPollMs, ms - waited));
    }
    return !m_reports.IsCancelled();
}

} // namespace QV
