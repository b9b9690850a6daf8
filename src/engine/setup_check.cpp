#include "engine/setup_check.h"

namespace QV
{

namespace
{
int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}
} // namespace

std::optional<Sha256Digest> ParseSha256(const std::wstring& text)
{
    Sha256Digest digest{};
    if (text.size() != digest.size() * 2)
        return std::nullopt;
    for (size_t i = 0; i < digest.size(); ++i)
    {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return digest;
}

SetupCheckResult CheckSetupProgram(ISetupFileProbe& probe, const SetupTrust& trust)
{
    uint8_t start[2] = {};
    uint32_t read = 0;
    if (!probe.ReadStart(start, sizeof(start), read) || read != sizeof(start) || start[0] != 'M' ||
        start[1] != 'Z')
        return SetupCheckResult::NotAProgram;

    if (!trust.sha256.empty())
    {
        const std::optional<Sha256Digest> expected = ParseSha256(trust.sha256);
        Sha256Digest actual{};
        if (!expected || !probe.ComputeSha256(actual) || actual != *expected)
            return SetupCheckResult::Refused;
    }
    if (!trust.signer.empty())
    {
        std::wstring signer;
        if (!probe.VerifySignature(signer) || signer != trust.signer)
            return SetupCheckResult::Refused;
    }
    return SetupCheckResult::Passed;
}

} // namespace QV
