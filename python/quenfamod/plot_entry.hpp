// Python entry points of the two plot functions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quenfamod {

extern PyMethodDef enrichment_plot_def;
extern PyMethodDef table_plot_def;

}  // namespace quenfamod
