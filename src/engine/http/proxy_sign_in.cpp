#include "engine/http/proxy_sign_in.h"

#include "common/srw_lock.h"
#include "engine/http/internet_api.h"
#include "engine/http/internet_handle.h"

namespace QV
{

namespace
{
void Wipe(std::wstring& text) noexcept
{
    if (!text.empty())
        ::SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    text.clear();
}
} // namespace

QVProxySignIn::~QVProxySignIn()
{
    Wipe(m_strUser);
    Wipe(m_strPassword);
}

void QVProxySignIn::DetachPrompt() noexcept
{
    CSrwExclusiveLock guard(m_lock);
    m_pPrompt = nullptr;
}

void QVProxySignIn::PrepareRequest(HINTERNET request) noexcept
{
    CSrwExclusiveLock guard(m_lock);
    if (!m_rules.IsSignedIn() || m_strUser.empty() || request == nullptr)
        return;
    const InternetApi& api = GetInternetApi();
    api.InternetSetOptionW(request, INTERNET_OPTION_PROXY_USERNAME, m_strUser.data(),
                           static_cast<DWORD>(m_strUser.size()));
    api.InternetSetOptionW(request, INTERNET_OPTION_PROXY_PASSWORD, m_strPassword.data(),
                           static_cast<DWORD>(m_strPassword.size()));
}

bool QVProxySignIn::SignInAfter(HINTERNET request, uint32_t status) noexcept
{
    IProxySignInPrompt* prompt = nullptr;
    {
        CSrwExclusiveLock guard(m_lock);
        if (m_pPrompt == nullptr || request == nullptr || !m_rules.TakePrompt(status))
            return false;
        prompt = m_pPrompt;
    }
    // The prompt waits for the user; the lock is not held meanwhile, so that DetachPrompt from the
    // prompt's own thread never waits for it.
    bool confirmed = false;
    try
    {
        confirmed = prompt->AskProxyCredentials(request);
    }
    catch (...)
    {
        confirmed = false;
    }
    CSrwExclusiveLock guard(m_lock);
    if (!m_rules.OnPromptAnswered(confirmed))
        return false;
    try
    {
        if (!QueryOptionText(request, INTERNET_OPTION_PROXY_USERNAME, m_strUser) ||
            !QueryOptionText(request, INTERNET_OPTION_PROXY_PASSWORD, m_strPassword))
        {
            // The resend still carries them (they are in the request's session); only later
            // attempts go without.
            Wipe(m_strUser);
            Wipe(m_strPassword);
        }
    }
    catch (...)
    {
        Wipe(m_strUser);
        Wipe(m_strPassword);
    }
    return true;
}

} // namespace QV
