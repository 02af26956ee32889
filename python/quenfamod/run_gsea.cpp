// run_gsea_py: the analysis of the gene sets of a GMT file.
#include <string>

#include "analysis_arguments.hpp"
#include "entry_points.hpp"

namespace quenfamod {

PyMethodDef run_gsea_def = analysis_method_def<std::string, convert_path>(
    "run_gsea_py", "gmt_path",
    "run_gsea_py(ranks, gmt_path, " QUENFAMOD_ANALYSIS_OPTIONS_SIGNATURE
    ")\n--\n\n"
    "Runs the analysis of the gene sets in the GMT file gmt_path on ranks (a dict of gene "
    "identifier to score) and returns one dict per gene set.\n\n" QUENFAMOD_PROGRESS_DOC);

}  // namespace quenfamod
