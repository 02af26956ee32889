// Progress and interruption of one analysis. The engine reports (stage,
// done, total) at chunk and group boundaries from any of its threads and
// stops there once a stop was requested; an observer on another thread reads
// the progress and requests the stop. Neither side changes a result.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>

namespace quenfa::runtime {

// Stage names, short and stable: callers show them to users.
namespace stage {
inline constexpr const char* kPermutations = "permutations";
inline constexpr const char* kMultilevel = "multilevel";
inline constexpr const char* kCalibration = "calibration";
inline constexpr const char* kScoring = "scoring";
inline constexpr const char* kDecorCache = "decor cache";
inline constexpr const char* kDecorNull = "decor null";
inline constexpr const char* kDecorRefinement = "decor refinement";
}  // namespace stage

// Thrown at a boundary once a stop was requested; it unwinds the engine
// (parallel loops pass it on to their caller) up to the analysis entry,
// which turns it into an error.
class RunInterrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "analysis interrupted"; }
};

struct ProgressReport {
  const char* stage = nullptr;
  std::uint64_t done = 0;
  std::uint64_t total = 0;
};

class RunMonitor {
 public:
  // Engine side. Starts a stage of `total` units (calling thread of the
  // engine, between parallel regions); throws RunInterrupted after a stop.
  void begin_stage(const char* stage, std::uint64_t total);
  // Counts `units` more of the current stage done (any thread); throws
  // RunInterrupted after a stop.
  void advance(std::uint64_t units = 1);
  // Throws RunInterrupted after a stop (any thread).
  void check_stop() const;

  // Observer side, any thread.
  void request_stop() noexcept { stop_.store(true, std::memory_order_relaxed); }
  bool stop_requested() const noexcept { return stop_.load(std::memory_order_relaxed); }
  // The current stage and its counts; empty before the first stage.
  std::optional<ProgressReport> report() const;

 private:
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> done_{0};
  mutable std::mutex mutex_;  // stage_ and total_, and done_ against a stage change
  const char* stage_ = nullptr;
  std::uint64_t total_ = 0;
};

// The monitor of the analysis running on this thread: the one installed by
// the innermost RunScope, or an idle one that is never stopped. Engines take
// it on their calling thread and hand it to their parallel tasks.
RunMonitor& current_run();

// Installs `monitor` as this thread's current_run() for the scope's lifetime.
class RunScope {
 public:
  explicit RunScope(RunMonitor& monitor);
  ~RunScope();
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

 private:
  RunMonitor* previous_;
};

}  // namespace quenfa::runtime
