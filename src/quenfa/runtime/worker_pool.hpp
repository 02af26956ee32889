// The process-wide worker pool: oneTBB arenas of one size, fixed by the first
// request and never changed afterwards. Each thread that runs an analysis
// holds an arena of its own for the duration, so analyses started from
// several threads run side by side instead of queueing for one arena's slots.
#pragma once

#include <cstddef>

#include <oneapi/tbb/task_arena.h>

#include "quenfa/core/result.hpp"

namespace quenfa::runtime {

// The most threads any pool of this process runs: four per logical CPU
// available to the process, and never fewer than eight. Thread counts asked
// for above it are lowered to it; what a count means for results does not
// depend on this.
std::size_t thread_cap();

// Checks that `threads` threads (at most the cap) can be started now, by
// starting and joining them; fails with a message naming the count and the
// system's reason when one cannot be started.
Status check_threads_can_start(std::size_t threads);

// Asks for the pool to be created with min(threads, thread_cap()) threads
// (threads > 0) and waits until its threads can be started. Ignored without a
// message when the pool already exists; fails when the threads cannot be
// started, leaving no pool behind.
Status request_worker_pool(std::size_t threads);

// The number of threads of every arena of the pool; the first call without
// an earlier request fixes it to the number of logical CPUs.
std::size_t worker_pool_size();

// The number of threads a parallel region may use at most in this process
// (oneTBB's max_allowed_parallelism). A local arena sized above it would only
// make oneTBB print a warning and run with fewer threads anyway.
std::size_t thread_limit();

// An arena of the pool held by the calling thread: an idle one, or a new one
// when every arena is busy. A thread that already holds one gets the same
// arena again, so nested regions stay on it. Arenas are kept for reuse and
// never destroyed (worker threads may outlive static teardown).
class ArenaLease {
 public:
  ArenaLease();
  ~ArenaLease();
  ArenaLease(const ArenaLease&) = delete;
  ArenaLease& operator=(const ArenaLease&) = delete;

  oneapi::tbb::task_arena& arena() { return *arena_; }

 private:
  oneapi::tbb::task_arena* arena_;
  bool nested_;
};

// Runs `body` inside an arena of the pool, so its parallel loops use the
// pool's threads.
template <class F>
decltype(auto) run_in_worker_pool(F&& body) {
  ArenaLease lease;
  return lease.arena().execute(static_cast<F&&>(body));
}

}  // namespace quenfa::runtime
