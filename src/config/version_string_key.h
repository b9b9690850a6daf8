// The strings of a version resource that the reader keeps, in the order in which it stores and
// queries them: the twelve standard ones, then the installer's own two, which say what the
// downloaded setup program must be.
#pragma once

#include <cstddef>

namespace QV
{

enum class VersionStringKey
{
    CompanyName,
    FileDescription,
    FileVersion,
    InternalName,
    LegalCopyright,
    OriginalFileName,
    ProductName,
    ProductVersion,
    Comments,
    LegalTrademarks,
    PrivateBuild,
    SpecialBuild,
    SetupSigner, // the exact name of the leaf certificate that must have signed it
    SetupSha256, // its SHA-256, 64 hexadecimal digits
};

// Number of keys; every VersionStringKey value is below it.
inline constexpr std::size_t kVersionStringKeyCount = 14;

// The key texts as queried in a string table, indexed by VersionStringKey. "OriginalFileName" is
// spelt with a capital N on purpose: that is the text looked up.
inline constexpr const wchar_t* kVersionStringKeyNames[kVersionStringKeyCount] = {
    L"CompanyName",      L"FileDescription", L"FileVersion",    L"InternalName", L"LegalCopyright",
    L"OriginalFileName", L"ProductName",     L"ProductVersion", L"Comments",     L"LegalTrademarks",
    L"PrivateBuild",     L"SpecialBuild",    L"SetupSigner",    L"SetupSHA256",
};

// The key text of `key`.
constexpr const wchar_t* VersionStringKeyName(VersionStringKey key)
{
    return kVersionStringKeyNames[static_cast<std::size_t>(key)];
}

} // namespace QV
