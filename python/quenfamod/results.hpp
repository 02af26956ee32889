// Conversion of engine result records to the list of dicts returned to Python.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "quenfa/core/enrichment_result.hpp"

namespace quenfamod {

// One dict per record, in record order; consumes the records.
PyObject* results_to_py(std::vector<quenfa::EnrichmentResult>&& records);

}  // namespace quenfamod
