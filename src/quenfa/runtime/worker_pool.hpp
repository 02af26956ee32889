// The process-wide worker pool: one lazily created oneTBB arena whose size is
// fixed by the first request and never changes afterwards.
#pragma once

#include <cstddef>

#include <oneapi/tbb/task_arena.h>

namespace quenfa::runtime {

// Asks for the pool to be created with exactly `threads` threads (threads > 0).
// Ignored without a message when the pool already exists or cannot be built.
void request_worker_pool(std::size_t threads);

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
