// The transfer loop of one download: response checks, block-sized reads, writes, statistics,
// progress reports, cancellation polls and the final length check. Portable: the HTTP response
// (ITransferSource), the local file and the clock come in through small interfaces.
#pragma once

#include "engine/http/transfer_source.h"
#include "engine/transfer_stats.h"
#include "engine/version_update_callback.h"

#include <cstdint>
#include <string>

namespace QV
{

// Empty reads (success with 0 bytes) allowed over a whole transfer; one more ends it.
inline constexpr uint32_t kMaxEmptyReads = 5;

// Pause after an empty read, in ms.
inline constexpr uint32_t kEmptyReadPauseMs = 5;

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
    // Milliseconds, wrapping at 2^32; the transfer statistics are kept in these ticks.
    virtual uint32_t Now() = 0;
    // Returns after about `ms` milliseconds.
    virtual void Sleep(uint32_t ms) = 0;

protected:
    ~ITransferClock() = default;
};

// Runs one transfer of `url` from `source` into `sink`, reporting to `callback` (null: no reports
// and no cancellation); the speed it reports is measured on `clock`. True when exactly
// Content-Length bytes were received and written; then `totalReceived` has grown by that length.
// On false it is unchanged and exactly one OnError has been reported. A failure of an aborted
// source is reported as a cancellation when the callback says it is cancelled. The loop never
// deletes or closes anything of the sink.
bool RunTransferLoop(ITransferSource& source, IFileSink& sink, ITransferClock& clock,
                     IVersionUpdateCallback* callback, const std::wstring& url,
                     uint32_t& totalReceived);

} // namespace QV
