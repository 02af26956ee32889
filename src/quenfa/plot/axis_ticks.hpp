// The vertical axis of the enrichment plot: range, tick values and labels.
#pragma once

#include <string>
#include <vector>

namespace quenfa::plot {

// A "nice" tick step (1, 2 or 5 times a power of ten) for a span of values.
double nice_tick_step(double span);

struct AxisTicks {
  double bottom = 0.0, top = 0.0, step = 0.0;
  std::vector<double> values;  // ascending, from bottom; near-zero values are 0
};

// Ticks for the data range [ymin, ymax] (finite, ymin <= 0 <= ymax). Ranges
// almost entirely above 0 get an axis from 0 up, ranges almost entirely
// below 0 one from below up to 0, others one spanning both sides.
AxisTicks compute_axis_ticks(double ymin, double ymax);

// Tick labels with just enough decimals for the step.
std::vector<std::string> tick_labels(const AxisTicks& ticks);

}  // namespace quenfa::plot
