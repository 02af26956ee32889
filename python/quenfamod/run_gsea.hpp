// The analysis entry point run_gsea_py.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quenfamod {

extern PyMethodDef run_gsea_def;

}  // namespace quenfamod
