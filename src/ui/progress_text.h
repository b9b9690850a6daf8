// What the progress dialog shows for one progress report: the bar position, the percentage and
// the speed and sizes line, computed from the byte counts and the speed. No window involved.
#pragma once

#include <cstdint>
#include <string>

namespace QV
{

// One progress display: the bar position (whole percent) and the two texts.
struct ProgressDisplay
{
    uint32_t position = 0;
    // False when the report carries no total: the percentage and speed controls keep what they
    // show, and the two texts below are empty and meaningless.
    bool hasTexts = false;
    std::wstring percentText; // e.g. "15.0 %"
    std::wstring speedText;   // e.g. "146.48 KB/s (1.50 MB/10.00 MB)"
};

// The display for `received` of `total` bytes at `speed` bytes per millisecond. Total 0: position
// 0 and no texts. Otherwise the position is received × 100 / total rounded down (formed in 64
// bits; a count beyond the total is held at 100, the top of the bar); the texts use the byte
// counts converted to float, then double arithmetic, as "%.01f %%" and
// "%.02f KB/s (%.02f MB/%.02f MB)". A formatting failure leaves the affected text empty.
ProgressDisplay ComputeProgressDisplay(uint32_t total, uint32_t received, double speed);

// Which parts of a display differ from the one on screen, so that unchanged window calls may be
// skipped. Texts count as changed only when `next` carries texts.
struct ProgressDisplayChanges
{
    bool position = false;
    bool percentText = false;
    bool speedText = false;

    bool Any() const { return position || percentText || speedText; }
};

// Compares `next` with `shown`, the display last written to the controls (a default-constructed
// one matches the controls' start: bar 0, texts empty).
ProgressDisplayChanges CompareProgressDisplay(const ProgressDisplay& shown,
                                              const ProgressDisplay& next);

// Folds `next` into `shown` the way the controls change when `next` is written: the position
// always, the texts only when `next` carries texts.
void ApplyProgressDisplay(ProgressDisplay& shown, const ProgressDisplay& next);

} // namespace QV
