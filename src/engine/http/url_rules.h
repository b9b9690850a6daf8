// Address rules of the HTTP client: scheme tests and the completion of an address without a
// usable scheme. Portable: no system headers.
#pragma once

#include <string>

namespace QV
{

// Whole-string equality after folding a to z to upper case; every other character compares
// exactly. Strings of different length are never equal; two empty strings are.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

// True when `scheme` is "http" (IsHttpScheme) or "https" (IsHttpsScheme), in any letter case.
bool IsHttpScheme(const std::wstring& scheme);
bool IsHttpsScheme(const std::wstring& scheme);

// True when the scheme of the whole address `url` (the text before its first colon) is https, in
// any letter case; false for any other scheme and for an address without a colon.
bool IsHttpsUrl(const std::wstring& url);

// Completes `address` for opening: the scheme is the text before the first colon anywhere in the
// address; unless it is http or https, "http://" is put in front of the whole address.
// False (outputs untouched) for a null or empty address. `isHttps` tells whether the scheme was
// https, which asks for a secure connection.
bool NormalizeUrl(const wchar_t* address, std::wstring& normalized, bool& isHttps);

} // namespace QV
