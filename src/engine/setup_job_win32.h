// The job's steps on Windows: the download, the check of the locked file and the launch of a
// SetupDownloader, the system's clock.
#pragma once
#ifdef _WIN32

#include "engine/setup_check.h"
#include "engine/setup_downloader.h"
#include "engine/setup_job.h"

namespace QV
{

// Runs one QVSetupJob whose steps are `downloader`'s PrepareDownload, DownloadAttempt and
// FinishDownload (each after SetCallback with the receiver the job passes), the check of the held
// file against what this executable's version resource requires (ReadSetupTrust), and RunInstaller
// (DiscardSetup when it must not run), reporting to `host` and `reports`; answers as
// QVSetupJob::Run does. Worker thread only; exceptions of the steps pass through.
bool RunSetupJobWin32(SetupDownloader& downloader, ISetupJobHost& host,
                      IVersionUpdateCallback& reports);

// The same with the requirements given as `trust`.
bool RunSetupJobWin32(SetupDownloader& downloader, const SetupTrust& trust, ISetupJobHost& host,
                      IVersionUpdateCallback& reports);

} // namespace QV

#endif // _WIN32
