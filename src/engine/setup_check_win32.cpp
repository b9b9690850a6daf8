#include "engine/setup_check_win32.h"

#include "common/system_library.h"
#include "common/win_handle.h"
#include "config/file_version_info.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>

namespace QV
{

namespace
{
constexpr DWORD kHashReadSize = 64 * 1024;

using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFromStateDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFromChainFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL,
                                                            DWORD);
using CertGetNameStringWFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

// The leaf signer's simple display name from a verified state; empty when it cannot be read.
std::wstring LeafSignerName(HANDLE state, const CSystemLibrary& wintrust,
                            const CSystemLibrary& crypt32)
{
    auto provData = wintrust.Get<ProvDataFromStateDataFn>("WTHelperProvDataFromStateData");
    auto provSigner = wintrust.Get<ProvSignerFromChainFn>("WTHelperGetProvSignerFromChain");
    auto getName = crypt32.Get<CertGetNameStringWFn>("CertGetNameStringW");
    if (provData == nullptr || provSigner == nullptr || getName == nullptr || state == nullptr)
        return std::wstring();
    CRYPT_PROVIDER_DATA* data = provData(state);
    CRYPT_PROVIDER_SGNR* signer = data != nullptr ? provSigner(data, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
        signer->pasCertChain[0].pCert == nullptr)
        return std::wstring();
    PCCERT_CONTEXT leaf = signer->pasCertChain[0].pCert;
    const DWORD size = getName(leaf, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (size <= 1)
        return std::wstring();
    std::wstring name(size, L'\0');
    const DWORD written =
        getName(leaf, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), size);
    name.resize(written > 0 ? written - 1 : 0);
    return name;
}
} // namespace

SetupTrust ReadSetupTrust(const std::wstring& path)
{
    QVFileVersionInfo versionInfo;
    SetupTrust trust;
    if (versionInfo.Load(path))
    {
        trust.signer = versionInfo.GetSetupSigner();
        trust.sha256 = versionInfo.GetSetupSha256();
    }
    return trust;
}

bool QVSetupFileProbe::Rewind() noexcept
{
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(m_hFile, start, nullptr, FILE_BEGIN) != FALSE;
}

bool QVSetupFileProbe::ReadStart(uint8_t* buffer, uint32_t size, uint32_t& read)
{
    read = 0;
    if (!Rewind())
        return false;
    while (read < size)
    {
        DWORD n = 0;
        if (!::ReadFile(m_hFile, buffer + read, size - read, &n, nullptr))
            return false;
        if (n == 0)
            break;
        read += n;
    }
    return true;
}

bool QVSetupFileProbe::ComputeSha256(Sha256Digest& digest)
{
    HCRYPTPROV rawProvider = 0;
    if (!::CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    CCryptProvider provider(rawProvider);
    HCRYPTHASH rawHash = 0;
    if (!::CryptCreateHash(provider.Get(), CALG_SHA_256, 0, 0, &rawHash))
        return false;
    CCryptHash hash(rawHash);
    if (!Rewind())
        return false;
    auto buffer = std::make_unique<BYTE[]>(kHashReadSize);
    for (;;)
    {
        DWORD n = 0;
        if (!::ReadFile(m_hFile, buffer.get(), kHashReadSize, &n, nullptr))
            return false;
        if (n == 0)
            break;
        if (!::CryptHashData(hash.Get(), buffer.get(), n, 0))
            return false;
    }
    DWORD length = static_cast<DWORD>(digest.size());
    return ::CryptGetHashParam(hash.Get(), HP_HASHVAL, digest.data(), &length, 0) &&
           length == digest.size();
}

bool QVSetupFileProbe::VerifySignature(std::wstring& signer)
{
    signer.clear();
    // Neither is a KnownDLL everywhere: by bare name a copy beside the installer could be loaded.
    CSystemLibrary wintrust(L"wintrust.dll");
    CSystemLibrary crypt32(L"crypt32.dll");
    auto verify = wintrust.Get<WinVerifyTrustFn>("WinVerifyTrust");
    if (verify == nullptr || !crypt32.IsLoaded() || !Rewind())
        return false;

    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = m_strPath.c_str();
    file.hFile = m_hFile;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    // No network: revocation and URL retrieval could wait on unreachable servers for minutes.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG result = verify(noWindow, &action, &data);
    try
    {
        if (result == ERROR_SUCCESS)
            signer = LeafSignerName(data.hWVTStateData, wintrust, crypt32);
    }
    catch (...)
    {
        signer.clear();
    }
    // The state is released on every path, also when the verification failed.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(noWindow, &action, &data);
    return result == ERROR_SUCCESS && !signer.empty();
}

} // namespace QV
