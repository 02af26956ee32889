"""Gene set enrichment analysis: a ranked gene list against gene sets."""

from collections.abc import Mapping, Sequence
from typing import Any, Literal

__all__ = ["run_gsea_py", "write_enrichment_plot_png_py", "write_gsea_table_plot_png_py"]

def run_gsea_py(
    ranks: Mapping[str, float],
    gmt_path: str,
    nPermSimple: int = 1000,
    seed: int | None = None,
    nproc: int = 0,
    minSize: int | None = None,
    maxSize: int | None = None,
    eps: float = 1e-50,
    scoreType: Literal["std", "pos", "neg"] | str = "std",
    gseaParam: float = 1.0,
    mode: Literal["kelda", "multilevel", "simple", "blitz"] | str = "kelda",
    nperm: int | None = None,
    sampleSize: int = 101,
    gpu: bool = False,
    method: Literal["classic", "decor"] | str = "classic",
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
    decor_cache_mode: Literal["auto", "reuse", "rebuild"] | str = "auto",
    decor_correlation: Literal["pearson", "spearman"] | str = "pearson",
    decor_redundancy: Literal["positive_mean", "abs_mean"] | str = "positive_mean",
    blitz_anchors: int = 40,
    blitz_symmetric: bool = False,
    blitz_center: bool = True,
    blitz_accuracy: int = 40,
    blitz_deep_accuracy: int = 50,
    blitz_signature_cache: bool = True,
) -> list[dict[str, Any]]:
    """One dict per gene set: pathway (str), size (int), es (float),
    nes (float | None), pval (float), padj (float | None), log2err
    (float | None), leading_edge (list[str])."""

def write_enrichment_plot_png_py(
    ranks: Mapping[str, float],
    pathway_genes: Sequence[str],
    output_path: str,
    pathway_name: str = "pathway",
    scoreType: Literal["std", "pos", "neg"] | str = "std",
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
