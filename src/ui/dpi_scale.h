// Pixel arithmetic of a window that follows its monitor's DPI: lengths, rectangles and icon sizes
// laid out at one DPI and wanted at another, with the same rounding as the system's MulDiv. No
// window involved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace QV
{

// The DPI at which one logical pixel is one screen pixel (100 % scaling).
inline constexpr uint32_t kDefaultDpi = 96;

// `value` laid out at `fromDpi`, at `toDpi`: value × toDpi / fromDpi rounded half away from
// zero (as MulDiv). A DPI of 0 on either side leaves `value` unchanged.
int ScaleForDpi(int value, uint32_t fromDpi, uint32_t toDpi);

// A window or control rectangle: left and top inclusive, right and bottom exclusive.
struct DpiRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool operator==(const DpiRect& other) const
    {
        return left == other.left && top == other.top && right == other.right &&
               bottom == other.bottom;
    }
};

// Each edge of `rect` scaled on its own (not origin and size), so that controls that touch at
// one DPI still touch at another.
DpiRect ScaleRectForDpi(const DpiRect& rect, uint32_t fromDpi, uint32_t toDpi);

// The dialog base units of a dialog font: one horizontal dialog unit is x / 4 pixels, one
// vertical unit y / 8.
struct DialogBaseUnits
{
    int x = 0;
    int y = 0;
};

// The base units the dialog manager takes from a font (as GdiGetCharDimensions): the width of
// the 52 letters A-Z a-z as one line, averaged and rounded as (width / 26 + 1) / 2, and the
// font's height (tmHeight).
DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int textHeight);

// A rectangle in dialog units as the dialog manager places it in pixels: its origin and its size
// each mapped with MulDiv(x, base.x, 4) and MulDiv(y, base.y, 8). Zero base units give an empty
// rectangle.
DpiRect DialogUnitsToPixels(const DpiRect& units, DialogBaseUnits base);

// The dialog units a rectangle placed by the dialog manager came from: the nearest whole units of
// its origin and size (exact while a unit is wider than a pixel, base.x > 4 and base.y > 8). Zero
// base units give an empty rectangle.
DpiRect PixelsToDialogUnits(const DpiRect& pixels, DialogBaseUnits base);

// The DPI a font of `points` points was made for, from its height in pixels (LOGFONT's lfHeight,
// either sign): the dialog manager makes a template's font -MulDiv(points, dpi, 72) high. Rounded
// to the nearest DPI; 0 when either is 0.
uint32_t DpiOfFontHeight(int fontHeight, int points);

// The point size of the font of an extended dialog template (DLGTEMPLATEEX with DS_SETFONT or
// DS_SHELLFONT), read from its bytes; none for another template, one without a font, or one that
// ends early.
std::optional<uint16_t> DialogTemplatePointSize(const uint8_t* data, size_t size);

// The edge length of an icon that is `sizeAtDefault` pixels at 96 DPI (16 for the small icon, 32
// for the large one), at `dpi`. A DPI of 0 counts as 96.
int IconSizeForDpi(int sizeAtDefault, uint32_t dpi);

// The scalings Windows offers from 100 % to 200 % in 25 % steps, as DPIs; the icon resource
// carries an image for the small and the large icon at each of them.
inline constexpr uint32_t kScalingStepDpis[] = {96, 120, 144, 168, 192};

} // namespace QV
