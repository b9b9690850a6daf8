// Reads the built installer's resources back with the system's own resource API and checks them
// field by field: version resource, dialog templates, tray menu, icon group and manifest.
#include "config/file_version_info.h"

#include "common/user_texts.h"
#include "version_block.h"
#include "common/win32_test_support.h"
#include "common/win_handle.h"
#include "ui/dpi_scale.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

using QV::CLibrary;
using namespace QV::Test;
using namespace QV::VersionBlock;

constexpr WORD kChinese = 2052;
constexpr WORD kEnglishUs = 1033;

std::wstring Widen(const char* text)
{
    std::wstring out;
    for (const char* p = text; *p != '\0'; ++p)
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return out;
}

std::u16string U16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

std::wstring ProductExe()
{
    return HostPath(QV_TEST_PRODUCT_EXE);
}

class ProductResources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_module.Reset(::LoadLibraryExW(ProductExe().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(m_module.IsValid()) << "cannot load " << QV_TEST_PRODUCT_EXE;
    }

    // The bytes of resource (type, id) in `language`; empty when it is not there.
    std::vector<std::uint8_t> Resource(LPCWSTR type, WORD id, WORD language) const
    {
        HRSRC info = ::FindResourceExW(m_module.Get(), type, MAKEINTRESOURCEW(id), language);
        if (info == nullptr)
            return {};
        HGLOBAL loaded = ::LoadResource(m_module.Get(), info);
        const DWORD size = ::SizeofResource(m_module.Get(), info);
        const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
        if (data == nullptr)
            return {};
        return std::vector<std::uint8_t>(data, data + size);
    }

    CLibrary m_module;
};

// Reads little-endian fields and UTF-16 texts from a resource, failing the test on overrun.
class CReader
{
public:
    explicit CReader(const std::vector<std::uint8_t>& data) : m_data(data) {}

    std::uint16_t U16()
    {
        Need(2);
        std::uint16_t v = static_cast<std::uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    std::uint32_t U32()
    {
        std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
    std::uint8_t U8()
    {
        Need(1);
        return m_data[m_pos++];
    }
    std::wstring Text()
    {
        std::wstring text;
        for (std::uint16_t c = U16(); c != 0; c = U16())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    // A "string or ordinal" field: an ordinal is returned as "#<number>".
    std::wstring TextOrOrdinal()
    {
        Need(2);
        if (m_data[m_pos] == 0xFF && m_data[m_pos + 1] == 0xFF)
        {
            U16();
            return L"#" + std::to_wstring(U16());
        }
        return Text();
    }
    void AlignTo4() { m_pos = (m_pos + 3) & ~size_t{3}; }
    void Skip(size_t n)
    {
        Need(n);
        m_pos += n;
    }
    bool AtEnd() const { return m_pos >= m_data.size(); }
    bool Overran() const { return m_overran; }

private:
    void Need(size_t n)
    {
        if (m_pos + n > m_data.size())
        {
            m_overran = true;
            throw std::out_of_range("resource ends early");
        }
    }

    const std::vector<std::uint8_t>& m_data;
    size_t m_pos = 0;
    bool m_overran = false;
};

// Other programs know the installer's resources and controls by these numbers (the UI driver, the
// shell's menu commands): whatever else changes in resource.h, they stay.
TEST(ResourceIds, KeepTheirNumbers)
{
    const struct
    {
        const char* name;
        int id;
        int fixed;
    } ids[] = {
        {"IDD_PROGRESS_NOCANCEL", IDD_PROGRESS_NOCANCEL, 105},
        {"IDD_PROGRESS", IDD_PROGRESS, 102},
        {"IDI_APP", IDI_APP, 103},
        {"IDR_TRAY_MENU", IDR_TRAY_MENU, 104},
        {"IDC_MINIMIZE", IDC_MINIMIZE, 1002},
        {"IDC_PROGRESS_BAR", IDC_PROGRESS_BAR, 1003},
        {"IDC_STATUS", IDC_STATUS, 1004},
        {"IDC_CANCEL_INSTALL", IDC_CANCEL_INSTALL, 1005},
        {"IDC_PERCENT", IDC_PERCENT, 1006},
        {"IDC_SPEED", IDC_SPEED, 1007},
        {"ID_TRAY_SHOW", ID_TRAY_SHOW, 40002},
        {"ID_TRAY_EXIT", ID_TRAY_EXIT, 1005},
    };
    for (const auto& id : ids)
        EXPECT_EQ(id.id, id.fixed) << id.name;
}

TEST_F(ProductResources, VersionResourceThroughTheReader)
{
    QV::QVFileVersionInfo info([]() -> LANGID { return 0x0804; });
    ASSERT_TRUE(info.Load(ProductExe()));
    EXPECT_EQ(info.GetPrivateBuild(), Widen(QV_TEST_DOWNLOAD_URL));
    EXPECT_EQ(info.GetSpecialBuild(), L"0000000");
    EXPECT_EQ(info.GetFileVersion(), L"1, 0, 0, 1");
    EXPECT_EQ(info.GetProductVersion(), L"1, 0, 0, 1");
    EXPECT_EQ(info.GetSetupSigner(), Widen(QV_TEST_SETUP_SIGNER));
    EXPECT_EQ(info.GetSetupSha256(), Widen(QV_TEST_SETUP_SHA256));
    for (QV::VersionStringKey absent :
         {QV::VersionStringKey::CompanyName, QV::VersionStringKey::FileDescription,
          QV::VersionStringKey::InternalName, QV::VersionStringKey::LegalCopyright,
          QV::VersionStringKey::OriginalFileName, QV::VersionStringKey::ProductName,
          QV::VersionStringKey::Comments, QV::VersionStringKey::LegalTrademarks})
        EXPECT_EQ(info.GetString(absent), L"") << QV::VersionStringKeyName(absent);

    const VS_FIXEDFILEINFO& fixed = info.GetFixedFileInfo();
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, 0x28u);
    EXPECT_EQ(fixed.dwFileOS, 4u);
    EXPECT_EQ(fixed.dwFileType, 1u);
    EXPECT_EQ(fixed.dwFileSubtype, 0u);
}

// The raw block, in language 2052: one string table 080404B0 with exactly the six keys (the two
// requirements of the setup program as configured, empty by default), and one translation entry
// 0x0804/1200.
TEST_F(ProductResources, VersionResourceRawBlock)
{
    const std::vector<std::uint8_t> raw = Resource(RT_VERSION, 1, kChinese);
    ASSERT_FALSE(raw.empty());
    auto root = ParseVersionBlock(raw.data(), raw.size());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->key, u"VS_VERSION_INFO");
    EXPECT_EQ(root->value.size(), 52u);
    ASSERT_EQ(root->children.size(), 2u);

    const VersionNode* strings = FindChild(*root, u"StringFileInfo");
    ASSERT_NE(strings, nullptr);
    ASSERT_EQ(strings->children.size(), 1u);
    EXPECT_EQ(strings->children[0].key, u"080404B0");
    std::map<std::u16string, std::u16string> values;
    for (const VersionNode& value : strings->children[0].children)
        values[value.key] = TextOf(value);
    const std::map<std::u16string, std::u16string> expected = {
        {u"FileVersion", u"1, 0, 0, 1"},
        {u"PrivateBuild", U16(Widen(QV_TEST_DOWNLOAD_URL))},
        {u"ProductVersion", u"1, 0, 0, 1"},
        {u"SpecialBuild", u"0000000"},
        {u"SetupSigner", U16(Widen(QV_TEST_SETUP_SIGNER))},
        {u"SetupSHA256", U16(Widen(QV_TEST_SETUP_SHA256))}};
    EXPECT_EQ(values, expected);

    const VersionNode* vars = FindChild(*root, u"VarFileInfo");
    ASSERT_NE(vars, nullptr);
    ASSERT_EQ(vars->children.size(), 1u);
    EXPECT_EQ(vars->children[0].key, u"Translation");
    EXPECT_EQ(vars->children[0].value, TranslationBytes({{0x0804, 1200}}));
}

struct ExpectedControl
{
    DWORD id;
    // "#<atom>" for a predefined class stored as an atom; names compare without case, as the
    // system compares class names.
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD style;
    short x, y, cx, cy;
};

struct ParsedDialog
{
    DWORD exStyle = 0, style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, windowClass, title, face;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::vector<ExpectedControl> controls;
    std::vector<std::wstring> classes, texts;
};

ParsedDialog ParseDialogEx(const std::vector<std::uint8_t>& data)
{
    CReader r(data);
    ParsedDialog d;
    EXPECT_EQ(r.U16(), 1) << "dialog version";
    EXPECT_EQ(r.U16(), 0xFFFF) << "extended template signature";
    r.U32(); // help id
    d.exStyle = r.U32();
    d.style = r.U32();
    const WORD count = r.U16();
    d.x = r.S16();
    d.y = r.S16();
    d.cx = r.S16();
    d.cy = r.S16();
    d.menu = r.TextOrOrdinal();
    d.windowClass = r.TextOrOrdinal();
    d.title = r.Text();
    if (d.style & (DS_SETFONT | DS_SHELLFONT))
    {
        d.pointSize = r.U16();
        d.weight = r.U16();
        d.italic = r.U8();
        d.charset = r.U8();
        d.face = r.Text();
    }
    for (WORD i = 0; i < count; ++i)
    {
        r.AlignTo4();
        ExpectedControl c{};
        r.U32(); // help id
        EXPECT_EQ(r.U32(), 0u) << "control extended style, item " << i;
        c.style = r.U32();
        c.x = r.S16();
        c.y = r.S16();
        c.cx = r.S16();
        c.cy = r.S16();
        c.id = r.U32();
        d.classes.push_back(r.TextOrOrdinal());
        d.texts.push_back(r.TextOrOrdinal());
        r.Skip(r.U16()); // creation data
        d.controls.push_back(c);
    }
    return d;
}

void ExpectDialog(const std::vector<std::uint8_t>& data,
                  const std::vector<ExpectedControl>& expected, const char* name)
{
    SCOPED_TRACE(name);
    ASSERT_FALSE(data.empty());
    ParsedDialog d;
    ASSERT_NO_THROW(d = ParseDialogEx(data));
    EXPECT_EQ(d.style,
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 293);
    EXPECT_EQ(d.cy, 119);
    EXPECT_EQ(d.menu, L"");
    EXPECT_EQ(d.windowClass, L"");
    EXPECT_EQ(d.title, QV::kDialogTemplateCaption);
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.weight, 0);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, 1);
    EXPECT_EQ(d.face, L"宋体");
    ASSERT_EQ(d.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const ExpectedControl& e = expected[i];
        const ExpectedControl& c = d.controls[i];
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(::CompareStringOrdinal(d.classes[i].c_str(), -1, e.windowClass, -1, TRUE),
                  CSTR_EQUAL)
            << "class " << std::string(d.classes[i].begin(), d.classes[i].end());
        EXPECT_EQ(d.texts[i], e.text);
        EXPECT_EQ(c.style, e.style);
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
    }
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const wchar_t kButton[] = L"#128";
const wchar_t kStatic[] = L"#130";

TEST_F(ProductResources, ProgressDialogTemplates)
{
    const ExpectedControl status = {
        IDC_STATUS, kStatic, QV::kDownloading, kChild | WS_GROUP | SS_LEFT, 13, 16, 266, 24};
    const ExpectedControl bar = {
        IDC_PROGRESS_BAR, L"msctls_progress32", L"", kChild | WS_BORDER, 13, 65, 266, 10};
    const ExpectedControl line = {0xFFFFFFFF, kStatic, L"", kChild | SS_ETCHEDHORZ, 8, 88, 278, 2};
    const ExpectedControl percent = {IDC_PERCENT, kStatic, L"", kChild | WS_GROUP | SS_RIGHT,
                                     228,         53,      42,  8};
    const ExpectedControl speed = {IDC_SPEED, kStatic, L"", kChild | WS_GROUP | SS_LEFT,
                                   24,        53,      189, 8};
    const DWORD button = kChild | WS_TABSTOP | BS_PUSHBUTTON;

    ExpectDialog(Resource(RT_DIALOG, IDD_PROGRESS_NOCANCEL, kChinese),
                 {{IDC_MINIMIZE, kButton, QV::kMinimizeButton, button, 102, 98, 97, 14},
                  status,
                  bar,
                  line,
                  percent,
                  speed},
                 "template 105");
    ExpectDialog(Resource(RT_DIALOG, IDD_PROGRESS, kChinese),
                 {{IDC_MINIMIZE, kButton, QV::kMinimizeButton, button, 39, 98, 97, 14},
                  {IDC_CANCEL_INSTALL, kButton, QV::kCancelInstallButton, kChild | WS_TABSTOP, 158,
                   98, 97, 14},
                  status,
                  bar,
                  line,
                  percent,
                  speed},
                 "template 102");
}

TEST_F(ProductResources, TrayMenu)
{
    const std::vector<std::uint8_t> data = Resource(RT_MENU, IDR_TRAY_MENU, kChinese);
    ASSERT_FALSE(data.empty());
    CReader r(data);
    ASSERT_NO_THROW({
        EXPECT_EQ(r.U16(), 0) << "menu template version";
        EXPECT_EQ(r.U16(), 0) << "header size";
        const WORD popupFlags = r.U16();
        EXPECT_EQ(popupFlags, MF_POPUP | MF_END) << "one pop-up, the last top-level item";
        r.Text();
        const WORD showFlags = r.U16();
        EXPECT_EQ(showFlags & (MF_POPUP | MF_END), 0);
        EXPECT_EQ(r.U16(), ID_TRAY_SHOW);
        EXPECT_EQ(r.Text(), QV::kTrayMenuShow);
        const WORD exitFlags = r.U16();
        EXPECT_EQ(exitFlags & (MF_POPUP | MF_END), MF_END);
        EXPECT_EQ(r.U16(), ID_TRAY_EXIT);
        EXPECT_EQ(r.Text(), QV::kTrayMenuExit);
        EXPECT_TRUE(r.AtEnd());
    });

    // The system reads the same: the first sub-menu holds the two commands.
    QV::CMenu menu(::LoadMenuW(m_module.Get(), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    ASSERT_TRUE(menu.IsValid());
    HMENU popup = ::GetSubMenu(menu.Get(), 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(::GetMenuItemCount(popup), 2);
    EXPECT_EQ(::GetMenuItemID(popup, 0), static_cast<UINT>(ID_TRAY_SHOW));
    EXPECT_EQ(::GetMenuItemID(popup, 1), static_cast<UINT>(ID_TRAY_EXIT));
}

// The start of a PNG image (an icon image from Windows Vista on).
const std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The sizes the tray and the window ask for: the small and the large icon at every scaling step.
std::set<int> IconSizesOfTheScalingSteps()
{
    std::set<int> sizes;
    for (uint32_t dpi : QV::kScalingStepDpis)
    {
        sizes.insert(QV::IconSizeForDpi(16, dpi));
        sizes.insert(QV::IconSizeForDpi(32, dpi));
    }
    return sizes;
}

TEST_F(ProductResources, IconGroupHasAnImageForEveryScalingStepAt32Bits)
{
    const std::set<int> wanted = IconSizesOfTheScalingSteps();
    EXPECT_EQ(wanted, (std::set<int>{16, 20, 24, 28, 32, 40, 48, 56, 64}));
    const std::vector<std::uint8_t> group = Resource(RT_GROUP_ICON, IDI_APP, kChinese);
    ASSERT_FALSE(group.empty());
    CReader r(group);
    std::set<int> sizes;
    ASSERT_NO_THROW({
        EXPECT_EQ(r.U16(), 0);
        EXPECT_EQ(r.U16(), 1) << "icon type";
        const WORD count = r.U16();
        EXPECT_EQ(count, wanted.size());
        for (WORD i = 0; i < count; ++i)
        {
            const int width = r.U8();
            const int height = r.U8();
            r.U8(); // colour count
            r.U8();
            r.U16(); // planes
            const WORD bits = r.U16();
            const DWORD bytes = r.U32();
            const WORD id = r.U16();
            EXPECT_EQ(width, height);
            EXPECT_EQ(bits, 32) << width;
            sizes.insert(width);

            // The image itself: a PNG of that size with 8-bit RGBA pixels.
            const std::vector<std::uint8_t> image = Resource(RT_ICON, id, kChinese);
            ASSERT_EQ(image.size(), bytes) << width;
            ASSERT_GT(image.size(), 33u) << width;
            ASSERT_EQ(std::memcmp(image.data(), kPngSignature, sizeof kPngSignature), 0) << width;
            // IHDR, big-endian: width, height, bit depth, colour type (6: RGBA).
            auto be32 = [&image](size_t at)
            {
                return static_cast<int>((DWORD{image[at]} << 24) | (DWORD{image[at + 1]} << 16) |
                                        (DWORD{image[at + 2]} << 8) | DWORD{image[at + 3]});
            };
            EXPECT_EQ(std::memcmp(image.data() + 12, "IHDR", 4), 0) << width;
            EXPECT_EQ(be32(16), width);
            EXPECT_EQ(be32(20), height);
            EXPECT_EQ(image[24], 8) << width;
            EXPECT_EQ(image[25], 6) << width;
        }
    });
    EXPECT_EQ(sizes, wanted);

    // And the system turns them into icons of those sizes.
    for (int size : wanted)
    {
        HANDLE icon = ::LoadImageW(m_module.Get(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size,
                                   size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << size;
        if (icon != nullptr)
            ::DestroyIcon(static_cast<HICON>(icon));
    }
}

// Where the attributes of the `occurrence`-th element named `name` in `xml` begin (just after
// "<name"); npos when there is no such element.
size_t ElementStart(const std::string& xml, const std::string& name, int occurrence)
{
    size_t pos = 0;
    for (int i = 0; i <= occurrence; ++i)
    {
        pos = xml.find("<" + name, pos);
        if (pos == std::string::npos)
            return pos;
        pos += name.size() + 1;
    }
    return pos;
}

// Attributes of the `occurrence`-th element named `name` in `xml` (a simple reader for this
// manifest: no comments or CDATA around the elements read).
std::map<std::string, std::string> Attributes(const std::string& xml, const std::string& name,
                                              int occurrence = 0)
{
    size_t pos = ElementStart(xml, name, occurrence);
    if (pos == std::string::npos)
        return {};
    const size_t end = xml.find('>', pos);
    std::map<std::string, std::string> attributes;
    while (pos < end)
    {
        const size_t eq = xml.find('=', pos);
        if (eq == std::string::npos || eq > end)
            break;
        const size_t open = xml.find('"', eq);
        const size_t close = xml.find('"', open + 1);
        size_t nameStart = xml.find_first_not_of(" \t\r\n", pos);
        attributes[xml.substr(nameStart, eq - nameStart)] = xml.substr(open + 1, close - open - 1);
        pos = close + 1;
    }
    return attributes;
}

TEST_F(ProductResources, ManifestRequestsCommonControls6AndAsInvoker)
{
    const std::vector<std::uint8_t> data = Resource(RT_MANIFEST, 1, kEnglishUs);
    ASSERT_FALSE(data.empty());
    const std::string xml(data.begin(), data.end());
    using Map = std::map<std::string, std::string>;

    EXPECT_EQ(Attributes(xml, "assemblyIdentity", 0),
              (Map{{"version", "1.0.0.0"},
                   {"processorArchitecture", QV_TEST_MANIFEST_ARCH},
                   {"name", "File"},
                   {"type", "win32"}}));
    EXPECT_NE(xml.find("<description>File</description>"), std::string::npos);
    EXPECT_EQ(Attributes(xml, "assemblyIdentity", 1),
              (Map{{"type", "win32"},
                   {"name", "Microsoft.Windows.Common-Controls"},
                   {"version", "6.0.0.0"},
                   {"processorArchitecture", QV_TEST_MANIFEST_ARCH},
                   {"publicKeyToken", "6595b64144ccf1df"},
                   {"language", "*"}}));
    EXPECT_EQ(Attributes(xml, "requestedExecutionLevel"),
              (Map{{"level", "asInvoker"}, {"uiAccess", "false"}}));
}

// The text of the `occurrence`-th element named `name` (between its start and end tags).
std::string TextOf(const std::string& xml, const std::string& name, int occurrence = 0)
{
    const size_t pos = ElementStart(xml, name, occurrence);
    if (pos == std::string::npos)
        return {};
    const size_t open = xml.find('>', pos);
    const size_t close = xml.find("</" + name + ">", open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    return xml.substr(open + 1, close - open - 1);
}

// Whether the `inner`-th occurrence of element `inner` lies inside the first element `outer`.
bool Inside(const std::string& xml, const std::string& outer, const std::string& inner,
            int occurrence = 0)
{
    const size_t begin = xml.find("<" + outer);
    const size_t end = xml.find("</" + outer + ">");
    const size_t pos = ElementStart(xml, inner, occurrence);
    if (pos == std::string::npos)
        return false;
    return begin != std::string::npos && end != std::string::npos && begin < pos && pos < end;
}

// Windows Vista, 7, 8, 8.1 and 10/11, in that order.
const char* const kSupportedOs[] = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
constexpr char kSettings2005[] = "http://schemas.microsoft.com/SMI/2005/WindowsSettings";
constexpr char kSettings2016[] = "http://schemas.microsoft.com/SMI/2016/WindowsSettings";

TEST_F(ProductResources, ManifestDeclaresWindowsVistaTo11)
{
    const std::vector<std::uint8_t> data = Resource(RT_MANIFEST, 1, kEnglishUs);
    ASSERT_FALSE(data.empty());
    const std::string xml(data.begin(), data.end());
    using Map = std::map<std::string, std::string>;

    EXPECT_EQ(Attributes(xml, "compatibility"),
              (Map{{"xmlns", "urn:schemas-microsoft-com:compatibility.v1"}}));
    std::vector<std::string> ids;
    for (int i = 0; !Attributes(xml, "supportedOS", i).empty(); ++i)
    {
        ids.push_back(Attributes(xml, "supportedOS", i)["Id"]);
        EXPECT_TRUE(Inside(xml, "compatibility", "supportedOS", i)) << i;
    }
    EXPECT_EQ(ids, std::vector<std::string>(std::begin(kSupportedOs), std::end(kSupportedOs)));
}

TEST_F(ProductResources, ManifestDeclaresPerMonitorDpiAwarenessWithFallback)
{
    const std::vector<std::uint8_t> data = Resource(RT_MANIFEST, 1, kEnglishUs);
    ASSERT_FALSE(data.empty());
    const std::string xml(data.begin(), data.end());
    using Map = std::map<std::string, std::string>;

    // The first "<application" is the compatibility section's; the settings are in the second.
    EXPECT_EQ(Attributes(xml, "application", 1),
              (Map{{"xmlns", "urn:schemas-microsoft-com:asm.v3"}}));
    EXPECT_TRUE(Inside(xml, "windowsSettings", "dpiAware"));
    EXPECT_TRUE(Inside(xml, "windowsSettings", "dpiAwareness"));
    // Per-monitor where the system knows it (8.1), system-wide before; v2 from Windows 10 1703.
    EXPECT_EQ(Attributes(xml, "dpiAware"), (Map{{"xmlns", kSettings2005}}));
    EXPECT_EQ(TextOf(xml, "dpiAware"), "true/pm");
    EXPECT_EQ(Attributes(xml, "dpiAwareness"), (Map{{"xmlns", kSettings2016}}));
    EXPECT_EQ(TextOf(xml, "dpiAwareness"), "PerMonitorV2, PerMonitor");
}

// The activation context the system builds from the exe's manifest.
class ProductActivationContext : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strPath = ProductExe();
        ACTCTXW context = {};
        context.cbSize = sizeof(context);
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = m_strPath.c_str();
        context.lpResourceName = MAKEINTRESOURCEW(1);
        m_hContext = ::CreateActCtxW(&context);
        ASSERT_NE(m_hContext, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
    }
    void TearDown() override
    {
        if (m_hContext != INVALID_HANDLE_VALUE)
            ::ReleaseActCtx(m_hContext);
    }

    std::wstring Setting(const char* space, const wchar_t* name) const
    {
        const std::wstring wideSpace = Widen(space);
        wchar_t value[128] = {};
        SIZE_T written = 0;
        if (!::QueryActCtxSettingsW(0, m_hContext, wideSpace.c_str(), name, value, 128, &written))
            return L"<none>";
        return value;
    }

    std::wstring m_strPath;
    HANDLE m_hContext = INVALID_HANDLE_VALUE;
};

TEST_F(ProductActivationContext, SystemReadsTheDpiSettings)
{
    EXPECT_EQ(Setting(kSettings2005, L"dpiAware"), L"true/pm");
    EXPECT_EQ(Setting(kSettings2016, L"dpiAwareness"), L"PerMonitorV2, PerMonitor");
}

TEST_F(ProductActivationContext, SystemReadsTheSupportedSystems)
{
    SIZE_T needed = 0;
    ::QueryActCtxW(0, m_hContext, nullptr, CompatibilityInformationInActivationContext, nullptr, 0,
                   &needed);
    ASSERT_GE(needed, sizeof(DWORD));
    std::vector<std::uint8_t> buffer(needed);
    ASSERT_TRUE(::QueryActCtxW(0, m_hContext, nullptr, CompatibilityInformationInActivationContext,
                               buffer.data(), buffer.size(), &needed));
    DWORD count = 0;
    std::memcpy(&count, buffer.data(), sizeof(count));
    ASSERT_EQ(count, std::size(kSupportedOs));
    // Newer systems add a 64-bit "max version tested" to each element, which moves the array to
    // an 8-byte boundary: the element size follows from the answer's size.
    const size_t plain = sizeof(GUID) + sizeof(DWORD);
    const size_t first = needed == sizeof(DWORD) + count * plain ? sizeof(DWORD) : 8;
    const size_t stride = (needed - first) / count;
    ASSERT_GE(stride, plain);
    for (DWORD i = 0; i < count; ++i)
    {
        GUID id = {};
        DWORD type = 0;
        std::memcpy(&id, buffer.data() + first + i * stride, sizeof(id));
        std::memcpy(&type, buffer.data() + first + i * stride + sizeof(GUID), sizeof(type));
        wchar_t text[64] = {};
        ASSERT_GT(::StringFromGUID2(id, text, 64), 0);
        EXPECT_EQ(::CompareStringOrdinal(text, -1, Widen(kSupportedOs[i]).c_str(), -1, TRUE),
                  CSTR_EQUAL)
            << i;
        EXPECT_EQ(type, static_cast<DWORD>(ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS)) << i;
    }
}

// Every resource of the installer is in Simplified Chinese, except the manifest.
TEST_F(ProductResources, LanguagesOfTheResources)
{
    EXPECT_FALSE(Resource(RT_VERSION, 1, kChinese).empty());
    EXPECT_FALSE(Resource(RT_DIALOG, IDD_PROGRESS_NOCANCEL, kChinese).empty());
    EXPECT_FALSE(Resource(RT_DIALOG, IDD_PROGRESS, kChinese).empty());
    EXPECT_FALSE(Resource(RT_MENU, IDR_TRAY_MENU, kChinese).empty());
    EXPECT_FALSE(Resource(RT_GROUP_ICON, IDI_APP, kChinese).empty());
    EXPECT_TRUE(Resource(RT_MANIFEST, 1, kChinese).empty());
    EXPECT_FALSE(Resource(RT_MANIFEST, 1, kEnglishUs).empty());
}

} // namespace
