// The version stamper on a copy of the real installer: only PrivateBuild changes.
#include "config/file_version_info.h"

#include "common/version_block.h"
#include "common/win32_test_support.h"
#include "common/win_handle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using namespace QV::Test;

LANGID Chinese()
{
    return 0x0804;
}

// Runs stamp_version with `in`, `out`, `url`; answers its exit code, or -1 when it did not start.
int RunStamper(const std::wstring& in, const std::wstring& out, const std::wstring& url)
{
    std::wstring command = L"\"" + HostPath(QV_TEST_STAMP_VERSION) + L"\" \"" + in + L"\" \"" +
                           out + L"\" \"" + url + L"\"";
    return QV::Test::RunProcess(command).exitCode;
}

using ResourceList = std::vector<std::vector<std::uint8_t>>;

BOOL CALLBACK CollectResource(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    HRSRC info = ::FindResourceW(module, name, type);
    const auto* data =
        static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, info)));
    if (data != nullptr)
        reinterpret_cast<ResourceList*>(param)->emplace_back(data,
                                                             data + ::SizeofResource(module, info));
    return TRUE;
}

// Every resource of `type` (all ids and languages) of the file, to compare two files' resources.
ResourceList ResourcesOfType(const std::wstring& path, LPCWSTR type)
{
    ResourceList out;
    QV::CLibrary module(::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (module)
        ::EnumResourceNamesW(module.Get(), type, &CollectResource,
                             reinterpret_cast<LONG_PTR>(&out));
    return out;
}

TEST(StampVersion, ReplacesOnlyPrivateBuild)
{
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::wstring product = HostPath(QV_TEST_PRODUCT_EXE);
    QV::QVFileVersionInfo original(&Chinese);
    ASSERT_TRUE(original.Load(product));

    // Short and long addresses, odd and even lengths: the block's lengths and padding change.
    const std::wstring urls[] = {
        L"http://127.0.0.1:49731/QuorvinSetup.exe",
        L"http://127.0.0.1:5/a.exe",
        L"http://127.0.0.1:65535/" + std::wstring(301, L'p') + L".exe",
    };
    int n = 0;
    for (const std::wstring& url : urls)
    {
        const std::wstring out = dir.File(L"stamped" + std::to_wstring(n++) + L".exe");
        ASSERT_EQ(RunStamper(product, out, url), 0) << n;

        QV::QVFileVersionInfo stamped(&Chinese);
        ASSERT_TRUE(stamped.Load(out)) << n;
        EXPECT_EQ(stamped.GetPrivateBuild(), url);
        for (size_t i = 0; i < QV::kVersionStringKeyCount; ++i)
        {
            const auto key = static_cast<QV::VersionStringKey>(i);
            if (key == QV::VersionStringKey::PrivateBuild)
                continue;
            EXPECT_EQ(stamped.GetString(key), original.GetString(key))
                << QV::VersionStringKeyName(key);
        }
        EXPECT_EQ(std::memcmp(&stamped.GetFixedFileInfo(), &original.GetFixedFileInfo(),
                              sizeof(VS_FIXEDFILEINFO)),
                  0);

        // Still one version resource, and the other resources are byte for byte the same.
        EXPECT_EQ(ResourcesOfType(out, RT_VERSION).size(), 1u);
        for (LPCWSTR type : {RT_DIALOG, RT_MENU, RT_GROUP_ICON, RT_ICON, RT_MANIFEST})
            EXPECT_EQ(ResourcesOfType(out, type), ResourcesOfType(product, type));
    }
}

TEST(StampVersion, FailsWithoutTouchingAnythingOnBadInput)
{
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::wstring out = dir.File(L"out.exe");
    EXPECT_NE(RunStamper(dir.File(L"missing.exe"), out, L"http://127.0.0.1:1/a.exe"), 0);
    EXPECT_EQ(::GetFileAttributesW(out.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
