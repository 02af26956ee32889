// Per-stage wall-clock lines on standard error, switched on by the presence
// of an environment variable.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenfa::runtime {

// True when the variable is set, whatever its value (an empty one included).
bool env_flag_present(const char* name);

class StageTimer {
 public:
  // Lines start with `prefix` (a static string), e.g. "QUENFA_STAGE".
  StageTimer(bool enabled, const char* prefix);

  // Writes "{prefix}\t{name}\t{seconds}" (six decimals) for the stage that
  // ends now and starts the next one.
  void stage_done(std::string_view name);
  // Writes the line "total" for the time since construction.
  void total_done();
  // Writes "{prefix}\t{name}\t{value}".
  void counter(std::string_view name, std::uint64_t value) const;

 private:
  using Clock = std::chrono::steady_clock;
  void write_line(std::string_view name, Clock::time_point since) const;
  void write_text(std::string_view name, const std::string& value) const;

  bool enabled_;
  const char* prefix_;
  Clock::time_point start_;
  Clock::time_point stage_start_;
};

}  // namespace quenfa::runtime
