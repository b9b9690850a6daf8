// When a failed download attempt is tried again, and after how long: the retry policy of the
// download step. Portable.
#pragma once

#include "engine/transfer_loop.h"

#include <cstdint>
#include <optional>
#include <string>

namespace QV
{

// Attempts of one download in all, the first included.
inline constexpr uint32_t kMaxDownloadAttempts = 5;

// The wait before the first retry; each later one doubles it (1, 2, 4, 8 s).
inline constexpr uint32_t kFirstRetryWaitMs = 1000;

// No wait between attempts is longer, whatever the server asks for.
inline constexpr uint32_t kMaxRetryWaitMs = 60000;

// A wait between attempts asks whether the job is cancelled this often (ms), so that a confirmed
// cancellation ends it at once and an open cancel question holds it.
inline constexpr uint32_t kRetryWaitPollMs = 50;

// What follows a failed attempt.
enum class RetryStep
{
    Stop,           // the download has failed
    RetryAtOnce,    // the answer could not continue the file: ask for the whole at once
    RetryAfterWait, // a network or server failure: wait (RetryWaitMs), then try again
};

// True for the statuses worth asking again: 408, 429 and every 5xx.
bool IsRetryableStatus(uint32_t status);

// The step after `outcome`, the result of attempt number `attemptsMade` (1-based). Stop once
// kMaxDownloadAttempts attempts were made, after a local failure (the file), a cancellation or an
// abort, a connection refused as unsafe, a status other than the retryable ones, or an unusable
// 200; otherwise retry: at once
// after a refused range, after a wait for a failed connection or send, a stall, a lost
// connection, a body cut short or a retryable status.
RetryStep NextRetryStep(const TransferOutcome& outcome, uint32_t attemptsMade);

// The wait in ms after attempt number `attemptsMade` (1-based) failed: the server's Retry-After
// (`retryAfterMs`) when it gave one, else kFirstRetryWaitMs doubled for each earlier attempt,
// plus up to a quarter more drawn from `jitter` (0 to 32767, spread evenly), so that many
// installers cut off at once do not all come back at once. Never above kMaxRetryWaitMs.
uint32_t RetryWaitMs(uint32_t attemptsMade, const std::optional<uint32_t>& retryAfterMs,
                     uint32_t jitter);

// The status line and balloon while waiting for retry number `retry` (1-based) of the
// kMaxDownloadAttempts - 1 that a download has: "网络连接中断，正在重试（第2次，共4次）...".
std::wstring RetryStatusText(uint32_t retry);

} // namespace QV
