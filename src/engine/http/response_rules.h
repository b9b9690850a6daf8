// Reading the response header fields that resuming and retrying a download depend on:
// Content-Range, entity tags, HTTP dates and Retry-After. Portable: no system headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace QV
{

// A satisfied byte range: bytes `first` to `last` (inclusive) of a whole of `total` bytes.
struct ContentRange
{
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
};

// Reads "bytes FIRST-LAST/TOTAL" (the unit in any letter case, blanks around the parts allowed).
// False (`range` untouched) for anything else, an unknown total ("*"), an unsatisfied range
// ("*/TOTAL"), LAST before FIRST, or LAST not inside TOTAL.
bool ParseContentRange(const std::wstring& text, ContentRange& range);

// True for a strong entity tag: a quoted string ("...") without the weak prefix W/. Only a strong
// tag may go into If-Range.
bool IsStrongEntityTag(const std::wstring& tag);

// Reads an HTTP date in any of its three forms (IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", the
// obsolete RFC 850 "Sunday, 06-Nov-94 08:49:37 GMT" and asctime "Sun Nov  6 08:49:37 1994") into
// seconds since 1970-01-01 00:00:00 UTC. Two-digit years below 70 are 20xx. False (`seconds`
// untouched) for anything else, including impossible days and times.
bool ParseHttpDate(const std::wstring& text, int64_t& seconds);

// The wait a Retry-After value asks for, in ms: a number of seconds, or an HTTP date measured
// against `date`, the same response's Date field (so that a wrong clock on this computer does not
// matter); a date in the past is 0. Empty when the value is neither, or when it is a date and
// `date` is not one. Values beyond the 32-bit range of ms are held at its top.
std::optional<uint32_t> ParseRetryAfter(const std::wstring& value, const std::wstring& date);

} // namespace QV
