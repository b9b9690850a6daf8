// Deleting a file that a virus scanner may be reading: the scanner opens a new or just-closed
// file without delete sharing for a moment, so a delete that fails for that reason is tried again
// for a short while. Portable: the delete and the pause come in through ports.
#pragma once

#include "engine/transfer_loop.h"

#include <cstdint>
#include <string>

namespace QV
{

// Further tries after a failed delete, and the pause before each: about two seconds in all.
inline constexpr uint32_t kDeleteRetries = 20;
inline constexpr uint32_t kDeleteRetryPauseMs = 100;

// What a delete answered.
enum class DeleteOutcome
{
    Deleted, // gone now, or was not there
    Busy,    // someone has it open without delete sharing (or its delete is pending)
    Failed   // any other reason; trying again would not help
};

// One delete, as the system does it.
class IFileDeleter
{
public:
    virtual DeleteOutcome Delete(const std::wstring& path) = 0;

protected:
    ~IFileDeleter() = default;
};

// Deletes `path`, trying again after a pause on `clock` while the file is busy, at most
// kDeleteRetries more times. True when the file is gone; false leaves it where it was.
bool DeleteWithRetry(IFileDeleter& deleter, ITransferClock& clock, const std::wstring& path);

} // namespace QV
