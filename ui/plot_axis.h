#pragma once

#include <QString>

namespace ui {

// Round tick marks for a plot axis: first, first + step, ... up to last, with a step of 1, 2, 2.5
// or 5 times a power of ten.
struct AxisTicks {
    double first = 0;
    double last = 0;
    double step = 1;
    int decimals = 0;  // enough to tell neighbouring ticks apart, no more

    bool operator==(const AxisTicks&) const = default;
    QString Label(double value) const;  // "C" number rules, as the read-out's
};

// At most `maxTicks` ticks (at least 2) that cover [low, high]; the axis then runs from first to
// last. A range of zero width gets one step around it.
AxisTicks CoveringTicks(double low, double high, int maxTicks);
// The ticks that lie inside [low, high], which stays the axis's range (a time axis).
AxisTicks InsideTicks(double low, double high, int maxTicks);

}  // namespace ui
