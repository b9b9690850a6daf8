#include "engine/http/internet_handle.h"

#include "engine/http/internet_api.h"

namespace QV
{

QVInternetHandle::~QVInternetHandle()
{
    QVInternetHandle::Close();
}

void QVInternetHandle::Close() noexcept
{
    HINTERNET h = m_h.exchange(nullptr, std::memory_order_acq_rel);
    if (h != nullptr)
        GetInternetApi().InternetCloseHandle(h);
}

bool QVInternetHandle::SetOption(DWORD option, DWORD value) noexcept
{
    const InternetApi& api = GetInternetApi();
    HINTERNET h = GetHandle();
    if (!api.ready || h == nullptr)
        return false;
    return api.InternetSetOptionW(h, option, &value, sizeof(value)) != FALSE;
}

void QVInternetHandle::Attach(HINTERNET h) noexcept
{
    HINTERNET old = m_h.exchange(h, std::memory_order_acq_rel);
    if (old != nullptr)
        GetInternetApi().InternetCloseHandle(old);
}

void ApplyStallTimeout(QVInternetHandle& handle, DWORD ms) noexcept
{
    static constexpr DWORD kStallOptions[] = {
        INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
        INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT};
    if (ms == 0)
        return;
    for (DWORD option : kStallOptions)
        handle.SetOption(option, ms);
}

bool QueryOptionText(HINTERNET handle, DWORD option, std::wstring& text)
{
    text.clear();
    const InternetApi& api = GetInternetApi();
    DWORD bytes = 0;
    api.InternetQueryOptionW(handle, option, nullptr, &bytes);
    if (bytes == 0)
        return false;
    text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!api.InternetQueryOptionW(handle, option, text.data(), &bytes))
    {
        // The option may be a password: nothing of a half-done read stays behind.
        ::SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
        text.clear();
        return false;
    }
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return true;
}

QVInternetSession::QVInternetSession() noexcept
{
    const InternetApi& api = GetInternetApi();
    if (api.ready)
        Attach(api.InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

QVInternetSession::~QVInternetSession() = default;

} // namespace QV
