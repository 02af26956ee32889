// Runs a piece of work on a thread of its own while the calling thread polls
// at a fixed interval, so that a caller that must stay responsive (to a
// signal, to show progress) can do so whatever the work's granularity.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace quenfa::runtime {

// Runs `work()` on a new thread and calls `poll()` on the calling thread
// every `interval` until the work ends; returns (or rethrows) what the work
// returned (or threw). Once `poll()` returns false it is not called again
// (the caller asks the work to stop through its own channel); `poll` must
// not throw. When no thread can be started, the work runs on the calling
// thread unpolled.
template <class Work, class Poll>
auto run_polled(Work&& work, Poll&& poll, std::chrono::milliseconds interval) {
  using Value = decltype(work());
  std::optional<Value> value;
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable finished_cv;
  bool finished = false;
  std::thread worker;
  try {
    worker = std::thread([&] {
      try {
        value.emplace(work());
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard lock(mutex);
      finished = true;
      finished_cv.notify_one();
    });
  } catch (const std::system_error&) {
    return work();
  }
  bool polling = true;
  std::unique_lock lock(mutex);
  while (!finished_cv.wait_for(lock, interval, [&] { return finished; })) {
    if (!polling) continue;
    lock.unlock();
    polling = poll();
    lock.lock();
  }
  lock.unlock();
  worker.join();
  if (failure) std::rethrow_exception(failure);
  return std::move(*value);
}

}  // namespace quenfa::runtime
