// The check's facts on Windows: the first bytes and the SHA-256 (CryptoAPI) of a file read
// through a handle the caller holds, its Authenticode signer (WinVerifyTrust from wintrust.dll,
// loaded from the system folder), and what the installer's own version resource requires.
#pragma once
#ifdef _WIN32

#include "engine/setup_check.h"

#include <windows.h>

#include <string>

namespace QV
{

// What the version resource of the file at `path` requires of the setup program (its strings
// SetupSigner and SetupSHA256: the CMake cache variables QV_SETUP_SIGNER and QV_SETUP_SHA256, or
// a later stamp); both empty when it requires nothing or cannot be read.
SetupTrust ReadSetupTrust(const std::wstring& path);

// The facts of one file, read through `file` (open for reading, not owned, its position moved)
// with `path` naming the same file for the signature check.
class QVSetupFileProbe final : public ISetupFileProbe
{
public:
    QVSetupFileProbe(HANDLE file, const std::wstring& path) : m_hFile(file), m_strPath(path) {}

    // From offset 0; false when the file cannot be read.
    bool ReadStart(uint8_t* buffer, uint32_t size, uint32_t& read) override;
    // The whole file from offset 0 through CryptoAPI (advapi32); false when the provider, the
    // hash or a read fails.
    bool ComputeSha256(Sha256Digest& digest) override;
    // WinVerifyTrust, generic verify v2, without any user interface and without network access
    // (revocation is not checked; the chain must end in a root this machine already trusts);
    // the leaf signer's simple display name from the verified state. False when wintrust.dll or
    // crypt32.dll cannot be loaded from the system folder, or the signature is missing, altered
    // or not trusted.
    bool VerifySignature(std::wstring& signer) override;

private:
    bool Rewind() noexcept;

    HANDLE m_hFile;
    std::wstring m_strPath;
};

} // namespace QV

#endif // _WIN32
