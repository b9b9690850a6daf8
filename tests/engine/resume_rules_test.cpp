#include "engine/resume_rules.h"

#include <gtest/gtest.h>

namespace
{

const std::wstring kTag = L"\"v1\"";
const std::wstring kDate = L"Wed, 21 Oct 2015 07:28:00 GMT";

QV::TransferResume Resume(uint64_t written, std::wstring etag, std::wstring date)
{
    QV::TransferResume r;
    r.length = 10000;
    r.etag = std::move(etag);
    r.lastModified = std::move(date);
    r.written = written;
    return r;
}

struct PlanCase
{
    const char* name;
    QV::TransferResume resume;
    uint64_t offset;      // expected
    std::wstring ifRange; // expected
};

// A continuation needs bytes to continue and a validator to ask with; without either the whole
// body is asked for, plainly.
TEST(ResumeRules, PlanOfTheNextAttempt)
{
    const PlanCase cases[] = {
        {"nothing yet", QV::TransferResume(), 0, L""},
        {"bytes and a strong tag", Resume(4096, kTag, kDate), 4096, kTag},
        {"bytes and a date only", Resume(4096, L"", kDate), 4096, kDate},
        {"a weak tag gives way to the date", Resume(4096, L"W/\"v1\"", kDate), 4096, kDate},
        {"a weak tag alone", Resume(4096, L"W/\"v1\"", L""), 0, L""},
        {"no validator", Resume(4096, L"", L""), 0, L""},
        {"a validator but no bytes", Resume(0, kTag, kDate), 0, L""},
        {"complete", Resume(10000, kTag, kDate), 0, L""},
    };
    for (const PlanCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const QV::HttpRangeStart start = QV::PlanAttempt(c.resume);
        EXPECT_EQ(start.offset, c.offset);
        EXPECT_EQ(start.ifRange, c.ifRange);
    }
}

struct JudgeCase
{
    const char* name;
    QV::TransferResume resume;
    uint32_t status;
    uint64_t length;
    std::wstring contentRange, etag, lastModified;
    QV::ResponseUse use; // expected
};

TEST(ResumeRules, WhatAnAnswerMayDo)
{
    using Use = QV::ResponseUse;
    const QV::TransferResume fresh;
    const QV::TransferResume tagged = Resume(4096, kTag, kDate);
    const QV::TransferResume dated = Resume(4096, L"", kDate);
    const std::wstring range = L"bytes 4096-9999/10000";
    const JudgeCase cases[] = {
        {"whole body: 200", fresh, 200, 10000, L"", L"", L"", Use::Whole},
        {"whole body: 200 without length", fresh, 200, 0, L"", L"", L"", Use::BadLength},
        {"whole body: 200 of 4 GiB", fresh, 200, 0x100000000ull, L"", L"", L"", Use::BadLength},
        {"whole body: 206 unasked", fresh, 206, 5904, range, kTag, L"", Use::BadStatus},
        {"whole body: 416 unasked", fresh, 416, 0, L"bytes */10000", L"", L"", Use::BadStatus},
        {"whole body: 404", fresh, 404, 12, L"", L"", L"", Use::BadStatus},
        {"whole body: 503", fresh, 503, 12, L"", L"", L"", Use::BadStatus},
        {"ranged: matching 206", tagged, 206, 5904, range, kTag, kDate, Use::Continue},
        {"ranged: matching 206 without a date", tagged, 206, 5904, range, kTag, L"", Use::Continue},
        {"ranged: 206 by date", dated, 206, 5904, range, L"", kDate, Use::Continue},
        {"ranged: 206 by date without fields", dated, 206, 5904, range, L"", L"", Use::Continue},
        {"ranged: 200 starts over", tagged, 200, 10000, L"", L"\"v2\"", L"", Use::Whole},
        {"ranged: 200 without length", tagged, 200, 0, L"", L"", L"", Use::BadLength},
        {"ranged: 416", tagged, 416, 0, L"bytes */10000", L"", L"", Use::Refused},
        {"ranged: starts elsewhere", tagged, 206, 10000, L"bytes 0-9999/10000", kTag, L"",
         Use::Refused},
        {"ranged: another total", tagged, 206, 5905, L"bytes 4096-10000/10001", kTag, L"",
         Use::Refused},
        {"ranged: ends early", tagged, 206, 904, L"bytes 4096-4999/10000", kTag, L"", Use::Refused},
        {"ranged: length and range disagree", tagged, 206, 6000, range, kTag, L"", Use::Refused},
        {"ranged: unreadable range", tagged, 206, 5904, L"bytes 4096-/10000", kTag, L"",
         Use::Refused},
        {"ranged: another tag", tagged, 206, 5904, range, L"\"v2\"", kDate, Use::Refused},
        {"ranged: no tag although asked with one", tagged, 206, 5904, range, L"", kDate,
         Use::Refused},
        {"ranged: weak form of the tag", tagged, 206, 5904, range, L"W/\"v1\"", kDate,
         Use::Refused},
        {"ranged by date: another date", dated, 206, 5904, range, L"",
         L"Thu, 22 Oct 2015 07:28:00 GMT", Use::Refused},
        {"ranged by date: a tag appeared", dated, 206, 5904, range, kTag, kDate, Use::Refused},
        {"ranged: 503", tagged, 503, 12, L"", L"", L"", Use::BadStatus},
        {"ranged: 404", tagged, 404, 12, L"", L"", L"", Use::BadStatus},
    };
    for (const JudgeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        QV::ResponseFacts facts;
        facts.status = c.status;
        facts.length = c.length;
        facts.contentRange = c.contentRange;
        facts.etag = c.etag;
        facts.lastModified = c.lastModified;
        EXPECT_EQ(static_cast<int>(QV::JudgeResponse(c.resume, QV::PlanAttempt(c.resume), facts)),
                  static_cast<int>(c.use));
    }
}

} // namespace
