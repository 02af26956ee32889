#include "monitored_run.hpp"

#include <chrono>
#include <optional>
#include <utility>

#include "boundary.hpp"
#include "compat.hpp"
#include "py_ref.hpp"
#include "quenfa/runtime/polled_run.hpp"
#include "results.hpp"

namespace quenfamod {

namespace {

// About ten looks a second: Ctrl-C answered well within a second, and a
// progress callable called no more often than a display needs.
constexpr std::chrono::milliseconds kPollInterval{100};

// The calling thread's side of a run: holds the thread state while the GIL
// is released and keeps the exception that stopped the run.
class RunWatch {
 public:
  RunWatch(quenfa::runtime::RunMonitor& monitor, PyObject* progress)
      : monitor_(monitor), progress_(progress) {}
  ~RunWatch() { Py_XDECREF(stopped_by_); }  // with the GIL held
  RunWatch(const RunWatch&) = delete;
  RunWatch& operator=(const RunWatch&) = delete;

  void release() { state_ = PyEval_SaveThread(); }
  void reacquire() { PyEval_RestoreThread(state_); }

  // Called with the GIL released; false once the run must stop.
  bool poll() {
    reacquire();
    const bool go = PyErr_CheckSignals() == 0 && report();
    if (!go) stopped_by_ = compat::take_raised_exception();
    release();
    if (!go) monitor_.request_stop();
    return go;
  }

  // With the GIL held after the run: a last report of a finished run, so a
  // display ends where the engine did; false with an exception set when the
  // run was stopped or that report raised.
  bool finish(bool finished) {
    if (stopped_by_ != nullptr) {
      compat::restore_raised_exception(std::exchange(stopped_by_, nullptr));
      return false;
    }
    return !finished || report();
  }

 private:
  // Calls the progress callable when there is one and the report changed.
  bool report() {
    if (progress_ == nullptr) return true;
    const std::optional<quenfa::runtime::ProgressReport> now = monitor_.report();
    if (!now ||
        (last_.stage == now->stage && last_.done == now->done && last_.total == now->total)) {
      return true;
    }
    last_ = *now;
    PyRef result(PyObject_CallFunction(progress_, "sKK", now->stage,
                                       static_cast<unsigned long long>(now->done),
                                       static_cast<unsigned long long>(now->total)));
    return static_cast<bool>(result);
  }

  quenfa::runtime::RunMonitor& monitor_;
  PyObject* progress_;
  PyThreadState* state_ = nullptr;
  quenfa::runtime::ProgressReport last_;  // no stage until the first report
  PyObject* stopped_by_ = nullptr;        // the exception that stopped the run
};

}  // namespace

PyObject* run_monitored_analysis(quenfa::api::AnalysisRequest request, PyObject* progress) {
  quenfa::runtime::RunMonitor monitor;
  RunWatch watch(monitor, progress);
  // The engine may take long: other Python threads run meanwhile, and the
  // engine's threads never touch Python.
  watch.release();
  std::optional<quenfa::Result<std::vector<quenfa::EnrichmentResult>>> records;
  try {
    records.emplace(quenfa::runtime::run_polled(
        [&] { return quenfa::api::run_analysis(std::move(request), monitor); },
        [&] { return watch.poll(); }, kPollInterval));
  } catch (...) {
    watch.reacquire();
    throw;
  }
  watch.reacquire();
  if (!watch.finish(records->ok())) return nullptr;
  if (!*records) return raise_error(records->failure());
  return results_to_py(std::move(*records).value());
}

}  // namespace quenfamod
