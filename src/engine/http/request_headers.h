// The header text of the HTTP client's GET, whole or from a byte offset. Portable: no system
// headers.
#pragma once

#include <cstdint>
#include <string>

namespace QV
{

// Where the body of a response should begin.
struct HttpRangeStart
{
    uint64_t offset = 0;  // first byte wanted; 0: the whole body
    std::wstring ifRange; // validator for If-Range (an entity tag or an HTTP date); empty: none
};

// The headers of a GET beginning at `start`: exactly "Accept:*/*" for the whole body (a validator
// is then ignored); from a non-zero offset N also the lines "Range: bytes=N-" and, when a validator
// is given, "If-Range: " and the validator. False (`headers` untouched) when the validator holds a
// control character, which would end the header line early.
bool MakeRequestHeaders(const HttpRangeStart& start, std::wstring& headers);

} // namespace QV
