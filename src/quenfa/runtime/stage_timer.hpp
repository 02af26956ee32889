// Per-stage wall-clock lines on standard error, switched on by the presence
// of an environment variable.
#pragma once

#include <chrono>
#include <string_view>

namespace quenfa::runtime {

// True when the variable is set, whatever its value (an empty one included).
bool env_flag_present(const char* name);

class StageTimer {
 public:
  explicit StageTimer(bool enabled);

  // Writes "QUENFA_STAGE\t{name}\t{seconds}" for the stage that ends now and
  // starts the next one.
  void stage_done(std::string_view name);
  // Writes the line "total" for the time since construction.
  void total_done();

 private:
  using Clock = std::chrono::steady_clock;
  void write_line(std::string_view name, Clock::time_point since) const;

  bool enabled_;
  Clock::time_point start_;
  Clock::time_point stage_start_;
};

}  // namespace quenfa::runtime
