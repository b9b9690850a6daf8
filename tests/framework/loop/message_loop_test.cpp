// The message loop's logic, driven by a scripted message queue.
#include "framework/loop/message_loop.h"
#include "framework/loop/pointer_array.h"

#include "framework/loop/fake_allocator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <sstream>
#include <string>

namespace QV
{
namespace
{

using Test::CFakeAllocator;

// A queue scripted as space-separated steps: a hex number is a message with that number, "_" a
// moment at which the queue is found empty, "!" a failed retrieval, "Qn" the quit message with
// code n. Every call the loop makes is written to the shared log.
class CScriptedQueue final : public IMessageSource
{
public:
    CScriptedQueue(const std::string& script, std::string& log) : m_log(log)
    {
        std::istringstream in(script);
        for (std::string step; in >> step;)
            m_steps.push_back(step);
    }

    bool Peek() override
    {
        if (!m_steps.empty() && m_steps.front() == "_")
        {
            m_steps.pop_front();
            return false;
        }
        return !m_steps.empty();
    }

    int Get(LoopMessage& msg) override
    {
        // An empty moment that nobody peeked at: the loop was waiting for the next message.
        while (!m_steps.empty() && m_steps.front() == "_")
            m_steps.pop_front();
        if (m_steps.empty())
        {
            ADD_FAILURE() << "the loop waited for a message after the end of the script";
            msg.wParam = 0xDEAD;
            return 0;
        }
        const std::string step = m_steps.front();
        m_steps.pop_front();
        if (step == "!")
            return -1;
        msg = LoopMessage{};
        if (step[0] == 'Q')
        {
            msg.message = 0x0012;
            msg.wParam = std::stoul(step.substr(1));
            return 0;
        }
        msg.message = static_cast<unsigned int>(std::stoul(step, nullptr, 16));
        return 1;
    }

    void Translate(const LoopMessage& msg) override { Write("t", msg.message); }
    void Dispatch(const LoopMessage& msg) override { Write("d", msg.message); }

    bool Finished() const { return m_steps.empty(); }

private:
    void Write(const char* what, unsigned int message)
    {
        char text[32];
        std::snprintf(text, sizeof(text), " %s%X", what, message);
        m_log += text;
    }

    std::deque<std::string> m_steps;
    std::string& m_log;
};

// Logs each idle phase with its idle count; answers true (go on idling) while the count is
// below m_nIdleRounds - 1, so that by default every phase makes exactly one call.
class CLoggingLoop final : public CMessageLoop
{
public:
    explicit CLoggingLoop(std::string& log, IAllocator& allocator = CrtAllocator())
        : CMessageLoop(allocator), m_log(log)
    {
    }

    bool RunIdleHandlers(int nIdleCount) override
    {
        m_log += " idle" + std::to_string(nIdleCount);
        const bool base = CMessageLoop::RunIdleHandlers(nIdleCount);
        EXPECT_FALSE(base);
        return nIdleCount + 1 < m_nIdleRounds;
    }

    int m_nIdleRounds = 1;

private:
    std::string& m_log;
};

class CLoggingFilter final : public CMessageFilter
{
public:
    CLoggingFilter(std::string& log, std::string name, unsigned int consumes)
        : m_log(log), m_name(std::move(name)), m_consumes(consumes)
    {
    }

    bool PreTranslateMessage(LoopMessage* pMsg) override
    {
        m_log += " " + m_name;
        return pMsg->message == m_consumes;
    }

private:
    std::string& m_log;
    std::string m_name;
    unsigned int m_consumes;
};

struct RunCase
{
    const char* name;
    const char* script;
    int idleRounds;
    const char* expectedLog;
    int expectedResult;
};

class MessageLoopRun : public testing::TestWithParam<RunCase>
{
};

TEST_P(MessageLoopRun, IdlePhasesDispatchAndQuitCode)
{
    const RunCase& c = GetParam();
    std::string log;
    CScriptedQueue queue(c.script, log);
    CLoggingLoop loop(log);
    loop.m_nIdleRounds = c.idleRounds;

    const int result = loop.Run(queue);

    EXPECT_EQ(c.expectedLog, log);
    EXPECT_EQ(c.expectedResult, result);
    EXPECT_TRUE(queue.Finished());
    EXPECT_EQ(0x0012u, loop.GetCurrentMessage().message);
}

const RunCase kRunCases[] = {
    {"QuitAlreadyWaiting_NoIdleWork", "Q5", 1, "", 5},
    {"EmptyQueueAtStart_IdleOnceWithCountZero", "_ Q3", 1, " idle0", 3},
    {"QuitCodeIsTheFullInt", "_ Q2147483647", 1, " idle0", 2147483647},
    {"TimerRearmsIdleWork", "_ 113 _ Q0", 1, " idle0 t113 d113 idle0", 0},
    {"PaintAndMouseMessagesDoNotRearm", "_ 200 _ F _ A0 _ 118 _ Q0", 1,
     " idle0 t200 d200 tF dF tA0 dA0 t118 d118", 0},
    {"OneOrdinaryMessageAmongMouseMovesRearms", "_ 200 401 200 _ Q0", 1,
     " idle0 t200 d200 t401 d401 t200 d200 idle0", 0},
    {"NoIdleWorkWhileMessagesKeepComing", "_ 113 113 113 _ Q0", 1,
     " idle0 t113 d113 t113 d113 t113 d113 idle0", 0},
    {"FailedRetrievalIsSkippedAndDoesNotRearm", "_ 200 ! _ Q0", 1, " idle0 t200 d200", 0},
    {"FailedRetrievalKeepsAnArmedIdlePhase", "! _ Q1", 1, " idle0", 1},
    {"FailedRetrievalAfterOrdinaryMessageStaysArmed", "_ 401 ! _ Q4", 1, " idle0 t401 d401 idle0",
     4},
    {"IdleCountRisesWhileHandlersAskForMore", "_ _ _ 113 _ Q0", 3,
     " idle0 idle1 idle2 t113 d113 idle0", 0},
    {"IdleRoundsStopAtTheFirstMessage", "_ _ 113 _ _ _ Q0", 5,
     " idle0 idle1 t113 d113 idle0 idle1 idle2", 0},
};

INSTANTIATE_TEST_SUITE_P(Scripts, MessageLoopRun, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<RunCase>& info)
                         { return std::string(info.param.name); });

TEST(MessageLoopFilter, AskedLastToFirstSkippingNullsUntilOneConsumes)
{
    std::string log;
    CLoggingLoop loop(log);
    CLoggingFilter first(log, "f1", 0x402);
    CLoggingFilter second(log, "f2", 0x401);
    ASSERT_TRUE(loop.RegisterMessageFilter(&first));
    ASSERT_TRUE(loop.RegisterMessageFilter(nullptr));
    ASSERT_TRUE(loop.RegisterMessageFilter(&second));

    CScriptedQueue queue("_ 400 _ 401 _ 402 _ Q0", log);
    EXPECT_EQ(0, loop.Run(queue));

    // A consumed message is neither translated nor dispatched, yet it re-arms idle work.
    EXPECT_EQ(" idle0 f2 f1 t400 d400 idle0 f2 idle0 f2 f1 idle0", log);
}

TEST(MessageLoopFilter, UnregisteredFilterIsNoLongerAsked)
{
    std::string log;
    CLoggingLoop loop(log);
    CLoggingFilter filter(log, "f", 0x401);
    ASSERT_TRUE(loop.RegisterMessageFilter(&filter));
    EXPECT_TRUE(loop.UnregisterMessageFilter(&filter));
    EXPECT_FALSE(loop.UnregisterMessageFilter(&filter));

    LoopMessage msg;
    msg.message = 0x401;
    EXPECT_FALSE(loop.FilterMessage(&msg));
    EXPECT_EQ("", log);
}

// An idle handler that logs its name and then runs an optional action on the loop.
class CActionHandler final : public CIdleHandler
{
public:
    CActionHandler(std::string& log, std::string name) : m_log(log), m_name(std::move(name)) {}

    int HandleIdle() override
    {
        m_log += " " + m_name;
        if (m_action)
            m_action();
        return 1;
    }

    std::function<void()> m_action;

private:
    std::string& m_log;
    std::string m_name;
};

class IdleWalk : public testing::Test
{
protected:
    std::string log;
    CMessageLoop loop;
    CActionHandler a{log, "A"}, b{log, "B"}, c{log, "C"};

    void RegisterAll()
    {
        ASSERT_TRUE(loop.RegisterIdleHandler(&a));
        ASSERT_TRUE(loop.RegisterIdleHandler(&b));
        ASSERT_TRUE(loop.RegisterIdleHandler(&c));
    }

    std::string Round()
    {
        log.clear();
        EXPECT_FALSE(loop.RunIdleHandlers(0));
        return log;
    }
};

TEST_F(IdleWalk, CallsEveryHandlerInOrderAndIgnoresTheirAnswers)
{
    RegisterAll();
    EXPECT_EQ(" A B C", Round());
    EXPECT_EQ(" A B C", Round());
}

TEST_F(IdleWalk, HandlerUnregisteringItselfSkipsTheOneThatMovesIntoItsPlace)
{
    RegisterAll();
    a.m_action = [&] { EXPECT_TRUE(loop.UnregisterIdleHandler(&a)); };
    EXPECT_EQ(" A C", Round());
    EXPECT_EQ(" B C", Round());
}

TEST_F(IdleWalk, HandlerUnregisteringALaterOneStopsItsCall)
{
    RegisterAll();
    a.m_action = [&] { EXPECT_TRUE(loop.UnregisterIdleHandler(&c)); };
    EXPECT_EQ(" A B", Round());
}

TEST_F(IdleWalk, HandlerUnregisteringAnEarlierOneEndsTheWalkPastTheShortenedEnd)
{
    RegisterAll();
    b.m_action = [&]
    {
        b.m_action = nullptr;
        EXPECT_TRUE(loop.UnregisterIdleHandler(&a));
    };
    EXPECT_EQ(" A B", Round());
    EXPECT_EQ(" B C", Round());
}

TEST_F(IdleWalk, LastHandlerUnregisteringEveryoneEndsCleanly)
{
    RegisterAll();
    c.m_action = [&]
    {
        loop.UnregisterIdleHandler(&a);
        loop.UnregisterIdleHandler(&b);
        loop.UnregisterIdleHandler(&c);
    };
    EXPECT_EQ(" A B C", Round());
    EXPECT_EQ(0, loop.GetIdleHandlerCount());
    EXPECT_EQ("", Round());
}

TEST_F(IdleWalk, HandlerAddedDuringTheWalkRunsInTheSameRound)
{
    ASSERT_TRUE(loop.RegisterIdleHandler(&a));
    a.m_action = [&]
    {
        a.m_action = nullptr;
        loop.RegisterIdleHandler(&b);
    };
    EXPECT_EQ(" A B", Round());
}

TEST_F(IdleWalk, NullEntriesAreSkipped)
{
    ASSERT_TRUE(loop.RegisterIdleHandler(nullptr));
    ASSERT_TRUE(loop.RegisterIdleHandler(&a));
    EXPECT_EQ(" A", Round());
}

TEST_F(IdleWalk, UnregisterRemovesTheFirstOfDuplicatesAndRefusesUnknownHandlers)
{
    ASSERT_TRUE(loop.RegisterIdleHandler(&a));
    ASSERT_TRUE(loop.RegisterIdleHandler(&b));
    ASSERT_TRUE(loop.RegisterIdleHandler(&a));
    EXPECT_FALSE(loop.UnregisterIdleHandler(&c));
    EXPECT_EQ(3, loop.GetIdleHandlerCount());
    EXPECT_TRUE(loop.UnregisterIdleHandler(&a));
    EXPECT_EQ(" B A", Round());
}

TEST(MessageLoopIdleHandlers, HandlerEndingTheLoopFromHandleIdleEndsItCleanly)
{
    std::string log;
    CLoggingLoop loop(log);
    CActionHandler closer(log, "close"), other(log, "other");
    ASSERT_TRUE(loop.RegisterIdleHandler(&closer));
    ASSERT_TRUE(loop.RegisterIdleHandler(&other));
    // As a window destroyed from its idle handler does: it unregisters itself, and the quit
    // message it posts is the next one retrieved.
    closer.m_action = [&] { EXPECT_TRUE(loop.UnregisterIdleHandler(&closer)); };
    CScriptedQueue queue("_ Q0", log);
    EXPECT_EQ(0, loop.Run(queue));
    EXPECT_EQ(" idle0 close", log);
    EXPECT_EQ(1, loop.GetIdleHandlerCount());
}

TEST(MessageLoopIdleHandlers, WithoutHandlersMessagesAreStillProcessed)
{
    std::string log;
    CMessageLoop loop;
    CScriptedQueue queue("_ 113 _ 401 Q8", log);
    EXPECT_EQ(8, loop.Run(queue));
    EXPECT_EQ(" t113 d113 t401 d401", log);
}

struct CapacityCase
{
    int count;
    int capacity;
    bool allowed;
    int next;
};

class PointerArrayCapacity : public testing::TestWithParam<CapacityCase>
{
};

TEST_P(PointerArrayCapacity, DoublesTheCountWithinTheLimit)
{
    const CapacityCase& c = GetParam();
    int next = -7;
    EXPECT_EQ(c.allowed, NextPointerArrayCapacity(c.count, c.capacity, next));
    EXPECT_EQ(c.allowed ? c.next : -7, next);
}

INSTANTIATE_TEST_SUITE_P(Table, PointerArrayCapacity,
                         testing::Values(CapacityCase{0, 0, true, 1}, CapacityCase{1, 1, true, 2},
                                         CapacityCase{2, 2, true, 4}, CapacityCase{4, 4, true, 8},
                                         CapacityCase{0x0FFFFFFF, 0x0FFFFFFF, true, 0x1FFFFFFE},
                                         CapacityCase{0x10000000, 0x10000000, false, 0},
                                         CapacityCase{0x40000000, 0x40000000, false, 0},
                                         CapacityCase{0x7FFFFFFF, 0x7FFFFFFF, false, 0}));

TEST(MessageLoopGrowth, RoomFor1Then2Then4Then8)
{
    CFakeAllocator allocator;
    {
        CMessageLoop loop(allocator);
        std::string log;
        CActionHandler h(log, "h");
        const int expectedCapacity[] = {1, 2, 4, 4, 8};
        for (int expected : expectedCapacity)
        {
            ASSERT_TRUE(loop.RegisterIdleHandler(&h));
            EXPECT_EQ(expected, loop.GetIdleHandlerCapacity());
        }
        const std::size_t p = sizeof(void*);
        EXPECT_EQ((std::vector<std::size_t>{p, 2 * p, 4 * p, 8 * p}), allocator.Requests());
        EXPECT_EQ(5, loop.GetIdleHandlerCount());
    }
    EXPECT_EQ(0u, allocator.LiveBlocks());
}

TEST(MessageLoopGrowth, RemovalNeverShrinks)
{
    CFakeAllocator allocator;
    CMessageLoop loop(allocator);
    std::string log;
    CActionHandler a(log, "A"), b(log, "B"), c(log, "C");
    loop.RegisterIdleHandler(&a);
    loop.RegisterIdleHandler(&b);
    loop.RegisterIdleHandler(&c);
    const std::size_t requests = allocator.Requests().size();
    EXPECT_TRUE(loop.UnregisterIdleHandler(&b));
    EXPECT_TRUE(loop.UnregisterIdleHandler(&a));
    EXPECT_TRUE(loop.UnregisterIdleHandler(&c));
    EXPECT_EQ(0, loop.GetIdleHandlerCount());
    EXPECT_EQ(4, loop.GetIdleHandlerCapacity());
    EXPECT_EQ(requests, allocator.Requests().size());
    EXPECT_EQ(0, allocator.Frees());
}

TEST(MessageLoopGrowth, FailedReallocationRefusesTheAddAndChangesNothing)
{
    CFakeAllocator allocator;
    CMessageLoop loop(allocator);
    std::string log;
    CActionHandler a(log, "A"), b(log, "B"), c(log, "C");
    ASSERT_TRUE(loop.RegisterIdleHandler(&a));
    ASSERT_TRUE(loop.RegisterIdleHandler(&b));
    allocator.FailAll(true);
    EXPECT_FALSE(loop.RegisterIdleHandler(&c));
    EXPECT_EQ(2, loop.GetIdleHandlerCount());
    EXPECT_EQ(2, loop.GetIdleHandlerCapacity());
    EXPECT_FALSE(loop.RunIdleHandlers(0));
    EXPECT_EQ(" A B", log);

    allocator.FailAll(false);
    EXPECT_TRUE(loop.RegisterIdleHandler(&c));
    EXPECT_EQ(4, loop.GetIdleHandlerCapacity());
}

TEST(PointerArray, GrownStorageIsZeroFilledBeyondTheOldElements)
{
    CFakeAllocator allocator;
    CPointerArray<int> array(allocator);
    int x = 0, y = 0, z = 0;
    ASSERT_TRUE(array.Add(&x));
    ASSERT_TRUE(array.Add(&y));
    ASSERT_TRUE(array.Add(&z));
    ASSERT_EQ(4u * sizeof(int*), allocator.LiveSize(allocator.LastBlock()));
    int** block = static_cast<int**>(allocator.LastBlock());
    EXPECT_EQ(&x, block[0]);
    EXPECT_EQ(&y, block[1]);
    EXPECT_EQ(&z, block[2]);
    EXPECT_EQ(nullptr, block[3]);
}

} // namespace
} // namespace QV
