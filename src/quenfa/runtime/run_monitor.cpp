#include "quenfa/runtime/run_monitor.hpp"

namespace quenfa::runtime {

namespace {

thread_local RunMonitor* installed = nullptr;

}  // namespace

void RunMonitor::begin_stage(const char* stage, std::uint64_t total) {
  check_stop();
  std::lock_guard lock(mutex_);
  stage_ = stage;
  total_ = total;
  done_.store(0, std::memory_order_relaxed);
}

void RunMonitor::advance(std::uint64_t units) {
  done_.fetch_add(units, std::memory_order_relaxed);
  check_stop();
}

void RunMonitor::check_stop() const {
  if (stop_requested()) throw RunInterrupted();
}

std::optional<ProgressReport> RunMonitor::report() const {
  std::lock_guard lock(mutex_);
  if (stage_ == nullptr) return std::nullopt;
  return ProgressReport{stage_, done_.load(std::memory_order_relaxed), total_};
}

RunMonitor& current_run() {
  // Shared by every unmonitored run; nobody stops it and nobody reads it.
  static RunMonitor* idle = new RunMonitor();
  return installed != nullptr ? *installed : *idle;
}

RunScope::RunScope(RunMonitor& monitor) : previous_(installed) {
  installed = &monitor;
}

RunScope::~RunScope() {
  installed = previous_;
}

}  // namespace quenfa::runtime
