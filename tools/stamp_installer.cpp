// stamp_installer IN.exe OUT.exe [--url URL] [--signer NAME] [--sha256 HEX]
//
// Release tool: writes OUT.exe, a copy of the built installer IN.exe whose version resource (id 1,
// language 2052) names another download address (PrivateBuild), another required signer of the
// setup program (SetupSigner) or another required SHA-256 of it (SetupSHA256). Each option given
// replaces that string (an empty value removes the requirement); strings not named keep their
// value, and nothing else of the file changes. At least one option is needed.
//
// A signed IN.exe is refused: the new resource would break its signature. Stamp the unsigned
// build, then sign the stamped copy. scripts/stamp runs this tool from the Linux build host.
//
// Exit code 0 on success; 1 when the input cannot be stamped (OUT.exe is then not left behind);
// 2 for bad arguments.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/win_handle.h"
#include "engine/setup_check.h"
#include "version_block.h"

namespace
{

using namespace QV::VersionBlock;

constexpr WORD kChinese = 2052;
constexpr DWORD kSecurityDirectory = 4;

int Usage()
{
    std::fwprintf(stderr, L"usage: stamp_installer IN.exe OUT.exe [--url URL] [--signer NAME] "
                          L"[--sha256 HEX]\n");
    return 2;
}

int Fail(const wchar_t* what, const wchar_t* path)
{
    std::fwprintf(stderr, L"stamp_installer: %ls: %ls (error %lu)\n", what, path,
                  static_cast<unsigned long>(::GetLastError()));
    return 1;
}

std::vector<std::uint8_t> ReadWholeFile(const wchar_t* path)
{
    std::vector<std::uint8_t> data;
    QV::CFileHandle file(
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::uint8_t buffer[65536];
    DWORD n = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof(buffer), &n, nullptr) && n > 0)
        data.insert(data.end(), buffer, buffer + n);
    return data;
}

std::uint32_t U32(const std::vector<std::uint8_t>& data, std::size_t at)
{
    if (at + 4 > data.size())
        return 0;
    return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) |
           (static_cast<std::uint32_t>(data[at + 3]) << 24);
}

// True when the PE file carries an Authenticode signature (a certificate table).
bool IsSigned(const std::vector<std::uint8_t>& data)
{
    const std::uint32_t pe = U32(data, 0x3C);
    if (data.size() < 2 || data[0] != 'M' || data[1] != 'Z' || U32(data, pe) != 0x00004550)
        return false;
    const std::size_t optional = pe + 24;
    if (optional + 2 > data.size())
        return false;
    const std::uint16_t magic =
        static_cast<std::uint16_t>(data[optional] | (data[optional + 1] << 8));
    const std::size_t directories = optional + (magic == 0x20B ? 112 : 96);
    return U32(data, directories + 8 * kSecurityDirectory + 4) != 0;
}

// The raw version block of `path`, or empty.
std::vector<std::uint8_t> ReadVersionBlock(const wchar_t* path)
{
    QV::CLibrary module(
        ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module)
        return {};
    HRSRC info =
        ::FindResourceExW(module.Get(), MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), kChinese);
    if (info == nullptr)
        return {};
    const auto* data =
        static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module.Get(), info)));
    if (data == nullptr)
        return {};
    return std::vector<std::uint8_t>(data, data + ::SizeofResource(module.Get(), info));
}

// Sets `key` to `value` in every string table that has it; a block without it gets it in its
// first table. False when the block has no string table at all.
bool SetString(VersionNode& root, const std::u16string& key, const std::u16string& value)
{
    VersionNode* strings = FindChild(root, u"StringFileInfo");
    if (strings == nullptr || strings->children.empty())
        return false;
    bool replaced = false;
    for (VersionNode& table : strings->children)
    {
        if (VersionNode* node = FindChild(table, key))
        {
            *node = TextNode(key, value);
            replaced = true;
        }
    }
    if (!replaced)
        strings->children.front().children.push_back(TextNode(key, value));
    return true;
}

bool ReplaceVersionResource(const wchar_t* path, std::vector<std::uint8_t>& block)
{
    HANDLE update = ::BeginUpdateResourceW(path, FALSE);
    if (update == nullptr)
        return false;
    if (!::UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), kChinese,
                           block.data(), static_cast<DWORD>(block.size())))
    {
        ::EndUpdateResourceW(update, TRUE);
        return false;
    }
    return ::EndUpdateResourceW(update, FALSE) != FALSE;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5 || (argc - 3) % 2 != 0)
        return Usage();
    const wchar_t* in = argv[1];
    const wchar_t* out = argv[2];
    const std::map<std::wstring, std::u16string> keys = {
        {L"--url", u"PrivateBuild"}, {L"--signer", u"SetupSigner"}, {L"--sha256", u"SetupSHA256"}};
    std::map<std::u16string, std::u16string> values;
    for (int i = 3; i < argc; i += 2)
    {
        auto key = keys.find(argv[i]);
        if (key == keys.end())
            return Usage();
        const std::wstring value = argv[i + 1];
        if (key->first == L"--sha256" && !value.empty() && !QV::ParseSha256(value))
        {
            std::fwprintf(stderr, L"stamp_installer: --sha256 needs 64 hexadecimal digits\n");
            return 2;
        }
        values[key->second] = std::u16string(value.begin(), value.end());
    }

    if (IsSigned(ReadWholeFile(in)))
    {
        std::fwprintf(stderr,
                      L"stamp_installer: %ls is signed; stamping would break its "
                      L"signature: stamp the unsigned build, then sign the copy\n",
                      in);
        return 1;
    }
    const std::vector<std::uint8_t> raw = ReadVersionBlock(in);
    if (raw.empty())
        return Fail(L"no version resource (id 1, language 2052)", in);
    auto root = ParseVersionBlock(raw.data(), raw.size());
    if (!root)
        return Fail(L"malformed version resource", in);
    for (const auto& [key, value] : values)
    {
        if (!SetString(*root, key, value))
            return Fail(L"version resource without a string table", in);
    }
    std::vector<std::uint8_t> block = SerializeVersionBlock(*root);
    if (block.size() > 0xFFFF)
        return Fail(L"strings too long for a version resource", in);

    if (!::CopyFileW(in, out, FALSE))
        return Fail(L"cannot copy to", out);
    if (!ReplaceVersionResource(out, block))
    {
        ::DeleteFileW(out);
        return Fail(L"cannot update the version resource of", out);
    }
    return 0;
}
