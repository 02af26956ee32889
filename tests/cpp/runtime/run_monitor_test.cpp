#include "quenfa/runtime/run_monitor.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "quenfa/runtime/polled_run.hpp"

namespace quenfa::runtime {
namespace {

using namespace std::chrono_literals;

TEST(RunMonitor, ReportsTheCurrentStageAndStopsEveryBoundaryOnceAsked) {
  RunMonitor monitor;
  EXPECT_FALSE(monitor.report().has_value());
  monitor.begin_stage(stage::kPermutations, 10);
  monitor.advance(4);
  monitor.advance();
  const ProgressReport report = *monitor.report();
  EXPECT_STREQ(report.stage, "permutations");
  EXPECT_EQ(report.done, 5u);
  EXPECT_EQ(report.total, 10u);
  monitor.begin_stage(stage::kMultilevel, 3);
  EXPECT_EQ(monitor.report()->done, 0u);

  monitor.request_stop();
  EXPECT_THROW(monitor.check_stop(), RunInterrupted);
  EXPECT_THROW(monitor.advance(), RunInterrupted);
  EXPECT_THROW(monitor.begin_stage(stage::kScoring, 1), RunInterrupted);
}

TEST(RunMonitor, ScopesInstallTheCurrentRunPerThreadAndRestoreTheOuterOne) {
  RunMonitor outer, inner;
  RunMonitor& idle = current_run();
  EXPECT_NE(&idle, &outer);
  {
    const RunScope a(outer);
    {
      const RunScope b(inner);
      EXPECT_EQ(&current_run(), &inner);
      std::thread([&] { EXPECT_EQ(&current_run(), &idle); }).join();
    }
    EXPECT_EQ(&current_run(), &outer);
  }
  EXPECT_EQ(&current_run(), &idle);
}

TEST(PolledRun, PollsWhileTheWorkRunsAndStopsPollingOnceTold) {
  std::atomic<bool> stop = false;
  int polls = 0;
  const int value = run_polled(
      [&] {
        while (!stop) std::this_thread::sleep_for(1ms);
        return 7;
      },
      [&] {
        ++polls;
        stop = true;
        return false;
      },
      5ms);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(polls, 1);
}

TEST(PolledRun, RethrowsWhatTheWorkThrew) {
  EXPECT_THROW(run_polled([]() -> int { throw std::runtime_error("work failed"); },
                          [] { return true; }, 1ms),
               std::runtime_error);
}

}  // namespace
}  // namespace quenfa::runtime
