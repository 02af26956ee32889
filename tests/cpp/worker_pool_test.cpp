#include "quenfa/runtime/worker_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>

#include <oneapi/tbb/parallel_for.h>

namespace quenfa::runtime {
namespace {

TEST(WorkerPool, FirstRequestFixesTheSizeAndLaterRequestsAreIgnored) {
  request_worker_pool(3);
  EXPECT_EQ(worker_pool().max_concurrency(), 3);
  request_worker_pool(1);
  EXPECT_EQ(worker_pool().max_concurrency(), 3);

  std::atomic<int> sum = 0;
  run_in_worker_pool([&] { oneapi::tbb::parallel_for(0, 1000, [&](int i) { sum += i; }); });
  EXPECT_EQ(sum.load(), 999 * 1000 / 2);
}

}  // namespace
}  // namespace quenfa::runtime
