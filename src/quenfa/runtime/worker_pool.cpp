#include "quenfa/runtime/worker_pool.hpp"

#include <memory>
#include <mutex>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>

namespace quenfa::runtime {

namespace {

struct Pool {
  std::mutex mutex;
  // Lifts oneTBB's process limit of worker threads when more threads than
  // logical CPUs are requested; kept alive as long as the pool.
  std::unique_ptr<oneapi::tbb::global_control> limit;
  std::unique_ptr<oneapi::tbb::task_arena> arena;
};

Pool& pool() {
  static Pool* p = new Pool();  // never destroyed: worker threads may outlive static teardown
  return *p;
}

void create_locked(Pool& p, std::size_t threads) {
  const int n = static_cast<int>(threads);
  if (n > oneapi::tbb::info::default_concurrency()) {
    p.limit = std::make_unique<oneapi::tbb::global_control>(
        oneapi::tbb::global_control::max_allowed_parallelism, threads);
  }
  auto arena = std::make_unique<oneapi::tbb::task_arena>(n);
  arena->initialize();
  p.arena = std::move(arena);
}

}  // namespace

void request_worker_pool(std::size_t threads) {
  if (threads == 0 || threads > 65536) return;
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  if (p.arena) return;
  try {
    create_locked(p, threads);
  } catch (...) {
    p.limit.reset();  // a pool that cannot be built is left to the default
  }
}

std::size_t thread_limit() {
  return oneapi::tbb::global_control::active_value(
      oneapi::tbb::global_control::max_allowed_parallelism);
}

oneapi::tbb::task_arena& worker_pool() {
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  if (!p.arena)
    create_locked(p, static_cast<std::size_t>(oneapi::tbb::info::default_concurrency()));
  return *p.arena;
}

}  // namespace quenfa::runtime
