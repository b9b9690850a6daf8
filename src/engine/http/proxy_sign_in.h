// Proxy sign-in for the requests of one run: the first 407 answer of the run is met with the
// system's credential prompt and the request is sent again with what the user typed; the later
// requests of the run (retries, resumed attempts) send the same credentials without asking. The
// credentials live in memory only, for the run, and are wiped when it ends.
#pragma once
#ifdef _WIN32

#include "engine/http/proxy_sign_in_rules.h"

#include <windows.h>
#include <wininet.h>

#include <string>

namespace QV
{

// Shows the system's credential prompt (InternetErrorDlg) for a request a proxy answered 407.
class IProxySignInPrompt
{
public:
    // Waits for the user's answer to the prompt for `request`; true when the user confirmed, and
    // WinINet then holds the typed credentials for the request's session. Called on a network
    // thread: an implementation carries the prompt to the thread that owns its windows and, once
    // that call returns, touches nothing of its own (it may be gone by then).
    virtual bool AskProxyCredentials(HINTERNET request) = 0;

protected:
    ~IProxySignInPrompt() = default;
};

// Shared by the run's network threads (one at a time asks, see QVProxySignInRules); the downloader
// owns it and detaches the prompt before the prompt's owner goes.
class QVProxySignIn
{
public:
    // Prompts through `prompt` (none: a 407 stands as the answer).
    explicit QVProxySignIn(IProxySignInPrompt* prompt) noexcept : m_pPrompt(prompt) {}
    // Wipes the credentials.
    ~QVProxySignIn();
    QVProxySignIn(const QVProxySignIn&) = delete;
    QVProxySignIn& operator=(const QVProxySignIn&) = delete;

    // After this, no prompt is shown: a 407 stands as the answer. Any thread.
    void DetachPrompt() noexcept;

    // Before `request` is sent: gives it the credentials confirmed earlier in the run, if any, so
    // that WinINet answers the proxy's 407 with them by itself.
    void PrepareRequest(HINTERNET request) noexcept;

    // After a response of `status` to `request`: true when it is the run's first 407 and the user
    // confirmed the prompt, so that the caller reads the answer's body to its end and sends the
    // request again; false leaves the response as the answer (not a 407, the prompt cancelled or
    // already shown in this run, no prompt attached).
    bool SignInAfter(HINTERNET request, uint32_t status) noexcept;

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    IProxySignInPrompt* m_pPrompt;
    QVProxySignInRules m_rules;
    std::wstring m_strUser;
    std::wstring m_strPassword;
};

} // namespace QV

#endif // _WIN32
