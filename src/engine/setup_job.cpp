#include "engine/setup_job.h"

#include "engine/engine_messages.h"

namespace QV
{

QVSetupJob::QVSetupJob(ISetupDownload& download, ISetupCheck& check, ISetupLauncher& launcher,
                       ITransferClock& clock, ISetupJobHost& host,
                       IVersionUpdateCallback& reports) noexcept
    : m_download(download), m_check(check), m_launcher(launcher), m_clock(clock), m_host(host),
      m_reports(reports)
{
}

bool QVSetupJob::Run()
{
    if (!m_download.Download(m_reports))
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

} // namespace QV
