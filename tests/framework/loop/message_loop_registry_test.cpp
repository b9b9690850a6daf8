// The per-thread loop registry: exact-size arrays, lookups, failures and its lock.
#include "framework/loop/message_loop_registry.h"

#include "framework/loop/fake_allocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace QV
{
namespace
{

using Test::CFakeAllocator;

// A std::mutex that knows whether it is held.
class CCountingLock final : public ILock
{
public:
    void Lock() noexcept override
    {
        m_mutex.lock();
        ++m_nHeld;
        ++m_nTaken;
    }
    void Unlock() noexcept override
    {
        --m_nHeld;
        m_mutex.unlock();
    }

    int m_nHeld = 0;
    int m_nTaken = 0;

private:
    std::mutex m_mutex;
};

CMessageLoop* Loop(int n)
{
    // Distinct addresses the registry stores and answers without using them.
    static char loops[8];
    return reinterpret_cast<CMessageLoop*>(&loops[n]);
}

class Registry : public testing::Test
{
protected:
    const std::size_t p = sizeof(CMessageLoop*);
    CCountingLock lock;
    CFakeAllocator allocator;
    CMessageLoopRegistry registry{lock, allocator};

    void SetUp() override
    {
        // Every allocation happens under the lock.
        allocator.OnEveryCall([this] { EXPECT_EQ(1, lock.m_nHeld); });
    }
    // The registry's own destruction needs no lock: nobody else can reach it then.
    void TearDown() override { allocator.OnEveryCall(nullptr); }
};

TEST_F(Registry, EmptyRegistryHasNoStorageAndFindsNothing)
{
    EXPECT_EQ(nullptr, registry.Find(7));
    EXPECT_FALSE(registry.Unregister(7));
    EXPECT_EQ(0, registry.GetCount());
    EXPECT_TRUE(allocator.Requests().empty());
}

TEST_F(Registry, ArraysGrowToExactlyTheCount)
{
    ASSERT_TRUE(registry.Register(10, Loop(0)));
    ASSERT_TRUE(registry.Register(20, Loop(1)));
    ASSERT_TRUE(registry.Register(30, Loop(2)));
    EXPECT_EQ((std::vector<std::size_t>{4, p, 8, 2 * p, 12, 3 * p}), allocator.Requests());
    EXPECT_EQ(Loop(0), registry.Find(10));
    EXPECT_EQ(Loop(1), registry.Find(20));
    EXPECT_EQ(Loop(2), registry.Find(30));
    EXPECT_EQ(nullptr, registry.Find(40));
    EXPECT_EQ(3, registry.GetCount());
}

TEST_F(Registry, UnregisterMovesLaterEntriesDownAndShrinks)
{
    registry.Register(10, Loop(0));
    registry.Register(20, Loop(1));
    registry.Register(30, Loop(2));
    EXPECT_TRUE(registry.Unregister(20));
    EXPECT_EQ(nullptr, registry.Find(20));
    EXPECT_EQ(Loop(0), registry.Find(10));
    EXPECT_EQ(Loop(2), registry.Find(30));
    EXPECT_EQ(2, registry.GetCount());
    EXPECT_EQ((std::vector<std::size_t>{8, 2 * p}), allocator.LiveSizes());
    EXPECT_FALSE(registry.Unregister(20));
}

TEST_F(Registry, LastEntryLeavesNoStorage)
{
    registry.Register(10, Loop(0));
    const std::size_t requests = allocator.Requests().size();
    EXPECT_TRUE(registry.Unregister(10));
    EXPECT_EQ(0u, allocator.LiveBlocks());
    EXPECT_EQ(requests, allocator.Requests().size()); // freed, not reallocated to 0
    EXPECT_EQ(nullptr, registry.Find(10));

    ASSERT_TRUE(registry.Register(11, Loop(1)));
    EXPECT_EQ(Loop(1), registry.Find(11));
}

TEST_F(Registry, TwoLoopsForOneThreadLookupAnswersTheFirst)
{
    registry.Register(10, Loop(0));
    registry.Register(10, Loop(1));
    EXPECT_EQ(Loop(0), registry.Find(10));
    EXPECT_EQ(2, registry.GetCount());
    EXPECT_TRUE(registry.Unregister(10));
    EXPECT_EQ(Loop(1), registry.Find(10));
}

TEST_F(Registry, FailedGrowthOfTheIdArrayChangesNothing)
{
    registry.Register(10, Loop(0));
    allocator.FailRequest(3);
    EXPECT_FALSE(registry.Register(20, Loop(1)));
    EXPECT_EQ(1, registry.GetCount());
    EXPECT_EQ(nullptr, registry.Find(20));
    EXPECT_EQ((std::vector<std::size_t>{4, p}), allocator.LiveSizes());
}

TEST_F(Registry, FailedGrowthOfTheLoopArrayLeavesTheIdArrayGrown)
{
    registry.Register(10, Loop(0));
    allocator.FailRequest(4);
    EXPECT_FALSE(registry.Register(20, Loop(1)));
    EXPECT_EQ(1, registry.GetCount());
    EXPECT_EQ(nullptr, registry.Find(20));
    std::vector<std::size_t> expected{8, p};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, allocator.LiveSizes());

    ASSERT_TRUE(registry.Register(30, Loop(2)));
    EXPECT_EQ(Loop(0), registry.Find(10));
    EXPECT_EQ(Loop(2), registry.Find(30));
}

TEST_F(Registry, FailedShrinkKeepsTheOldStorageAndEveryEntry)
{
    registry.Register(10, Loop(0));
    registry.Register(20, Loop(1));
    registry.Register(30, Loop(2));
    allocator.FailAll(true);
    EXPECT_TRUE(registry.Unregister(10));
    EXPECT_EQ(2, registry.GetCount());
    EXPECT_EQ(Loop(1), registry.Find(20));
    EXPECT_EQ(Loop(2), registry.Find(30));
    EXPECT_EQ((std::vector<std::size_t>{12, 3 * p}), allocator.LiveSizes());

    allocator.FailAll(false);
    ASSERT_TRUE(registry.Register(40, Loop(3)));
    EXPECT_EQ(Loop(3), registry.Find(40));
    EXPECT_EQ(Loop(1), registry.Find(20));
}

TEST_F(Registry, EveryOperationTakesAndReleasesTheLock)
{
    registry.Register(10, Loop(0));
    registry.Find(10);
    registry.Unregister(10);
    registry.GetCount();
    EXPECT_EQ(4, lock.m_nTaken);
    EXPECT_EQ(0, lock.m_nHeld);
}

TEST(RegistryThreads, ConcurrentThreadsEachFindTheirOwnLoop)
{
    CCountingLock lock;
    CMessageLoopRegistry registry(lock);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                const std::uint32_t id = 100 + t;
                for (int i = 0; i < 2000; ++i)
                {
                    registry.Register(id, Loop(t));
                    if (registry.Find(id) != Loop(t))
                        ++mismatches;
                    if (!registry.Unregister(id))
                        ++mismatches;
                }
            });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(0, mismatches.load());
    EXPECT_EQ(0, registry.GetCount());
}

} // namespace
} // namespace QV
