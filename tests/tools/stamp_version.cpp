// stamp_version <in.exe> <out.exe> <url>
// Copies an installer and points the copy at another download address: the version resource
// (id 1, language 2052) is rewritten with PrivateBuild = url and everything else unchanged. The
// end-to-end tests use it to aim the real exe at a loopback server on a dynamic port.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/version_block.h"
#include "common/win32_test_support.h"
#include "common/win_handle.h"

namespace
{

using namespace QV::Test;

constexpr WORD kChinese = 2052;

int Fail(const wchar_t* what, const wchar_t* path)
{
    std::fwprintf(stderr, L"stamp_version: %ls: %ls (error %lu)\n", what, path,
                  static_cast<unsigned long>(::GetLastError()));
    return 1;
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

// Sets PrivateBuild in every string table that has it; a block without one gets it in its first
// table. False when the block has no string table at all.
bool SetPrivateBuild(VersionNode& root, const std::u16string& url)
{
    VersionNode* strings = FindChild(root, u"StringFileInfo");
    if (strings == nullptr || strings->children.empty())
        return false;
    bool replaced = false;
    for (VersionNode& table : strings->children)
    {
        if (VersionNode* value = FindChild(table, u"PrivateBuild"))
        {
            *value = TextNode(u"PrivateBuild", url);
            replaced = true;
        }
    }
    if (!replaced)
        strings->children.front().children.push_back(TextNode(u"PrivateBuild", url));
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
    {
        std::fwprintf(stderr, L"usage: stamp_version <in.exe> <out.exe> <url>\n");
        return 2;
    }
    const wchar_t* in = argv[1];
    const wchar_t* out = argv[2];
    const std::wstring url = argv[3];

    const std::vector<std::uint8_t> raw = ReadVersionBlock(in);
    if (raw.empty())
        return Fail(L"no version resource (id 1, language 2052)", in);
    auto root = ParseVersionBlock(raw.data(), raw.size());
    if (!root)
        return Fail(L"malformed version resource", in);
    if (!SetPrivateBuild(*root, std::u16string(url.begin(), url.end())))
        return Fail(L"version resource without a string table", in);
    const std::vector<std::uint8_t> block = SerializeVersionBlock(*root);
    if (block.size() > 0xFFFF)
        return Fail(L"address too long for a version resource", in);

    if (!::CopyFileW(in, out, FALSE))
        return Fail(L"cannot copy to", out);
    if (!ReplaceVersionResource(out, block.data(), static_cast<DWORD>(block.size()), kChinese))
    {
        ::DeleteFileW(out);
        return Fail(L"cannot update the version resource of", out);
    }
    return 0;
}
