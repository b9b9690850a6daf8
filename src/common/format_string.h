// The system's one wide-string formatter.
#pragma once

#include <cstdarg>
#include <string>

namespace QV
{

// Formats `format` and its arguments by the wide printf rules (as vswprintf does) into `out`.
// Use %ls for wide-string arguments: it means the same on every runtime.
// A null or empty format leaves `out` as it was. An invalid format, or a text that still does not
// fit after 1024 doublings of the buffer, leaves `out` empty. The first attempt uses a
// 1024-character buffer on the stack, so short texts allocate only for `out` itself.
// Throws std::bad_alloc when a large enough buffer cannot be had.
void FormatString(std::wstring& out, const wchar_t* format, ...);

// The same with an argument list that the caller has started (and ends).
void FormatStringV(std::wstring& out, const wchar_t* format, va_list args);

} // namespace QV
