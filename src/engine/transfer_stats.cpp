#include "engine/transfer_stats.h"

namespace QV
{

void StartTransferStats(TransferStats& stats, uint32_t now, uint64_t expectedLength)
{
    stats.startTick = now;
    stats.lastTick = now;
    stats.expectedLength = expectedLength;
    stats.received = 0;
    stats.averageSpeed = 0.0;
}

void AddTransferBytes(TransferStats& stats, uint32_t count, uint32_t now)
{
    stats.received += count;
    if (now == stats.lastTick)
        return;
    uint32_t elapsed = now - stats.startTick;
    // Only a full wrap of the counter back onto the start tick gives 0 here.
    if (elapsed != 0)
        stats.averageSpeed = static_cast<double>(stats.received) / static_cast<double>(elapsed);
    stats.lastTick = now;
}

} // namespace QV
