#include "quenfa/runtime/worker_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include <oneapi/tbb/parallel_for.h>

namespace quenfa::runtime {
namespace {

// The pool is process-wide, so the test runs in a fresh process of its own.
void first_request_wins() {
  request_worker_pool(3);
  if (worker_pool().max_concurrency() != 3) std::exit(1);
  request_worker_pool(1);
  if (worker_pool().max_concurrency() != 3) std::exit(2);
  std::atomic<int> sum = 0;
  run_in_worker_pool([&] { oneapi::tbb::parallel_for(0, 1000, [&](int i) { sum += i; }); });
  std::exit(sum.load() == 999 * 1000 / 2 ? 0 : 3);
}

TEST(WorkerPool, FirstRequestFixesTheSizeAndLaterRequestsAreIgnored) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(first_request_wins(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quenfa::runtime
