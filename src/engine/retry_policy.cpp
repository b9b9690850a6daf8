#include "engine/retry_policy.h"

#include "common/format_string.h"
#include "common/user_texts.h"

namespace QV
{

bool IsRetryableStatus(uint32_t status)
{
    return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

RetryStep NextRetryStep(const TransferOutcome& outcome, uint32_t attemptsMade)
{
    if (attemptsMade >= kMaxDownloadAttempts)
        return RetryStep::Stop;
    switch (outcome.end)
    {
    case TransferEnd::RangeRefused:
        return RetryStep::RetryAtOnce;
    case TransferEnd::NoResponse:
    case TransferEnd::ReadFailed:
    case TransferEnd::CutShort:
        return RetryStep::RetryAfterWait;
    case TransferEnd::BadStatus:
        return IsRetryableStatus(outcome.status) ? RetryStep::RetryAfterWait : RetryStep::Stop;
    case TransferEnd::Complete:
    case TransferEnd::Refused:
    case TransferEnd::BadResponse:
    case TransferEnd::WriteFailed:
    case TransferEnd::Aborted:
    case TransferEnd::Cancelled:
        break;
    }
    return RetryStep::Stop;
}

uint32_t RetryWaitMs(uint32_t attemptsMade, const std::optional<uint32_t>& retryAfterMs,
                     uint32_t jitter)
{
    if (retryAfterMs)
        return *retryAfterMs < kMaxRetryWaitMs ? *retryAfterMs : kMaxRetryWaitMs;
    const uint32_t doublings = attemptsMade > 1 ? attemptsMade - 1 : 0;
    const uint64_t base =
        doublings < 16 ? uint64_t{kFirstRetryWaitMs} << doublings : uint64_t{kMaxRetryWaitMs};
    const uint64_t extra = base * (jitter & 0x7FFFu) / (4u * 0x8000u);
    const uint64_t wait = base + extra;
    return static_cast<uint32_t>(wait < kMaxRetryWaitMs ? wait : kMaxRetryWaitMs);
}

std::wstring RetryStatusText(uint32_t retry)
{
    std::wstring text;
    FormatString(text, kRetryingFormat, static_cast<int>(retry),
                 static_cast<int>(kMaxDownloadAttempts - 1));
    return text;
}

} // namespace QV
