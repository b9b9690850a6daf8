#include "engine/http/request_headers.h"

namespace QV
{

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
        text += L"\r\nRange: bytes=" + std::to_wstring(start.offset) + L"-";
        if (!start.ifRange.empty())
            text += L"\r\nIf-Range: " + start.ifRange;
    }
    headers.swap(text);
    return true;
}

} // namespace QV
