// Statistics of one transfer: what the progress display is computed from. Portable.
#pragma once

#include <cstdint>

namespace QV
{

// Owned by the transfer loop, which starts it and adds every read at its own clock's tick.
struct TransferStats
{
    uint32_t startTick = 0;      // tick count (ms) when the body began
    uint32_t lastTick = 0;       // tick count of the last speed update
    uint64_t expectedLength = 0; // Content-Length of the response
    uint64_t received = 0;       // body bytes received so far
    double averageSpeed = 0.0;   // received / ms since startTick; 0.0 until first measured
};

// Starts the record at tick `now`: both ticks `now`, nothing received, speed 0.0.
void StartTransferStats(TransferStats& stats, uint32_t now, uint64_t expectedLength);

// Adds `count` bytes read at tick `now`. The speed is recomputed only when `now` differs from
// the last update's tick, so reads within one tick cost no division; elapsed time is an unsigned
// 32-bit difference, so a wrap of the tick counter is harmless.
void AddTransferBytes(TransferStats& stats, uint32_t count, uint32_t now);

} // namespace QV
