#include "quenfa/runtime/stage_timer.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quenfa::runtime {

bool env_flag_present(const char* name) {
  return std::getenv(name) != nullptr;
}

StageTimer::StageTimer(bool enabled, const char* prefix)
    : enabled_(enabled), prefix_(prefix), start_(Clock::now()), stage_start_(start_) {}

void StageTimer::stage_done(std::string_view name) {
  if (!enabled_) return;
  write_line(name, stage_start_);
  stage_start_ = Clock::now();
}

void StageTimer::total_done() {
  if (enabled_) write_line("total", start_);
}

void StageTimer::counter(std::string_view name, std::uint64_t value) const {
  if (enabled_) write_text(name, std::to_string(value));
}

void StageTimer::write_line(std::string_view name, Clock::time_point since) const {
  double seconds = std::chrono::duration<double>(Clock::now() - since).count();
  if (!(seconds > 0.0)) seconds = 0.0;
  write_text(name, std::to_string(seconds));  // six digits after the point
}

void StageTimer::write_text(std::string_view name, const std::string& value) const {
  const std::string line = std::string(prefix_) + "\t" + std::string(name) + "\t" + value + "\n";
  std::fputs(line.c_str(), stderr);
}

}  // namespace quenfa::runtime
