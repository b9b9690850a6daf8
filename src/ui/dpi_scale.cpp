#include "ui/dpi_scale.h"

namespace QV
{

int ScaleForDpi(int value, uint32_t fromDpi, uint32_t toDpi)
{
    if (fromDpi == 0 || toDpi == 0)
        return value;
    const int64_t product = static_cast<int64_t>(value) * static_cast<int64_t>(toDpi);
    const int64_t divisor = static_cast<int64_t>(fromDpi);
    const int64_t half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor
                                         : -((-product + half) / divisor));
}

DpiRect ScaleRectForDpi(const DpiRect& rect, uint32_t fromDpi, uint32_t toDpi)
{
    return {ScaleForDpi(rect.left, fromDpi, toDpi), ScaleForDpi(rect.top, fromDpi, toDpi),
            ScaleForDpi(rect.right, fromDpi, toDpi), ScaleForDpi(rect.bottom, fromDpi, toDpi)};
}

int IconSizeForDpi(int sizeAtDefault, uint32_t dpi)
{
    return ScaleForDpi(sizeAtDefault, kDefaultDpi, dpi == 0 ? kDefaultDpi : dpi);
}

} // namespace QV
