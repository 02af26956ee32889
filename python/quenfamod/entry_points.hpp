// The module's entry points, one file each: run_gsea.cpp, run_gsea_sets.cpp,
// enrichment_plot.cpp, table_plot.cpp.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quenfamod {

extern PyMethodDef run_gsea_def;
extern PyMethodDef run_gsea_sets_def;
extern PyMethodDef enrichment_plot_def;
extern PyMethodDef table_plot_def;

}  // namespace quenfamod
