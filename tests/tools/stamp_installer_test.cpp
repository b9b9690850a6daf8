// The release stamp tool on copies of the real installer: only the strings it is told to change
// change; bad input and signed input leave nothing behind.
#include "config/file_version_info.h"

#include "common/win32_test_support.h"
#include "common/win_handle.h"
#include "version_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using namespace QV::Test;
using QV::VersionStringKey;

LANGID Chinese()
{
    return 0x0804;
}

// Runs stamp_installer with `in`, `out` and `options`; answers its exit code, or -1 when it did
// not start.
int RunStamper(const std::wstring& in, const std::wstring& out, const std::wstring& options)
{
    std::wstring command = L"\"" + HostPath(QV_TEST_STAMP_INSTALLER) + L"\" \"" + in + L"\" \"" +
                           out + L"\" " + options;
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

struct StampCase
{
    const char* name;
    std::wstring options;
    // The strings expected to change, with their new values.
    std::vector<std::pair<VersionStringKey, std::wstring>> changed;
};

const std::wstring kHash = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(StampInstaller, ChangesOnlyTheStringsItIsGiven)
{
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::wstring product = HostPath(QV_TEST_PRODUCT_EXE);
    QV::QVFileVersionInfo original(&Chinese);
    ASSERT_TRUE(original.Load(product));

    const std::wstring longUrl = L"http://127.0.0.1:65535/" + std::wstring(301, L'p') + L".exe";
    const StampCase cases[] = {
        {"address",
         L"--url http://127.0.0.1:49731/QuorvinSetup.exe",
         {{VersionStringKey::PrivateBuild, L"http://127.0.0.1:49731/QuorvinSetup.exe"}}},
        {"short address",
         L"--url http://127.0.0.1:5/a.exe",
         {{VersionStringKey::PrivateBuild, L"http://127.0.0.1:5/a.exe"}}},
        {"long address", L"--url " + longUrl, {{VersionStringKey::PrivateBuild, longUrl}}},
        {"signer with blanks and quotes",
         L"--signer \"Quorvin Software, Ltd.\"",
         {{VersionStringKey::SetupSigner, L"Quorvin Software, Ltd."}}},
        {"hash", L"--sha256 " + kHash, {{VersionStringKey::SetupSha256, kHash}}},
        {"all three",
         L"--url https://downloads.example.com/QuorvinSetup.exe --signer Quorvin --sha256 " + kHash,
         {{VersionStringKey::PrivateBuild, L"https://downloads.example.com/QuorvinSetup.exe"},
          {VersionStringKey::SetupSigner, L"Quorvin"},
          {VersionStringKey::SetupSha256, kHash}}},
        {"requirement removed", L"--signer \"\"", {{VersionStringKey::SetupSigner, L""}}},
    };
    int n = 0;
    for (const StampCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::wstring out = dir.File(L"stamped" + std::to_wstring(n++) + L".exe");
        ASSERT_EQ(RunStamper(product, out, c.options), 0);

        QV::QVFileVersionInfo stamped(&Chinese);
        ASSERT_TRUE(stamped.Load(out));
        for (size_t i = 0; i < QV::kVersionStringKeyCount; ++i)
        {
            const auto key = static_cast<VersionStringKey>(i);
            std::wstring expected = original.GetString(key);
            for (const auto& [changedKey, value] : c.changed)
            {
                if (changedKey == key)
                    expected = value;
            }
            EXPECT_EQ(stamped.GetString(key), expected) << QV::VersionStringKeyName(key);
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

TEST(StampInstaller, RefusesWithoutLeavingAnything)
{
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::wstring product = HostPath(QV_TEST_PRODUCT_EXE);
    const std::wstring signedExe = HostPath(QV_TEST_SIGNED_DIR) + L"\\signed.exe";
    const struct
    {
        const char* name;
        std::wstring in;
        std::wstring options;
        int exitCode;
    } cases[] = {
        {"missing input", dir.File(L"missing.exe"), L"--url http://127.0.0.1:1/a.exe", 1},
        {"signed input: its signature would break", signedExe, L"--url http://127.0.0.1:1/a.exe",
         1},
        {"a hash that is no hash", product, L"--sha256 1234", 2},
        {"an unknown option", product, L"--size 5", 2},
        {"no option", product, L"", 2},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::wstring out = dir.File(L"out.exe");
        EXPECT_EQ(RunStamper(c.in, out, c.options), c.exitCode);
        EXPECT_EQ(::GetFileAttributesW(out.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

} // namespace
