// run_gsea_sets_py: the analysis of gene sets given in memory.
#include "analysis_arguments.hpp"
#include "entry_points.hpp"

namespace quenfamod {

PyMethodDef run_gsea_sets_def = analysis_method_def<quenfa::PathwayDb, convert_pathways>(
    "run_gsea_sets_py", "pathways",
    "run_gsea_sets_py(ranks, pathways, " QUENFAMOD_ANALYSIS_OPTIONS_SIGNATURE
    ")\n--\n\n"
    "As run_gsea_py, with the gene sets given in memory: pathways is a sequence of (name, "
    "description, genes) tuples, description a str or None, genes a sequence of str. The sets "
    "must read back unchanged from the GMT text they write as: one line per set, name, "
    "description (empty for None) and genes joined by tabs, ended by \"\\n\" (so a non-empty "
    "name, at least one gene, genes without surrounding white space, no tab or line break "
    "anywhere). The decor cache identifies them by the SHA-256 of that text in UTF-8, so a "
    "cache built from a GMT file holding exactly that text serves both "
    "entries.\n\n"
    "Returns one dict per gene set, as run_gsea_py does.\n\n" QUENFAMOD_PROGRESS_DOC);

}  // namespace quenfamod
