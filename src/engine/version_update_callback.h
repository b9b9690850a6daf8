// The one channel through which the download worker reports to the user interface.
#pragma once

#include <cstdint>
#include <string>

namespace QV
{

// Implemented by the user interface; called on the worker thread only, while a job runs, and only
// when attached to the downloader. The slot order is part of the contract. Sizes are byte counts
// (the low 32 bits of the worker's 64-bit counts); speed is bytes per millisecond.
class IVersionUpdateCallback
{
public:
    // First step of a download, before the address is read.
    virtual void OnDownloadBegin() = 0;
    // Once per transfer, after status 200 and a non-zero Content-Length: that length.
    virtual void OnFileSize(uint32_t size) = 0;
    // The downloader's running total over all its transfers.
    virtual void OnTotalReceived(uint32_t bytes) = 0;
    // Progress of the current transfer; total 0 means the size is not known yet (never divide).
    virtual void OnProgress(const std::wstring& url, uint32_t total, uint32_t received,
                            double speed) = 0;
    // The whole file is received, written and closed; success is always true.
    virtual void OnDownloadComplete(bool success) = 0;
    // A complete user-visible sentence (empty: the user interface's generic error), shown only
    // while the job is not yet stopped; the job is stopped afterwards and ends with failure.
    virtual void OnError(std::wstring message) = 0;
    // Polled before every read; may block while the user is asked. True: stop the job.
    virtual bool IsCancelled() = 0;
    virtual ~IVersionUpdateCallback() = default;
};

} // namespace QV
