#include "engine/retry_policy.h"

#include "common/user_texts.h"

#include <gtest/gtest.h>

namespace
{

using End = QV::TransferEnd;
using Step = QV::RetryStep;

struct StepCase
{
    const char* name;
    End end;
    uint32_t status;
    Step step; // expected after attempts 1 to 4; the fifth always stops
};

TEST(RetryPolicy, WhatIsTriedAgain)
{
    const StepCase cases[] = {
        {"failed connect or send, or no headers in time", End::NoResponse, 0, Step::RetryAfterWait},
        {"connection refused as unsafe", End::Refused, 0, Step::Stop},
        {"stall or lost connection during the body", End::ReadFailed, 0, Step::RetryAfterWait},
        {"body cut short", End::CutShort, 0, Step::RetryAfterWait},
        {"500", End::BadStatus, 500, Step::RetryAfterWait},
        {"503", End::BadStatus, 503, Step::RetryAfterWait},
        {"599", End::BadStatus, 599, Step::RetryAfterWait},
        {"408", End::BadStatus, 408, Step::RetryAfterWait},
        {"429", End::BadStatus, 429, Step::RetryAfterWait},
        {"range refused", End::RangeRefused, 416, Step::RetryAtOnce},
        {"400", End::BadStatus, 400, Step::Stop},
        {"401", End::BadStatus, 401, Step::Stop},
        {"407 (the proxy sign-in has had its say)", End::BadStatus, 407, Step::Stop},
        {"403", End::BadStatus, 403, Step::Stop},
        {"404", End::BadStatus, 404, Step::Stop},
        {"410", End::BadStatus, 410, Step::Stop},
        {"416 to a whole request", End::BadStatus, 416, Step::Stop},
        {"206 to a whole request", End::BadStatus, 206, Step::Stop},
        {"304", End::BadStatus, 304, Step::Stop},
        {"600", End::BadStatus, 600, Step::Stop},
        {"no status", End::BadStatus, 0, Step::Stop},
        {"200 without length, or a body too long", End::BadResponse, 200, Step::Stop},
        {"local file", End::WriteFailed, 0, Step::Stop},
        {"cancelled", End::Cancelled, 0, Step::Stop},
        {"aborted", End::Aborted, 0, Step::Stop},
        {"complete", End::Complete, 200, Step::Stop},
    };
    for (const StepCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        QV::TransferOutcome outcome;
        outcome.end = c.end;
        outcome.status = c.status;
        for (uint32_t attempts = 1; attempts < QV::kMaxDownloadAttempts; ++attempts)
            EXPECT_EQ(static_cast<int>(QV::NextRetryStep(outcome, attempts)),
                      static_cast<int>(c.step))
                << "after attempt " << attempts;
        EXPECT_EQ(static_cast<int>(QV::NextRetryStep(outcome, QV::kMaxDownloadAttempts)),
                  static_cast<int>(Step::Stop));
        EXPECT_EQ(static_cast<int>(QV::NextRetryStep(outcome, QV::kMaxDownloadAttempts + 1)),
                  static_cast<int>(Step::Stop));
    }
    EXPECT_EQ(QV::kMaxDownloadAttempts, 5u);
}

struct WaitCase
{
    const char* name;
    uint32_t attempts;
    std::optional<uint32_t> retryAfterMs;
    uint32_t jitter;
    uint32_t ms; // expected
};

TEST(RetryPolicy, Waits)
{
    const WaitCase cases[] = {
        {"after attempt 1, no jitter", 1, std::nullopt, 0, 1000},
        {"after attempt 2, no jitter", 2, std::nullopt, 0, 2000},
        {"after attempt 3, no jitter", 3, std::nullopt, 0, 4000},
        {"after attempt 4, no jitter", 4, std::nullopt, 0, 8000},
        {"half the jitter", 1, std::nullopt, 16384, 1125},
        {"most jitter", 1, std::nullopt, 32767, 1249},
        {"most jitter after attempt 4", 4, std::nullopt, 32767, 9999},
        {"jitter above 15 bits is ignored", 2, std::nullopt, 0x1C000, 2250},
        {"beyond the schedule the cap holds", 8, std::nullopt, 32767, 60000},
        {"far beyond", 40, std::nullopt, 0, 60000},
        {"Retry-After, without jitter", 1, 2000, 32767, 2000},
        {"Retry-After 0", 3, 0, 32767, 0},
        {"Retry-After at the cap", 1, 60000, 0, 60000},
        {"Retry-After beyond the cap", 1, 3600000, 0, 60000},
    };
    for (const WaitCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QV::RetryWaitMs(c.attempts, c.retryAfterMs, c.jitter), c.ms);
    }
}

TEST(RetryPolicy, StatusTextNumbersTheRetries)
{
    EXPECT_EQ(QV::RetryStatusText(1), L"网络连接中断，正在重试（第1次，共4次）...");
    EXPECT_EQ(QV::RetryStatusText(2), L"网络连接中断，正在重试（第2次，共4次）...");
    EXPECT_EQ(QV::RetryStatusText(4), L"网络连接中断，正在重试（第4次，共4次）...");
}

} // namespace
