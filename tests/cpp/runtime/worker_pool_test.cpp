#include "quenfa/runtime/worker_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <oneapi/tbb/parallel_for.h>

namespace quenfa::runtime {
namespace {

// The pool is process-wide, so the test runs in a fresh process of its own.
void first_request_wins() {
  if (!request_worker_pool(3) || worker_pool_size() != 3) std::exit(1);
  if (!request_worker_pool(1) || worker_pool_size() != 3) std::exit(2);
  std::atomic<int> sum = 0;
  run_in_worker_pool([&] { oneapi::tbb::parallel_for(0, 1000, [&](int i) { sum += i; }); });
  std::exit(sum.load() == 999 * 1000 / 2 ? 0 : 3);
}

TEST(WorkerPool, FirstRequestFixesTheSizeAndLaterRequestsAreIgnored) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(first_request_wins(), ::testing::ExitedWithCode(0), "");
}

// A request far above the machine gets the cap, not that many threads.
void huge_request_is_capped() {
  if (!request_worker_pool(65536)) std::exit(1);
  const std::size_t size = worker_pool_size();
  std::exit(size == thread_cap() ? 0 : 2);
}

TEST(WorkerPool, RequestsAboveTheCapGetTheCap) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_GE(thread_cap(), 8u);
  EXPECT_EXIT(huge_request_is_capped(), ::testing::ExitedWithCode(0), "");
}

// Two threads inside the pool at once, though its arenas have one slot: each
// holds an arena of its own. With one shared arena the second would wait for
// the first, which waits for the second, until the deadline.
void callers_run_side_by_side() {
  if (!request_worker_pool(1)) std::exit(1);
  std::atomic<int> inside = 0;
  auto meet = [&] {
    run_in_worker_pool([&] {
      ++inside;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (inside.load() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
      }
      // A nested region stays on the arena the thread holds.
      run_in_worker_pool([] {});
    });
  };
  std::thread first(meet), second(meet);
  first.join();
  second.join();
  std::exit(inside.load() == 2 ? 0 : 2);
}

TEST(WorkerPool, CallersFromSeveralThreadsRunSideBySide) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(callers_run_side_by_side(), ::testing::ExitedWithCode(0), "");
}

TEST(WorkerPool, ThreadStartCheckStartsAndJoinsUpToTheCap) {
  EXPECT_TRUE(check_threads_can_start(0));
  EXPECT_TRUE(check_threads_can_start(1));
  EXPECT_TRUE(check_threads_can_start(std::size_t{1} << 40));
}

}  // namespace
}  // namespace quenfa::runtime
