// The job's steps on Windows: the download and the launch of a SetupDownloader, the system's
// clock.
#pragma once
#ifdef _WIN32

#include "engine/setup_downloader.h"
#include "engine/setup_job.h"

namespace QV
{

// Runs one QVSetupJob whose steps are `downloader`'s PrepareDownload, DownloadAttempt and
// FinishDownload (each after SetCallback with the receiver the job passes) and RunInstaller,
// reporting to `host` and `reports`; answers as QVSetupJob::Run does. Worker thread only;
// exceptions of the steps pass through.
bool RunSetupJobWin32(SetupDownloader& downloader, ISetupJobHost& host,
                      IVersionUpdateCallback& reports);

} // namespace QV

#endif // _WIN32
