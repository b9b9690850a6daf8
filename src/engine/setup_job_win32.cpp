#include "engine/setup_job_win32.h"

#include "engine/transfer_loop_win32.h"

namespace QV
{

namespace
{
class QVDownloaderSteps final : public ISetupDownload, public ISetupLauncher
{
public:
    explicit QVDownloaderSteps(SetupDownloader& downloader) noexcept : m_downloader(downloader) {}

    bool Prepare(IVersionUpdateCallback& reports) override
    {
        m_downloader.SetCallback(&reports);
        return m_downloader.PrepareDownload();
    }

    TransferOutcome Attempt(IVersionUpdateCallback& reports) override
    {
        m_downloader.SetCallback(&reports);
        return m_downloader.DownloadAttempt();
    }

    void Finish(bool complete, IVersionUpdateCallback& reports) override
    {
        m_downloader.SetCallback(&reports);
        m_downloader.FinishDownload(complete);
    }

    bool Launch() override { return m_downloader.RunInstaller(); }

private:
    SetupDownloader& m_downloader;
};
} // namespace

bool RunSetupJobWin32(SetupDownloader& downloader, ISetupJobHost& host,
                      IVersionUpdateCallback& reports)
{
    QVDownloaderSteps steps(downloader);
    QVSystemClock clock;
    QVSetupJob job(steps, steps, clock, host, reports);
    return job.Run();
}

} // namespace QV
