#include "engine/file_removal.h"

namespace QV
{

bool DeleteWithRetry(IFileDeleter& deleter, ITransferClock& clock, const std::wstring& path)
{
    for (uint32_t attempt = 0;; ++attempt)
    {
        switch (deleter.Delete(path))
        {
        case DeleteOutcome::Deleted:
            return true;
        case DeleteOutcome::Failed:
            return false;
        case DeleteOutcome::Busy:
            break;
        }
        if (attempt == kDeleteRetries)
            return false;
        clock.Sleep(kDeleteRetryPauseMs);
    }
}

} // namespace QV
