# Type stubs of the quenfamod extension module.
from collections.abc import Callable, Mapping, Sequence
from typing import Any, Literal

__all__ = [
    "run_gsea_py",
    "run_gsea_sets_py",
    "write_enrichment_plot_png_py",
    "write_gsea_table_plot_png_py",
]

ProgressStage = Literal[
    "permutations",
    "multilevel",
    "calibration",
    "scoring",
    "decor cache",
    "decor null",
    "decor refinement",
]
"""Stages reported to a progress callable, with what they count:

- "permutations": permutations of the classic engine (all sets at once)
- "multilevel": size groups refined by the multilevel estimator
- "calibration": anchor sizes of the blitz null model (not reported when the
  model comes from the in-process cache)
- "scoring": gene sets scored by the blitz engine
- "decor cache": gene sets whose decor scores are built from the expression matrix
- "decor null": size groups of the decor null distribution
- "decor refinement": gene sets refined by the decor tail estimator
"""

ProgressCallback = Callable[[ProgressStage, int, int], object]
"""progress(stage, done, total), done <= total; called from the calling thread
with the GIL held, about ten times a second at most. An exception it raises
stops the run and propagates; results never depend on it."""

Record = dict[str, Any]
"""One result: pathway, size, es, nes, pval, padj, log2err, leading_edge."""

def run_gsea_py(
    ranks: Mapping[str, float],
    gmt_path: str,
    nPermSimple: int = 1000,
    seed: int | None = None,
    nproc: int = 0,
    minSize: int | None = None,
    maxSize: int | None = None,
    eps: float = 1e-50,
    scoreType: str = "std",
    gseaParam: float = 1.0,
    mode: str = "kelda",
    nperm: int | None = None,
    sampleSize: int = 101,
    gpu: bool = False,
    method: str = "classic",
    decor_cache: str | None = None,
    decor_expression: str | None = None,
    decor_preset: str | None = None,
    decor_stringency: float | None = None,
    decor_weight_formula: str | None = None,
    decor_alpha: float | None = None,
    decor_threshold: float | None = None,
    decor_gamma: float | None = None,
    decor_penalty_floor: float | None = None,
    decor_scale_epsilon: float = 1e-12,
    decor_cache_mode: str = "auto",
    decor_correlation: str = "pearson",
    decor_redundancy: str = "positive_mean",
    blitz_anchors: int = 40,
    blitz_symmetric: bool = False,
    blitz_center: bool = True,
    blitz_accuracy: int = 40,
    blitz_deep_accuracy: int = 50,
    blitz_signature_cache: bool = True,
    progress: ProgressCallback | None = None,
) -> list[Record]:
    """Runs the analysis of the gene sets of the GMT file gmt_path; one record per
    gene set. Ctrl-C stops it with KeyboardInterrupt."""

def run_gsea_sets_py(
    ranks: Mapping[str, float],
    pathways: Sequence[tuple[str, str | None, Sequence[str]]],
    nPermSimple: int = 1000,
    seed: int | None = None,
    nproc: int = 0,
    minSize: int | None = None,
    maxSize: int | None = None,
    eps: float = 1e-50,
    scoreType: str = "std",
    gseaParam: float = 1.0,
    mode: str = "kelda",
    nperm: int | None = None,
    sampleSize: int = 101,
    gpu: bool = False,
    method: str = "classic",
    decor_cache: str | None = None,
    decor_expression: str | None = None,
    decor_preset: str | None = None,
    decor_stringency: float | None = None,
    decor_weight_formula: str | None = None,
    decor_alpha: float | None = None,
    decor_threshold: float | None = None,
    decor_gamma: float | None = None,
    decor_penalty_floor: float | None = None,
    decor_scale_epsilon: float = 1e-12,
    decor_cache_mode: str = "auto",
    decor_correlation: str = "pearson",
    decor_redundancy: str = "positive_mean",
    blitz_anchors: int = 40,
    blitz_symmetric: bool = False,
    blitz_center: bool = True,
    blitz_accuracy: int = 40,
    blitz_deep_accuracy: int = 50,
    blitz_signature_cache: bool = True,
    progress: ProgressCallback | None = None,
) -> list[Record]:
    """As run_gsea_py with (name, description, genes) sets in memory. The decor
    cache identifies them by the SHA-256 of their canonical GMT text: per set,
    name, description ("" for None) and genes joined by tabs and ended by "\\n",
    in UTF-8."""

def write_enrichment_plot_png_py(
    ranks: Mapping[str, float],
    pathway_genes: Sequence[str],
    output_path: str,
    pathway_name: str = "pathway",
    scoreType: str = "std",
    gseaParam: float = 1.0,
    width_inches: float = 3.0,
    height_inches: float = 2.2,
    dpi: int = 300,
    transparent_background: bool = False,
    title: str | None = None,
) -> None: ...
def write_gsea_table_plot_png_py(
    ranks: Mapping[str, float],
    pathways: Sequence[tuple[str, Sequence[str]]],
    results: Sequence[Mapping[str, Any]],
    output_path: str,
    gseaParam: float = 1.0,
    width_inches: float = 5.6,
    height_inches: float | None = None,
    dpi: int = 300,
    transparent_background: bool = False,
) -> None: ...
