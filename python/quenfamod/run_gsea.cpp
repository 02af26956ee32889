// run_gsea_py: the analysis of the gene sets of a GMT file.
#include <string>

#include "analysis_arguments.hpp"
#include "entry_points.hpp"

namespace quenfamod {

PyMethodDef run_gsea_def = analysis_method_def<std::string, convert_path>(
    "run_gsea_py", "gmt_path",
    "run_gsea_py(ranks, gmt_path, " QUENFAMOD_ANALYSIS_OPTIONS_SIGNATURE
    ")\n--\n\n"
    "Gene set enrichment analysis of a ranked gene list.\n\n"
    "ranks maps each gene to its score (higher ranks first; equal scores keep\n"
    "the dict's order). gmt_path names a GMT file of gene sets; sets with\n"
    "minSize..maxSize genes in the list are scored.\n\n"
    "mode chooses the engine:\n"
    "  'kelda' (default)  nPermSimple permutations, then the multilevel\n"
    "                     estimator for P-values they cannot resolve (down to\n"
    "                     eps); with nperm given, nperm permutations only\n"
    "  'multilevel'       as 'kelda' without nperm\n"
    "  'simple'           permutations only (nperm, else nPermSimple)\n"
    "  'blitz'            gamma approximation of the null distribution\n"
    "method='decor' discounts genes redundant within their set, with\n"
    "redundancies from decor_cache (built from decor_expression if needed).\n\n"
    "seed fixes every random draw (None: a fresh seed); results do not depend\n"
    "on nproc except in mode 'blitz'. The analysis runs with the GIL released.\n\n"
    "Returns one dict per gene set with the keys pathway, size, es, nes, pval,\n"
    "padj, log2err and leading_edge, sorted by pathway name ('blitz': by\n"
    "P-value). Raises ValueError for refused arguments, OSError when the GMT\n"
    "file cannot be read, RuntimeError when an engine fails.\n\n" QUENFAMOD_PROGRESS_DOC);

}  // namespace quenfamod
