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
    // Once per attempt whose answer was accepted (200 with a non-zero Content-Length, or a 206
    // that continues the file): the whole file's length.
    virtual void OnFileSize(uint32_t size) = 0;
    // The downloader's running total over all its transfers.
    virtual void OnTotalReceived(uint32_t bytes) = 0;
    // Progress of the current transfer; total 0 means the size is not known yet (never divide).
    // `received` counts the bytes in the file, so an attempt that continues the file opens at the
    // bytes already there and never goes back; `speed` covers the current attempt's bytes only.
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
