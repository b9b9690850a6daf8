#include "engine/resume_rules.h"

#include "engine/http/response_rules.h"

namespace QV
{

namespace
{
// A 206 or 416 to a request from an offset: whether the answer continues the file.
bool ContinuesTheFile(const TransferResume& resume, const HttpRangeStart& asked,
                      const ResponseFacts& facts)
{
    if (facts.status != 206)
        return false;
    ContentRange range;
    if (!ParseContentRange(facts.contentRange, range) || range.first != asked.offset ||
        range.total != resume.length || range.last + 1 != range.total ||
        facts.length != range.total - range.first)
        return false;
    // The version check of If-Range is the server's; a server or cache that ignores it still
    // names the version it sent, and a different one must not be joined.
    if (IsStrongEntityTag(resume.etag) && facts.etag != resume.etag)
        return false;
    if (!facts.etag.empty() && facts.etag != resume.etag)
        return false;
    if (!facts.lastModified.empty() && !resume.lastModified.empty() &&
        facts.lastModified != resume.lastModified)
        return false;
    return true;
}
} // namespace

std::wstring ResumeValidator(const TransferResume& resume)
{
    if (IsStrongEntityTag(resume.etag))
        return resume.etag;
    return resume.lastModified;
}

HttpRangeStart PlanAttempt(const TransferResume& resume)
{
    HttpRangeStart start;
    const std::wstring validator = ResumeValidator(resume);
    if (resume.written == 0 || resume.written >= resume.length || validator.empty())
        return start;
    start.offset = resume.written;
    start.ifRange = validator;
    return start;
}

ResponseUse JudgeResponse(const TransferResume& resume, const HttpRangeStart& asked,
                          const ResponseFacts& facts)
{
    if (facts.status == 200)
        return static_cast<uint32_t>(facts.length) != 0 ? ResponseUse::Whole
                                                        : ResponseUse::BadLength;
    if (asked.offset == 0 || (facts.status != 206 && facts.status != 416))
        return ResponseUse::BadStatus;
    return ContinuesTheFile(resume, asked, facts) ? ResponseUse::Continue : ResponseUse::Refused;
}

} // namespace QV
