#include "engine/setup_job_win32.h"

#include "engine/setup_check_win32.h"
#include "engine/transfer_loop_win32.h"

namespace QV
{

namespace
{
std::wstring OwnModulePath()
{
    wchar_t path[261] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(nullptr), path, 260);
    return path;
}

class QVDownloaderSteps final : public ISetupDownload, public ISetupCheck, public ISetupLauncher
{
public:
    QVDownloaderSteps(SetupDownloader& downloader, const SetupTrust& trust) noexcept
        : m_downloader(downloader), m_trust(trust)
    {
    }

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

    // Read through the handle that keeps the file locked, so what is checked is what runs.
    SetupCheckResult Check() override
    {
        if (m_downloader.GetSetupFile() == INVALID_HANDLE_VALUE)
            return SetupCheckResult::NotAProgram;
        QVSetupFileProbe probe(m_downloader.GetSetupFile(), m_downloader.GetSetupPath());
        return CheckSetupProgram(probe, m_trust);
    }

    bool Launch() override { return m_downloader.RunInstaller(); }

    void Discard() override { m_downloader.DiscardSetup(); }

private:
    SetupDownloader& m_downloader;
    const SetupTrust& m_trust;
};
} // namespace

bool RunSetupJobWin32(SetupDownloader& downloader, ISetupJobHost& host,
                      IVersionUpdateCallback& reports)
{
    return RunSetupJobWin32(downloader, ReadSetupTrust(OwnModulePath()), host, reports);
}

bool RunSetupJobWin32(SetupDownloader& downloader, const SetupTrust& trust, ISetupJobHost& host,
                      IVersionUpdateCallback& reports)
{
    QVDownloaderSteps steps(downloader, trust);
    QVSystemClock clock;
    QVSetupJob job(steps, steps, steps, clock, host, reports);
    return job.Run();
}

} // namespace QV
