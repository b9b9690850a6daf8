#include "engine/transfer_stats.h"

#include <gtest/gtest.h>

namespace
{

struct Read
{
    uint32_t count;
    uint32_t tick;
    uint64_t received;
    double speed;
    uint32_t lastTick;
};

struct StatsCase
{
    const char* name;
    uint32_t start;
    std::vector<Read> reads;
};

// Each read adds its count; the speed (received / ms since the start) and the last tick change
// only when the tick differs from the last update's.
TEST(TransferStats, SpeedIsRecomputedOnlyWhenTheTickMoved)
{
    const StatsCase cases[] = {
        {"same tick keeps 0.0",
         1000,
         {{4096, 1000, 4096, 0.0, 1000}, {4096, 1000, 8192, 0.0, 1000}}},
        {"first moved tick measures",
         1000,
         {{4096, 1000, 4096, 0.0, 1000}, {4096, 1004, 8192, 2048.0, 1004}}},
        {"two reads in one tick: second only counts",
         0,
         {{1000, 10, 1000, 100.0, 10}, {1000, 10, 2000, 100.0, 10}, {2000, 20, 4000, 200.0, 20}}},
        {"empty read at a new tick updates the speed",
         0,
         {{500, 5, 500, 100.0, 5}, {0, 10, 500, 50.0, 10}}},
        {"tick counter wrap", 0xFFFFFFF0u, {{3200, 0x10u, 3200, 100.0, 0x10u}}},
    };
    for (const StatsCase& c : cases)
    {
        QV::TransferStats stats;
        QV::StartTransferStats(stats, c.start, 123456);
        EXPECT_EQ(stats.startTick, c.start) << c.name;
        EXPECT_EQ(stats.lastTick, c.start) << c.name;
        EXPECT_EQ(stats.expectedLength, 123456u) << c.name;
        EXPECT_EQ(stats.received, 0u) << c.name;
        EXPECT_EQ(stats.averageSpeed, 0.0) << c.name;
        for (const Read& r : c.reads)
        {
            QV::AddTransferBytes(stats, r.count, r.tick);
            EXPECT_EQ(stats.received, r.received) << c.name;
            EXPECT_DOUBLE_EQ(stats.averageSpeed, r.speed) << c.name;
            EXPECT_EQ(stats.lastTick, r.lastTick) << c.name;
            EXPECT_EQ(stats.startTick, c.start) << c.name;
        }
    }
}

TEST(TransferStats, ReceivedCountsPastFourGigabytes)
{
    QV::TransferStats stats;
    QV::StartTransferStats(stats, 0, 0);
    stats.received = 0xFFFFF000u;
    QV::AddTransferBytes(stats, 4096, 0);
    QV::AddTransferBytes(stats, 4096, 0);
    EXPECT_EQ(stats.received, 0x100001000ull);
}

} // namespace
