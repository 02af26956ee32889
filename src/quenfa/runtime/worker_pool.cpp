#include "quenfa/runtime/worker_pool.hpp"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>

namespace quenfa::runtime {

namespace {

struct Pool {
  std::mutex mutex;
  std::size_t threads = 0;  // 0 until the size is fixed
  // Lifts oneTBB's process limit of worker threads when more threads than
  // logical CPUs are requested; kept alive as long as the pool.
  std::unique_ptr<oneapi::tbb::global_control> limit;
  std::vector<oneapi::tbb::task_arena*> idle;
};

Pool& pool() {
  static Pool* p = new Pool();  // never destroyed: worker threads may outlive static teardown
  return *p;
}

oneapi::tbb::task_arena* new_arena(std::size_t threads) {
  auto* arena = new oneapi::tbb::task_arena(static_cast<int>(threads));
  arena->initialize();
  return arena;
}

// Fixes the pool's size and makes its first arena.
void create_locked(Pool& p, std::size_t threads) {
  if (static_cast<int>(threads) > oneapi::tbb::info::default_concurrency()) {
    p.limit = std::make_unique<oneapi::tbb::global_control>(
        oneapi::tbb::global_control::max_allowed_parallelism, threads);
  }
  p.idle.push_back(new_arena(threads));
  p.threads = threads;
}

void fix_default_size_locked(Pool& p) {
  if (p.threads == 0) {
    create_locked(p, static_cast<std::size_t>(oneapi::tbb::info::default_concurrency()));
  }
}

// The arena the calling thread holds, if any.
thread_local oneapi::tbb::task_arena* held_arena = nullptr;

Error thread_start_error(std::size_t threads, const std::string& reason) {
  return Error{"Failed to start " + std::to_string(threads) + " worker threads: " + reason};
}

}  // namespace

std::size_t thread_cap() {
  const auto cpus = static_cast<std::size_t>(std::max(1, oneapi::tbb::info::default_concurrency()));
  return std::max<std::size_t>(4 * cpus, 8);
}

Status check_threads_can_start(std::size_t threads) {
  // oneTBB starts its threads lazily and ends the process when one cannot be
  // started, so the system is asked first: all of them at once, each waiting
  // until the last has started.
  std::mutex mutex;
  std::condition_variable released_cv;
  bool released = false;
  std::vector<std::thread> started;
  std::string failure;
  const std::size_t wanted = std::min(threads, thread_cap());
  const std::size_t extra = wanted == 0 ? 0 : wanted - 1;  // the calling thread is one of them
  started.reserve(extra);
  for (std::size_t i = 0; i < extra; ++i) {
    try {
      started.emplace_back([&] {
        std::unique_lock lock(mutex);
        released_cv.wait(lock, [&] { return released; });
      });
    } catch (const std::system_error& e) {
      failure = e.code().message();
      break;
    }
  }
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  released_cv.notify_all();
  for (std::thread& t : started) t.join();
  if (failure.empty()) return ok_status();
  return thread_start_error(wanted, failure);
}

Status request_worker_pool(std::size_t threads) {
  if (threads == 0) return ok_status();
  threads = std::min(threads, thread_cap());
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  if (p.threads != 0) return ok_status();
  if (Status st = check_threads_can_start(threads); !st) return st;
  try {
    create_locked(p, threads);
  } catch (const std::system_error& e) {
    p.limit.reset();
    return thread_start_error(threads, e.code().message());
  }
  return ok_status();
}

std::size_t thread_limit() {
  return oneapi::tbb::global_control::active_value(
      oneapi::tbb::global_control::max_allowed_parallelism);
}

std::size_t worker_pool_size() {
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  fix_default_size_locked(p);
  return p.threads;
}

ArenaLease::ArenaLease() : arena_(held_arena), nested_(held_arena != nullptr) {
  if (nested_) return;
  Pool& p = pool();
  {
    std::lock_guard lock(p.mutex);
    fix_default_size_locked(p);
    if (!p.idle.empty()) {
      arena_ = p.idle.back();
      p.idle.pop_back();
    }
  }
  if (arena_ == nullptr) arena_ = new_arena(p.threads);
  held_arena = arena_;
}

ArenaLease::~ArenaLease() {
  if (nested_) return;
  held_arena = nullptr;
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  p.idle.push_back(arena_);
}

}  // namespace quenfa::runtime
