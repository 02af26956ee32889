#include "quenfa/plot/axis_ticks.hpp"

#include <algorithm>
#include <cmath>

#include "quenfa/plot/number_format.hpp"

namespace quenfa::plot {

namespace {

double round_up_to_nice(double f) {
  return f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10;
}
double round_to_nice(double f) {
  return f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10;
}

// Tick values from `first` in steps of `step` (repeated addition) while not
// above `limit`.
std::vector<double> ticks_from(double first, double limit, double step) {
  std::vector<double> values;
  for (double v = first; v <= limit; v += step) {
    values.push_back(std::fabs(v) < step * 1e-6 ? 0.0 : v);
  }
  return values;
}

}  // namespace

double nice_tick_step(double span) {
  const double e1 = std::floor(std::log10(span));
  const double raw = std::pow(10.0, e1) * round_up_to_nice(span / std::pow(10.0, e1)) / 5;
  const double e2 = std::floor(std::log10(std::fabs(raw)));
  return std::pow(10.0, e2) * round_to_nice(raw / std::pow(10.0, e2));
}

AxisTicks compute_axis_ticks(double ymin, double ymax) {
  AxisTicks t;
  if (ymin >= 0 || (ymax > 0 && -ymin / ymax <= 0.05)) {
    t.step = nice_tick_step(std::max(ymax, 1e-12));
    t.bottom = 0;
    t.top = std::ceil(ymax / t.step) * t.step;
    t.values = ticks_from(0, t.top + t.step / 2, t.step);
  } else if (ymax <= 0 || ymax / -ymin <= 0.05) {
    t.step = nice_tick_step(std::max(-ymin, 1e-12));
    t.bottom = std::floor(ymin / t.step) * t.step;
    t.top = 0;
    t.values = ticks_from(t.bottom, t.step / 2, t.step);
  } else {
    t.step = nice_tick_step(ymax - ymin);
    t.bottom = std::floor(ymin / t.step) * t.step;
    t.top = std::ceil(ymax / t.step) * t.step;
    t.values = ticks_from(t.bottom, t.top + t.step / 2, t.step);
  }
  return t;
}

std::vector<std::string> tick_labels(const AxisTicks& ticks) {
  const int decimals =
      ticks.step >= 1 ? 0 : std::max(0, static_cast<int>(std::ceil(-std::log10(ticks.step))));
  std::vector<std::string> labels;
  for (double v : ticks.values) labels.push_back(format_fixed(v, decimals));
  return labels;
}

}  // namespace quenfa::plot
