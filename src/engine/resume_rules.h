// How one attempt of a download continues the local file that earlier attempts left: which range
// it asks for and whether the answer may be joined to the bytes already there. Portable.
//
// The rule that matters: bytes of two different versions of the setup program are never joined.
// A resume asks with If-Range (the first answer's strong entity tag, else its Last-Modified date),
// and an answer continues the file only when it is a 206 for exactly the bytes asked for, of a
// whole of the same length, carrying the same validator. Anything else starts the file over.
#pragma once

#include "engine/http/request_headers.h"

#include <cstdint>
#include <string>

namespace QV
{

// The version of the setup program that the local file holds, carried from one attempt of a
// download to the next. Default: nothing accepted yet, the file empty.
struct TransferResume
{
    uint64_t length = 0;       // Content-Length of the whole answer the file comes from
    std::wstring etag;         // that answer's ETag as sent; empty when it had none
    std::wstring lastModified; // its Last-Modified as sent; empty when it had none
    uint64_t written = 0;      // bytes of that answer the file holds, from its first byte
};

// The If-Range value for `resume`: its strong entity tag, else its Last-Modified date, else
// empty (a weak tag may not be used).
std::wstring ResumeValidator(const TransferResume& resume);

// Where the next attempt asks to begin: after the bytes written when there are some and a
// validator to ask with, else the whole body (offset 0, no validator).
HttpRangeStart PlanAttempt(const TransferResume& resume);

// What an attempt saw of an answer before its body.
struct ResponseFacts
{
    uint32_t status = 0;
    uint64_t length = 0; // Content-Length; 0 when missing or unreadable
    std::wstring contentRange;
    std::wstring etag;
    std::wstring lastModified;
};

// What to do with an answer.
enum class ResponseUse
{
    Whole,     // a 200 with a usable length: the file starts over with this version
    Continue,  // a 206 that continues the file exactly where it ends
    Refused,   // the answer to a ranged request cannot continue the file: start over
    BadStatus, // a status this download cannot use (the retry policy reads the code)
    BadLength, // a 200 whose length is missing, 0, or a multiple of 4 GiB
};

// Judges the answer `facts` to a request that asked for `asked` (from PlanAttempt(resume)).
// A 206 continues only when asked from an offset, its Content-Range starts at that offset and
// ends at the last byte of a whole equal to resume.length, its Content-Length matches, it carries
// the strong entity tag that was asked with (when that was the validator), and no entity tag or
// Last-Modified date of its own that differs from the file's. A 416 or a 206 that fails those
// checks is Refused when asked from an offset and BadStatus for a whole-body request.
ResponseUse JudgeResponse(const TransferResume& resume, const HttpRangeStart& asked,
                          const ResponseFacts& facts);

} // namespace QV
