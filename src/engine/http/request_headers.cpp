#include "engine/http/request_headers.h"

#include <cstdint>
#include <iterator>

namespace QV
{

namespace
{
// The decimal digits of `value`. std::to_wstring would format through the C runtime's printf
// family, which is most of 20 KB of the exe for this one number.
std::wstring Decimal(uint64_t value)
{
    wchar_t digits[20];
    size_t count = 0;
    do
    {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(std::make_reverse_iterator(digits + count),
                        std::make_reverse_iterator(digits));
}
} // namespace

bool MakeRequestHeaders(const HttpRangeStart& start, std::wstring& headers)
{
    std::wstring text = L"Accept:*/*";
    if (start.offset != 0)
    {
        for (wchar_t c : start.ifRange)
        {
            if (c < L' ' || c == 0x7F)
                return false;
        }
        text += L"\r\nRange: bytes=" + Decimal(start.offset) + L"-";
        if (!start.ifRange.empty())
            text += L"\r\nIf-Range: " + start.ifRange;
    }
    headers.swap(text);
    return true;
}

} // namespace QV
