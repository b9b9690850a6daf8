#include "ui/dpi_scale.h"

namespace QV
{

namespace
{
// value × numerator / denominator rounded half away from zero, as the system's MulDiv; formed in
// 64 bits. The denominator must not be 0.
int MulDivRounded(int value, int64_t numerator, int64_t denominator)
{
    const int64_t product = static_cast<int64_t>(value) * numerator;
    const int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}
} // namespace

int ScaleForDpi(int value, uint32_t fromDpi, uint32_t toDpi)
{
    if (fromDpi == 0 || toDpi == 0)
        return value;
    return MulDivRounded(value, toDpi, fromDpi);
}

DpiRect ScaleRectForDpi(const DpiRect& rect, uint32_t fromDpi, uint32_t toDpi)
{
    return {ScaleForDpi(rect.left, fromDpi, toDpi), ScaleForDpi(rect.top, fromDpi, toDpi),
            ScaleForDpi(rect.right, fromDpi, toDpi), ScaleForDpi(rect.bottom, fromDpi, toDpi)};
}

DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int textHeight)
{
    return {(alphabetWidth / 26 + 1) / 2, textHeight};
}

DpiRect DialogUnitsToPixels(const DpiRect& units, DialogBaseUnits base)
{
    if (base.x <= 0 || base.y <= 0)
        return {};
    const int left = MulDivRounded(units.left, base.x, 4);
    const int top = MulDivRounded(units.top, base.y, 8);
    return {left, top, left + MulDivRounded(units.right - units.left, base.x, 4),
            top + MulDivRounded(units.bottom - units.top, base.y, 8)};
}

DpiRect PixelsToDialogUnits(const DpiRect& pixels, DialogBaseUnits base)
{
    if (base.x <= 0 || base.y <= 0)
        return {};
    const int left = MulDivRounded(pixels.left, 4, base.x);
    const int top = MulDivRounded(pixels.top, 8, base.y);
    return {left, top, left + MulDivRounded(pixels.right - pixels.left, 4, base.x),
            top + MulDivRounded(pixels.bottom - pixels.top, 8, base.y)};
}

uint32_t DpiOfFontHeight(int fontHeight, int points)
{
    if (fontHeight == 0 || points <= 0)
        return 0;
    const int height = fontHeight < 0 ? -fontHeight : fontHeight;
    return static_cast<uint32_t>(MulDivRounded(height, 72, points));
}

std::optional<uint16_t> DialogTemplatePointSize(const uint8_t* data, size_t size)
{
    size_t pos = 0;
    auto word = [&](uint16_t& value)
    {
        if (data == nullptr || pos + 2 > size)
            return false;
        value = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        return true;
    };
    // A name or ordinal field: 0 (none), 0xFFFF and a number, or a NUL-ended UTF-16 text.
    auto skipField = [&]
    {
        uint16_t first = 0;
        if (!word(first))
            return false;
        if (first == 0xFFFF)
            return word(first);
        for (uint16_t c = first; c != 0;)
        {
            if (!word(c))
                return false;
        }
        return true;
    };
    constexpr uint32_t kSetFont = 0x40; // DS_SETFONT; DS_SHELLFONT includes it
    uint16_t version = 0, signature = 0, ignored = 0, styleLow = 0;
    if (!word(version) || !word(signature) || version != 1 || signature != 0xFFFF)
        return std::nullopt;
    // Help id and extended style (two words each), then the style's low word.
    for (int i = 0; i < 4; ++i)
    {
        if (!word(ignored))
            return std::nullopt;
    }
    if (!word(styleLow) || !word(ignored) || (styleLow & kSetFont) == 0)
        return std::nullopt;
    // Item count, x, y, cx, cy; menu, class, title.
    for (int i = 0; i < 5; ++i)
    {
        if (!word(ignored))
            return std::nullopt;
    }
    if (!skipField() || !skipField() || !skipField())
        return std::nullopt;
    uint16_t points = 0;
    if (!word(points))
        return std::nullopt;
    return points;
}

int IconSizeForDpi(int sizeAtDefault, uint32_t dpi)
{
    return ScaleForDpi(sizeAtDefault, kDefaultDpi, dpi == 0 ? kDefaultDpi : dpi);
}

} // namespace QV
