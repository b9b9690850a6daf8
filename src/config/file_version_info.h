// Reader of a file's version resource: fixed information and the strings of VersionStringKey (the
// twelve standard ones and the installer's own two) of one string table chosen by language. The
// installer reads its download address (PrivateBuild) and what it requires of the setup program
// (SetupSigner, SetupSHA256) here.
#pragma once
#ifdef _WIN32

#include <windows.h>
#include <winver.h>

#include <string>

#include "config/version_string_key.h"

namespace QV
{

class QVFileVersionInfo
{
public:
    // Where the reader learns the user's default language; the default asks
    // GetUserDefaultLangID.
    using UserLanguageSource = LANGID (*)();

    // Empty: fixed block zero, every string empty. The user language comes from the system.
    QVFileVersionInfo();
    // Empty, as above, with the user language taken from `userLanguage` at each Load (a null
    // source means the system's).
    explicit QVFileVersionInfo(UserLanguageSource userLanguage);
    virtual ~QVFileVersionInfo();

    // Reads the version resource of the file at `path` (version.dll from the system folder only,
    // loaded for the call). True when the resource was read, even if some or all strings are
    // missing. Starts with Reset, so a failed load (no resource, unreadable file, version.dll
    // unavailable) leaves the object empty. Throws std::bad_alloc if the block cannot be held.
    // A resource without any translation entry is read from the first table of
    // kFallbackTranslations (config/version_language.h) holding one of the keys, if any.
    bool Load(const std::wstring& path);

    // Zeroes the fixed block and empties every string.
    void Reset();

    // The fixed information record as loaded; all zero when nothing is loaded or the resource's
    // root block was not exactly 52 bytes long.
    const VS_FIXEDFILEINFO& GetFixedFileInfo() const { return m_fixedInfo; }

    // The string of `key` from the chosen string table, or an empty string when it is absent or
    // nothing is loaded.
    const std::wstring& GetString(VersionStringKey key) const;

    // Copies of the strings; each is empty when absent or nothing is loaded.
    std::wstring GetCompanyName() const { return GetString(VersionStringKey::CompanyName); }
    std::wstring GetFileDescription() const { return GetString(VersionStringKey::FileDescription); }
    std::wstring GetFileVersion() const { return GetString(VersionStringKey::FileVersion); }
    std::wstring GetInternalName() const { return GetString(VersionStringKey::InternalName); }
    std::wstring GetLegalCopyright() const { return GetString(VersionStringKey::LegalCopyright); }
    std::wstring GetOriginalFileName() const
    {
        return GetString(VersionStringKey::OriginalFileName);
    }
    std::wstring GetProductName() const { return GetString(VersionStringKey::ProductName); }
    std::wstring GetProductVersion() const { return GetString(VersionStringKey::ProductVersion); }
    std::wstring GetComments() const { return GetString(VersionStringKey::Comments); }
    std::wstring GetLegalTrademarks() const { return GetString(VersionStringKey::LegalTrademarks); }
    // The download address, or an empty string when absent or nothing is loaded.
    std::wstring GetPrivateBuild() const { return GetString(VersionStringKey::PrivateBuild); }
    std::wstring GetSpecialBuild() const { return GetString(VersionStringKey::SpecialBuild); }
    // The required signer and SHA-256 of the setup program; empty when none is required.
    std::wstring GetSetupSigner() const { return GetString(VersionStringKey::SetupSigner); }
    std::wstring GetSetupSha256() const { return GetString(VersionStringKey::SetupSha256); }

private:
    VS_FIXEDFILEINFO m_fixedInfo;
    std::wstring m_strings[kVersionStringKeyCount];
    UserLanguageSource m_pfnUserLanguage;
};

} // namespace QV

#endif // _WIN32
