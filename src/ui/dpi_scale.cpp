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

int IconSizeForDpi(int sizeAtDefault, uint32_t dpi)
{
    return ScaleForDpi(sizeAtDefault, kDefaultDpi, dpi == 0 ? kDefaultDpi : dpi);
}

} // namespace QV
