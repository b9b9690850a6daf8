// The transfer loop of one download attempt: response checks, block-sized reads, writes,
// statistics, progress reports, cancellation polls and the final length check, continuing the
// local file where an earlier attempt left it when the server allows. Portable: the HTTP response
// (ITransferSource), the local file and the clock come in through small interfaces.
#pragma once

#include "engine/http/transfer_source.h"
#include "engine/resume_rules.h"
#include "engine/transfer_stats.h"
#include "engine/version_update_callback.h"

#include <cstdint>
#include <optional>
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
    // Drops what is held back and empties the file, so that the next byte taken is its first;
    // false when the file could not be emptied (its content is then unknown).
    virtual bool Restart() = 0;

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

// How an attempt ended; everything but Complete is a failure, which the retry policy sorts.
enum class TransferEnd
{
    Complete,     // the file holds the whole body
    NoResponse,   // the request could not be sent or no response headers came in time
    Refused,      // the connection was refused as unsafe (certificate, redirect to plain http)
    BadStatus,    // the server answered with a status this download cannot use
    BadResponse,  // status 200 without a usable length, or a body longer than announced
    RangeRefused, // the answer to a ranged request cannot continue the file: start over
    ReadFailed,   // a read of the body failed (connection lost, stall time-out)
    CutShort,     // the body ended before its announced length
    WriteFailed,  // the local file could not be written or emptied
    Aborted,      // aborted from outside without the user's cancellation
    Cancelled,    // the user cancelled
};

// The result of one attempt.
struct TransferOutcome
{
    TransferEnd end = TransferEnd::Complete;
    uint32_t status = 0;                  // the answer's status code; 0 when none came
    std::optional<uint32_t> retryAfterMs; // the wait the answer's Retry-After asked for
    const wchar_t* message = nullptr;     // the sentence for the user when this ends the download
};

// One attempt to bring the local file of `url` to completion: `source` must ask for
// PlanAttempt(resume), and `sink` holds `resume.written` bytes of the version `resume` describes.
// Reports to `callback` (null: no reports and no cancellation) as one transfer does, except that a
// continued file opens with OnFileSize, OnTotalReceived and OnProgress at the bytes it already
// holds (the display never goes back), and the speed covers the bytes of this attempt only. No
// OnError: the outcome carries the sentence. Afterwards `resume` describes the file: complete
// (written = length), kept for a continuation after a network failure when a validator allows
// one (what the sink held back then written), or empty after a refused range. `totalReceived`
// grows by the length on completion only. A failure of an aborted source is a cancellation when
// the callback says it is cancelled. The loop never closes or deletes anything of the sink.
TransferOutcome RunTransferAttempt(ITransferSource& source, IFileSink& sink, ITransferClock& clock,
                                   IVersionUpdateCallback* callback, const std::wstring& url,
                                   TransferResume& resume, uint32_t& totalReceived);

// One attempt from the first byte that reports its own failure: RunTransferAttempt with an empty
// resume, then exactly one OnError on failure. True when exactly Content-Length bytes were
// received and written; then `totalReceived` has grown by that length, else it is unchanged.
bool RunTransferLoop(ITransferSource& source, IFileSink& sink, ITransferClock& clock,
                     IVersionUpdateCallback* callback, const std::wstring& url,
                     uint32_t& totalReceived);

} // namespace QV
