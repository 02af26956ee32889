// Runs an analysis with the GIL released while the calling thread watches
// it: Ctrl-C and the progress callable are served from here, never from the
// engine's threads.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "quenfa/api/analysis.hpp"

namespace quenfamod {

// Runs `request` and returns its records as a list of dicts, or nullptr with
// an exception set: the refusal or failure of the engine, KeyboardInterrupt
// after Ctrl-C, or whatever `progress` (borrowed; nullptr for none) raised.
PyObject* run_monitored_analysis(quenfa::api::AnalysisRequest request, PyObject* progress);

}  // namespace quenfamod
