// Trust in a throw-away test root CA for the HTTPS tests: the certificate goes into the
// LocalMachine Root store of the running Windows, which under Wine is the private prefix's
// registry (HKLM\Software\Microsoft\SystemCertificates\Root\Certificates), never the host's
// trust store. Wine's WinINet trusts a server chain that ends in a root of that store.
#pragma once
#ifdef _WIN32

#include "common/win_handle.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace QV::Test
{

// Owners of a certificate store and of a certificate context.
struct CertStoreTraits
{
    using Handle = HCERTSTORE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CertCloseStore(h, 0); }
};

struct CertContextTraits
{
    using Handle = PCCERT_CONTEXT;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CertFreeCertificateContext(h); }
};

using CCertStore = CHandleOwner<CertStoreTraits>;
using CCertContext = CHandleOwner<CertContextTraits>;

// The DER bytes of the file at `path`; empty when it cannot be read.
inline std::vector<BYTE> ReadDerFile(const std::wstring& path)
{
    std::vector<BYTE> data;
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!file)
        return data;
    BYTE buffer[4096];
    DWORD n = 0;
    while (::ReadFile(file.Get(), buffer, sizeof(buffer), &n, nullptr) && n > 0)
        data.insert(data.end(), buffer, buffer + n);
    return data;
}

// The certificate decoded from the DER bytes of `der`; an empty owner when they do not decode.
inline CCertContext DecodeCertificate(const std::vector<BYTE>& der)
{
    return CCertContext(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                       static_cast<DWORD>(der.size())));
}

// The LocalMachine Root store, opened anew (it reads the registry as it is now); an empty owner
// when it cannot be opened.
inline CCertStore OpenMachineRoot()
{
    return CCertStore(
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
}

// True when a fresh look at the LocalMachine Root store finds `cert`; false also when the store
// cannot be opened.
inline bool IsMachineRoot(PCCERT_CONTEXT cert)
{
    CCertStore root = OpenMachineRoot();
    if (!root)
        return false;
    CCertContext found(::CertFindCertificateInStore(root.Get(), X509_ASN_ENCODING, 0,
                                                    CERT_FIND_EXISTING, cert, nullptr));
    return static_cast<bool>(found);
}

// Adds the DER certificate at `derPath` to the LocalMachine Root store (`trust` true) or deletes
// it from there (false). True when a fresh look at the store then finds it as asked; a
// certificate that cannot be read or decoded, or a store that cannot be opened, answers false.
inline bool SetRootTrusted(const std::wstring& derPath, bool trust)
{
    const std::vector<BYTE> der = ReadDerFile(derPath);
    CCertContext cert = der.empty() ? CCertContext() : DecodeCertificate(der);
    if (!cert)
        return false;
    {
        CCertStore root = OpenMachineRoot();
        if (!root)
            return false;
        if (trust)
        {
            ::CertAddCertificateContextToStore(root.Get(), cert.Get(),
                                               CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        }
        else if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(
                     root.Get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert.Get(), nullptr))
        {
            // The deletion frees `found` whatever its outcome. Wine's registry store only
            // records it and writes it out when the store is freed, which a reference that
            // Wine's system store keeps prevents: the commit writes it out now.
            ::CertDeleteCertificateFromStore(found);
            ::CertControlStore(root.Get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
        }
    }
    return IsMachineRoot(cert.Get()) == trust;
}

// Trusts the root certificate at `derPath` for its own lifetime and removes it again on
// destruction. IsTrusted() is false when adding it failed (nothing is removed then).
class CTrustedTestRoot
{
public:
    explicit CTrustedTestRoot(std::wstring derPath)
        : m_strPath(std::move(derPath)), m_bTrusted(SetRootTrusted(m_strPath, true))
    {
    }
    ~CTrustedTestRoot()
    {
        if (m_bTrusted)
            SetRootTrusted(m_strPath, false);
    }
    CTrustedTestRoot(const CTrustedTestRoot&) = delete;
    CTrustedTestRoot& operator=(const CTrustedTestRoot&) = delete;

    // True when the root was added (and is removed again on destruction).
    bool IsTrusted() const noexcept { return m_bTrusted; }

private:
    std::wstring m_strPath;
    bool m_bTrusted;
};

} // namespace QV::Test

#endif // _WIN32
