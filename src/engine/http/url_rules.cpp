#include "engine/http/url_rules.h"

namespace QV
{

namespace
{
wchar_t FoldUpper(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}
} // namespace

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (FoldUpper(a[i]) != FoldUpper(b[i]))
            return false;
    }
    return true;
}

bool IsHttpScheme(const std::wstring& scheme)
{
    return EqualsNoCase(scheme, L"http");
}

bool IsHttpsScheme(const std::wstring& scheme)
{
    return EqualsNoCase(scheme, L"https");
}

bool IsHttpsUrl(const std::wstring& url)
{
    const size_t colon = url.find(L':');
    return colon != std::wstring::npos && IsHttpsScheme(url.substr(0, colon));
}

bool NormalizeUrl(const wchar_t* address, std::wstring& normalized, bool& isHttps)
{
    if (address == nullptr)
        return false;
    std::wstring text(address);
    if (text.empty())
        return false;
    size_t colon = text.find(L':');
    std::wstring scheme = colon == std::wstring::npos ? std::wstring() : text.substr(0, colon);
    bool https = IsHttpsScheme(scheme);
    if (!https && !IsHttpScheme(scheme))
        text.insert(0, L"http://");
    normalized.swap(text);
    isHttps = https;
    return true;
}

} // namespace QV
