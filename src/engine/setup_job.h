// The job of one run, on the worker thread: download the setup program, check it, switch the user
// interface to the install phase, run the setup program, record the outcome. Portable: the steps,
// the clock and the user interface come in through the ports below, so a new step of the job is one
// more call in QVSetupJob::Run, tested natively with fakes.
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

// The download step: the whole setup program into a local file.
class ISetupDownload
{
public:
    // Downloads, reporting to `reports` (its polls of IsCancelled are the job's cancellation).
    // True when the setup program is complete; false after at most one OnError (none when the
    // download address is missing).
    virtual bool Download(IVersionUpdateCallback& reports) = 0;

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
    bool Run();

private:
    ISetupDownload& m_download;
    ISetupCheck& m_check;
    ISetupLauncher& m_launcher;
    ITransferClock& m_clock;
    ISetupJobHost& m_host;
    IVersionUpdateCallback& m_reports;
};

} // namespace QV
