// The process-wide worker pool: one lazily created oneTBB arena whose size is
// fixed by the first request and never changes afterwards.
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

// The pool, created with the number of logical CPUs when nothing asked first.
oneapi::tbb::task_arena& worker_pool();

// The number of threads a parallel region may use at most in this process
// (oneTBB's max_allowed_parallelism). A local arena sized above it would only
// make oneTBB print a warning and run with fewer threads anyway.
std::size_t thread_limit();

// Runs `body` inside the pool, so its parallel loops use the pool's threads.
template <class F>
decltype(auto) run_in_worker_pool(F&& body) {
  return worker_pool().execute(static_cast<F&&>(body));
}

}  // namespace quenfa::runtime
