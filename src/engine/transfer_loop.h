// The transfer loop of one download: response checks, 4096-byte reads, writes, progress reports,
// cancellation polls and the final length check. Portable: the HTTP client, the local file and
// the clock come in through the small interfaces below.
#pragma once

#include "engine/http/transfer_stats.h"
#include "engine/version_update_callback.h"

#include <cstdint>
#include <string>

namespace QV
{

// Bytes of the read buffer, the most one read delivers.
inline constexpr uint32_t kTransferBlockSize = 4096;

// Empty reads (success with 0 bytes) allowed over a whole transfer; one more ends it.
inline constexpr uint32_t kMaxEmptyReads = 5;

// Pause after an empty read, in ms.
inline constexpr uint32_t kEmptyReadPauseMs = 5;

// The HTTP side of one transfer.
class ITransferSource
{
public:
    // Sends the GET for `url` and waits for the response; false when no response was obtained.
    virtual bool Open(const std::wstring& url) = 0;
    // True unless the status is 200.
    virtual bool HasErrorStatus() = 0;
    // Content-Length; 0 when missing or unreadable.
    virtual uint64_t GetContentLength() = 0;
    // At most kTransferBlockSize bytes into `buffer`, added to `stats`: -1 failure, 0 nothing
    // read, else the count.
    virtual int32_t ReadChunk(TransferStats& stats, uint8_t* buffer) = 0;
    // True when the transfer was aborted from outside (its failures then may be a cancellation).
    virtual bool WasAborted() = 0;

protected:
    ~ITransferSource() = default;
};

// The local file. It may hold blocks back and write them together.
class IFileSink
{
public:
    // Takes `size` bytes; answers the count taken (less than `size` when writing failed).
    virtual uint32_t Write(const uint8_t* data, uint32_t size) = 0;
    // Writes whatever is held back; false when that failed.
    virtual bool Flush() = 0;

protected:
    ~IFileSink() = default;
};

// Tick counter and pause, so tests can script time.
class ITransferClock
{
public:
    // Milliseconds, wrapping at 2^32.
    virtual uint32_t Now() = 0;
    virtual void Sleep(uint32_t ms) = 0;

protected:
    ~ITransferClock() = default;
};

// Runs one transfer of `url` into `sink`, reporting to `callback` (null: no reports and no
// cancellation). True when exactly Content-Length bytes were received and written; then
// `totalReceived` has grown by that length. On false it is unchanged and exactly one OnError has
// been reported. A failure of an aborted source is reported as a cancellation when the callback
// says it is cancelled. The loop never deletes or closes anything of the sink.
bool RunTransferLoop(ITransferSource& source, IFileSink& sink, ITransferClock& clock,
                     IVersionUpdateCallback* callback, const std::wstring& url,
                     uint32_t& totalReceived);

} // namespace QV
