// Whether a downloaded setup program may run: the decisions of the check between the download
// and the launch. Portable: the file's facts (its first bytes, its SHA-256, its Authenticode
// signer) come in through a port, read from the handle that keeps the file locked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace QV
{

// A SHA-256 digest.
using Sha256Digest = std::array<uint8_t, 32>;

// What the build (or a later stamp) requires of the setup program; an empty text requires
// nothing.
struct SetupTrust
{
    // The exact name of the leaf certificate that must have signed it (as Windows shows the
    // signer: the certificate's simple display name).
    std::wstring signer;
    // Its SHA-256 as 64 hexadecimal digits (either case).
    std::wstring sha256;
};

// The outcome of the check.
enum class SetupCheckResult
{
    Passed,      // it may run
    NotAProgram, // the body is no Windows program (an HTML page answered with 200, say)
    Refused      // a required signer or hash does not hold (or could not be checked)
};

// The facts of the file, as the check needs them.
class ISetupFileProbe
{
public:
    // Reads up to `size` bytes from the start of the file into `buffer`, the count in `read`;
    // false when the file cannot be read.
    virtual bool ReadStart(uint8_t* buffer, uint32_t size, uint32_t& read) = 0;
    // The SHA-256 of the whole file; false when it cannot be computed.
    virtual bool ComputeSha256(Sha256Digest& digest) = 0;
    // True when the file carries a valid Authenticode signature, with the leaf signer's name in
    // `signer`; false for an unsigned or altered file or one whose signature cannot be checked.
    virtual bool VerifySignature(std::wstring& signer) = 0;

protected:
    ~ISetupFileProbe() = default;
};

// The digest that 64 hexadecimal digits (either case, nothing else) spell; nothing otherwise.
std::optional<Sha256Digest> ParseSha256(const std::wstring& text);

// Checks the file behind `probe` against `trust`: its start must be "MZ" (else NotAProgram),
// then a set hash must equal it and a set signer must have signed it (else Refused; a hash text
// that is not 64 hexadecimal digits never holds). Computes a hash or a signature only when it is
// required.
SetupCheckResult CheckSetupProgram(ISetupFileProbe& probe, const SetupTrust& trust);

} // namespace QV
