// The run's proxy sign-in rules: one prompt per run, on the first 407 only.
#include "engine/http/proxy_sign_in_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{

using QV::QVProxySignInRules;

struct Answer
{
    uint32_t status;
    bool prompted;  // TakePrompt's answer
    bool confirmed; // the user's answer when prompted
    bool signedIn;  // IsSignedIn afterwards
};

struct SignInCase
{
    const char* name;
    std::vector<Answer> answers; // the responses of one run, in order
};

TEST(ProxySignInRules, OnePromptPerRunOnTheFirst407)
{
    const SignInCase cases[] = {
        {"no proxy sign-in asked", {{200, false, false, false}, {206, false, false, false}}},
        {"a server's 401 is not the proxy's",
         {{401, false, false, false}, {403, false, false, false}}},
        {"407, confirmed, then the resent request passes",
         {{407, true, true, true}, {200, false, false, true}}},
        {"407, confirmed, wrong credentials: the second 407 stands",
         {{407, true, true, true}, {407, false, false, true}}},
        {"407, cancelled: no second prompt for a later attempt",
         {{407, true, false, false}, {407, false, false, false}}},
        {"later attempts after a sign-in never ask again",
         {{407, true, true, true},
          {206, false, false, true},
          {407, false, false, true},
          {407, false, false, true}}},
        {"the first 407 after good answers still prompts",
         {{200, false, false, false}, {503, false, false, false}, {407, true, true, true}}},
    };
    for (const SignInCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        QVProxySignInRules rules;
        EXPECT_FALSE(rules.IsSignedIn());
        for (const Answer& a : c.answers)
        {
            SCOPED_TRACE(a.status);
            ASSERT_EQ(rules.TakePrompt(a.status), a.prompted);
            if (a.prompted)
                EXPECT_EQ(rules.OnPromptAnswered(a.confirmed), a.confirmed);
            EXPECT_EQ(rules.IsSignedIn(), a.signedIn);
        }
    }
}

} // namespace
