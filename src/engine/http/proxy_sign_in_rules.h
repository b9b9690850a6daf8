// When a run asks the user to sign in to a proxy: once per run, on the first 407 answer, never
// again for a later answer of the same request or of a later attempt. Portable.
#pragma once

#include <cstdint>

namespace QV
{

// HTTP status of a proxy that wants credentials.
inline constexpr uint32_t kStatusProxyAuthRequired = 407;

// The proxy sign-in state of one run. Not thread-safe: QVProxySignIn guards it.
class QVProxySignInRules
{
public:
    // True when a response of `status` is to be answered with the credential prompt: a 407 while
    // the run has not prompted yet; the prompt then counts as shown. A 407 after that (to the
    // request resent with what the user typed, or to a later attempt that sent the same) stands
    // as the answer.
    bool TakePrompt(uint32_t status) noexcept
    {
        if (status != kStatusProxyAuthRequired || m_bPrompted)
            return false;
        m_bPrompted = true;
        return true;
    }

    // Records the user's answer to the prompt; true when the request is to be resent (confirmed).
    bool OnPromptAnswered(bool confirmed) noexcept
    {
        m_bSignedIn = confirmed;
        return confirmed;
    }

    // True once the user confirmed the prompt: later requests of the run send those credentials.
    bool IsSignedIn() const noexcept { return m_bSignedIn; }

private:
    bool m_bPrompted = false;
    bool m_bSignedIn = false;
};

} // namespace QV
