#include "engine/setup_downloader_rules.h"

#include "common/format_string.h"
#include "engine/http/url_rules.h"

namespace QV
{

namespace
{
enum class Choice
{
    Created,
    CreateFailed,
    Undeletable
};

// Delete-then-create-new: an existing file is replaced, never written into.
Choice TryCreate(ILocalFiles& files, const std::wstring& path)
{
    if (files.Exists(path))
    {
        files.Delete(path);
        if (files.Exists(path))
            return Choice::Undeletable;
    }
    return files.CreateNew(path) ? Choice::Created : Choice::CreateFailed;
}
} // namespace

int QVQueryRandom::Next() noexcept
{
    m_dwState = m_dwState * 214013u + 2531011u;
    return static_cast<int>((m_dwState >> 16) & 0x7FFFu);
}

std::wstring ChooseTempDir(const wchar_t* tempPath, uint32_t tempResult, const wchar_t* longPath,
                           uint32_t longResult)
{
    std::wstring dir;
    if (tempPath != nullptr && tempResult >= 1 && tempResult <= 260)
    {
        if (longPath != nullptr && longResult >= 1 && longResult <= 520)
            dir.assign(longPath, longResult);
        else
            dir.assign(tempPath);
    }
    if (!dir.empty() && dir.back() != L'\\')
        dir += L'\\';
    if (dir.empty())
        dir = L"C:\\";
    return dir;
}

std::wstring MakeRequestUrl(const std::wstring& base, int first, int second)
{
    std::wstring url;
    FormatString(url, L"%ls?%d.%d", base.c_str(), second, first);
    return url;
}

std::wstring LocalFileNameFromUrl(const std::wstring& url)
{
    std::wstring name = url;
    size_t query = name.rfind(L'?');
    if (query != std::wstring::npos)
        name.erase(query);
    size_t slash = name.rfind(L'/');
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (name.size() < 4 || !EqualsNoCase(name.substr(name.size() - 4), L".exe"))
        name.clear();
    return name;
}

std::wstring CreateLocalFile(ILocalFiles& files, const std::wstring& tempDir,
                             const std::wstring& url, const std::wstring& previousFile)
{
    std::wstring name = LocalFileNameFromUrl(url);
    if (!name.empty())
    {
        std::wstring path = tempDir + name;
        if (TryCreate(files, path) == Choice::Created)
            return path;
    }

    std::wstring setupPath = tempDir + kDefaultSetupName;
    switch (TryCreate(files, setupPath))
    {
    case Choice::Created:
        return setupPath;
    case Choice::CreateFailed:
        return std::wstring();
    case Choice::Undeletable:
        break;
    }

    // A temporary name the system cannot give leaves no safe place: a bare "Setup.exe" would be
    // written to, and later run from, whatever the current directory is (a Downloads folder).
    std::wstring path = files.TempFileName(tempDir);
    size_t dot = path.rfind(L'.');
    if (dot != std::wstring::npos)
        path.erase(dot);
    if (path.empty())
        return std::wstring();
    path += L"_";
    path += kDefaultSetupName;
    if (!previousFile.empty())
        files.Delete(previousFile);
    files.Delete(path);
    return files.CreateNew(path) ? path : std::wstring();
}

bool LaunchSucceeded(const LaunchReport& report)
{
    return report.started && report.hasProcess && report.exitCodeRead && report.exitCode == 0;
}

} // namespace QV
