#include "engine/http/http_file.h"

#include "engine/http/internet_api.h"
#include "engine/http/url_rules.h"

namespace QV
{

namespace
{
std::wstring Part(const wchar_t* text, DWORD length)
{
    return text != nullptr ? std::wstring(text, length) : std::wstring();
}

// True when the response of the sent `request` came from an https address. The request's address
// is the one it ended at after any redirects; an address that cannot be read counts as not https.
bool AnsweredOverHttps(HINTERNET request)
{
    std::wstring url;
    return QueryOptionText(request, INTERNET_OPTION_URL, url) && IsHttpsUrl(url);
}

// Reads what is left of the body of `request` and drops it, so that the request can be sent again
// on its connection; a body longer than a proxy's error page is left unread.
void DrainBody(HINTERNET request) noexcept
{
    char buffer[kTransferBlockSize];
    DWORD read = 0;
    for (int blocks = 0; blocks < 64; ++blocks)
    {
        if (!ReadInternetBlock(request, buffer, read) || read == 0)
            return;
    }
}
} // namespace

QVHttpFile::~QVHttpFile()
{
    QVHttpFile::Close();
}

void QVHttpFile::Close() noexcept
{
    QVInternetHandle::Close();
    m_connection.Close();
}

bool QVHttpFile::Open(HINTERNET session, const std::wstring& address, const HttpRangeStart& start)
{
    Close();
    std::wstring headers;
    if (!MakeRequestHeaders(start, headers))
        return false;

    const InternetApi& api = GetInternetApi();
    std::wstring url;
    bool isHttps = false;
    if (!api.ready || GetHandle() != nullptr || session == nullptr ||
        !NormalizeUrl(address.c_str(), url, isHttps))
        return false;
    // RELOAD only skips reading the cache; without NO_CACHE_WRITE every download would also leave
    // a full copy of the setup program in the user's WinINet cache.
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
    if (isHttps)
        flags |= INTERNET_FLAG_SECURE;

    // Connection, request and send are separate steps so that the request's time-outs are in
    // force before anything waits on the network, and so that the request handle exists (and can
    // be closed by another thread) while the request is under way.
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    parts.dwUserNameLength = 1;
    parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!api.InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return false;
    std::wstring host = Part(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring user = Part(parts.lpszUserName, parts.dwUserNameLength);
    std::wstring password = Part(parts.lpszPassword, parts.dwPasswordLength);
    std::wstring object = Part(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          Part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty() || object[0] != L'/')
        object.insert(0, L"/");

    m_connection.Close();
    HINTERNET connection = api.InternetConnectW(
        session, host.c_str(), parts.nPort, user.empty() ? nullptr : user.c_str(),
        password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0);
    if (connection == nullptr)
        return false;
    m_connection.Attach(connection);

    Attach(api.HttpOpenRequestW(connection, L"GET", object.c_str(), nullptr, nullptr, nullptr,
                                flags, 0));
    HINTERNET request = GetHandle();
    if (request == nullptr)
    {
        Close();
        return false;
    }
    // WinINet applies a request's send and receive time-outs when it sends it; Wine applies them
    // only from there, not from the session, nor when set after the request has been sent.
    ApplyStallTimeout(*this, m_dwStallTimeout);
    if (m_pSignIn != nullptr)
        m_pSignIn->PrepareRequest(request);
    if (!api.HttpSendRequestW(request, headers.c_str(), static_cast<DWORD>(headers.size()), nullptr,
                              0))
        return CloseKeepingError();
    // The sign-in says yes once per run at most, so this sends the request a second time at most.
    DWORD status = 0;
    while (m_pSignIn != nullptr && QueryStatusCode(status) &&
           m_pSignIn->SignInAfter(request, status))
    {
        DrainBody(request);
        if (!api.HttpSendRequestW(request, headers.c_str(), static_cast<DWORD>(headers.size()),
                                  nullptr, 0))
            return CloseKeepingError();
    }
    // A secure request must also be answered securely. Windows refuses a redirect from https to
    // plain http unless told to allow it; Wine's WinINet follows it without a word, and anyone on
    // the network path would then choose the body.
    if (isHttps && !AnsweredOverHttps(request))
    {
        Close();
        ::SetLastError(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
        return false;
    }
    return true;
}

bool QVHttpFile::CloseKeepingError() noexcept
{
    const DWORD error = ::GetLastError();
    Close();
    ::SetLastError(error);
    return false;
}

bool QVHttpFile::QueryStatusCode(DWORD& code) noexcept
{
    HINTERNET request = GetHandle();
    if (request == nullptr)
        return false;
    DWORD value = 0;
    DWORD length = sizeof(value);
    if (!GetInternetApi().HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                         &value, &length, nullptr))
        return false;
    code = value;
    return true;
}

bool QVHttpFile::HasErrorStatus() noexcept
{
    DWORD code = 0;
    return !QueryStatusCode(code) || code != 200;
}

uint64_t QVHttpFile::GetContentLength() noexcept
{
    HINTERNET request = GetHandle();
    if (request == nullptr)
        return 0;
    DWORD value = 0;
    DWORD length = sizeof(value);
    if (!GetInternetApi().HttpQueryInfoW(
            request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &length, nullptr))
        return 0;
    return value;
}

std::wstring QVHttpFile::QueryHeader(ResponseHeader header)
{
    HINTERNET request = GetHandle();
    if (request == nullptr)
        return std::wstring();
    DWORD level = 0;
    switch (header)
    {
    case ResponseHeader::ContentRange:
        level = HTTP_QUERY_CONTENT_RANGE;
        break;
    case ResponseHeader::ETag:
        level = HTTP_QUERY_ETAG;
        break;
    case ResponseHeader::LastModified:
        level = HTTP_QUERY_LAST_MODIFIED;
        break;
    case ResponseHeader::RetryAfter:
        level = HTTP_QUERY_RETRY_AFTER;
        break;
    case ResponseHeader::Date:
        level = HTTP_QUERY_DATE;
        break;
    }
    const InternetApi& api = GetInternetApi();
    // Header values are short; one larger try covers an unusually long one.
    std::wstring value(128, L'\0');
    for (int tries = 0; tries < 2; ++tries)
    {
        DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (api.HttpQueryInfoW(request, level, value.data(), &bytes, nullptr))
        {
            value.resize(bytes / sizeof(wchar_t));
            return value;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        value.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    }
    return std::wstring();
}

int32_t QVHttpFile::ReadChunk(void* buffer) noexcept
{
    HINTERNET request = GetHandle();
    if (request == nullptr)
        return -1;
    DWORD read = 0;
    if (!ReadInternetBlock(request, buffer, read) || read > kTransferBlockSize)
        return -1;
    return static_cast<int32_t>(read);
}

bool ReadInternetBlock(HINTERNET request, void* buffer, DWORD& read) noexcept
{
    try
    {
        return GetInternetApi().InternetReadFile(request, buffer, kTransferBlockSize, &read) !=
               FALSE;
    }
    catch (...)
    {
        return false;
    }
}

} // namespace QV
