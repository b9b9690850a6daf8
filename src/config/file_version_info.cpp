#include "config/file_version_info.h"

#include <cstring>
#include <memory>

#include "common/system_library.h"
#include "config/version_language.h"

namespace QV
{

namespace
{
using GetFileVersionInfoSizeWFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetFileVersionInfoWFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueWFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

LANGID SystemUserLanguage()
{
    return ::GetUserDefaultLangID();
}

// The version block as read into one buffer, with queries that never answer memory outside it.
class CVersionBlock
{
public:
    CVersionBlock(VerQueryValueWFn query, const unsigned char* data, DWORD size)
        : m_query(query), m_data(data), m_size(size)
    {
    }

    // The bytes of the value at `subBlock`, clipped to the block; false when the query fails.
    bool Query(const wchar_t* subBlock, const unsigned char*& value, size_t& bytes,
               UINT& reportedLength) const
    {
        LPVOID p = nullptr;
        UINT length = 0;
        if (!m_query(m_data, subBlock, &p, &length) || p == nullptr)
            return false;
        const auto* begin = static_cast<const unsigned char*>(p);
        if (begin < m_data || begin >= m_data + m_size)
            return false;
        value = begin;
        bytes = static_cast<size_t>(m_data + m_size - begin);
        reportedLength = length;
        return true;
    }

    // The text at `subBlock` up to its NUL, within the reported length and the block; false when
    // the query fails.
    bool QueryText(const std::wstring& subBlock, std::wstring& text) const
    {
        const unsigned char* value = nullptr;
        size_t bytes = 0;
        UINT length = 0;
        if (!Query(subBlock.c_str(), value, bytes, length))
            return false;
        size_t limit = bytes / sizeof(wchar_t);
        if (length < limit)
            limit = length;
        const auto* chars = reinterpret_cast<const wchar_t*>(value);
        size_t n = 0;
        while (n < limit && chars[n] != L'\0')
            ++n;
        text.assign(chars, n);
        return true;
    }

private:
    VerQueryValueWFn m_query;
    const unsigned char* m_data;
    DWORD m_size;
};
} // namespace

QVFileVersionInfo::QVFileVersionInfo() : QVFileVersionInfo(nullptr) {}

QVFileVersionInfo::QVFileVersionInfo(UserLanguageSource userLanguage)
    : m_fixedInfo(), m_pfnUserLanguage(userLanguage != nullptr ? userLanguage : &SystemUserLanguage)
{
    Reset();
}

QVFileVersionInfo::~QVFileVersionInfo() = default;

void QVFileVersionInfo::Reset()
{
    std::memset(&m_fixedInfo, 0, sizeof(m_fixedInfo));
    for (std::wstring& text : m_strings)
        text.clear();
}

const std::wstring& QVFileVersionInfo::GetString(VersionStringKey key) const
{
    return m_strings[static_cast<size_t>(key)];
}

bool QVFileVersionInfo::Load(const std::wstring& path)
{
    Reset();
    const std::wstring file(path);

    // version.dll is not a KnownDLL: by bare name it could come from the installer's own folder.
    CSystemLibrary version(L"version.dll");
    auto getSize = version.Get<GetFileVersionInfoSizeWFn>("GetFileVersionInfoSizeW");
    auto getInfo = version.Get<GetFileVersionInfoWFn>("GetFileVersionInfoW");
    auto query = version.Get<VerQueryValueWFn>("VerQueryValueW");
    if (getSize == nullptr || getInfo == nullptr || query == nullptr)
        return false;

    DWORD handle = 0;
    const DWORD size = getSize(file.c_str(), &handle);
    if (size == 0)
        return false;
    std::unique_ptr<unsigned char[]> data(new unsigned char[size]);
    if (!getInfo(file.c_str(), handle, size, data.get()))
        return false;
    const CVersionBlock block(query, data.get(), size);

    const unsigned char* value = nullptr;
    size_t bytes = 0;
    UINT length = 0;
    if (block.Query(L"\\", value, bytes, length) && length == sizeof(m_fixedInfo) &&
        bytes >= sizeof(m_fixedInfo))
        std::memcpy(&m_fixedInfo, value, sizeof(m_fixedInfo));

    std::optional<VersionTranslation> chosen;
    if (block.Query(L"\\VarFileInfo\\Translation", value, bytes, length))
        chosen =
            ChooseVersionTranslation(value, length < bytes ? length : bytes, m_pfnUserLanguage());

    auto readTable = [&](const VersionTranslation& translation)
    {
        const std::wstring prefix = StringTablePrefix(translation);
        bool any = false;
        for (size_t i = 0; i < kVersionStringKeyCount; ++i)
            any = block.QueryText(prefix + kVersionStringKeyNames[i], m_strings[i]) || any;
        return any;
    };
    if (chosen)
    {
        readTable(*chosen);
    }
    else
    {
        for (const VersionTranslation& fallback : kFallbackTranslations)
        {
            if (readTable(fallback))
                break;
        }
    }
    return true;
}

} // namespace QV
