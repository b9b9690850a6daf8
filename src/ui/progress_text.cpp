#include "ui/progress_text.h"

#include "common/format_string.h"

namespace QV
{

namespace
{
constexpr double kPerKilo = 0.0009765625; // exactly 1/1024
constexpr uint64_t kFullBar = 100;
} // namespace

ProgressDisplay ComputeProgressDisplay(uint32_t total, uint32_t received, double speed)
{
    ProgressDisplay display;
    if (total == 0)
        return display;

    uint64_t position = static_cast<uint64_t>(received) * 100u / total;
    display.position = static_cast<uint32_t>(position < kFullBar ? position : kFullBar);

    // The single-precision step is part of what is shown: near 4 GiB the texts follow the
    // rounded float values, not the exact counts.
    double r = static_cast<float>(received);
    double t = static_cast<float>(total);
    display.hasTexts = true;
    FormatString(display.percentText, L"%.01f %%", r * 100.0 / t);
    FormatString(display.speedText, L"%.02f KB/s (%.02f MB/%.02f MB)", speed * 1000.0 * kPerKilo,
                 r * kPerKilo * kPerKilo, t * kPerKilo * kPerKilo);
    return display;
}

ProgressDisplayChanges CompareProgressDisplay(const ProgressDisplay& shown,
                                              const ProgressDisplay& next)
{
    ProgressDisplayChanges changes;
    changes.position = shown.position != next.position;
    if (next.hasTexts)
    {
        changes.percentText = shown.percentText != next.percentText;
        changes.speedText = shown.speedText != next.speedText;
    }
    return changes;
}

void ApplyProgressDisplay(ProgressDisplay& shown, const ProgressDisplay& next)
{
    shown.position = next.position;
    if (next.hasTexts)
    {
        shown.hasTexts = true;
        shown.percentText = next.percentText;
        shown.speedText = next.speedText;
    }
}

} // namespace QV
