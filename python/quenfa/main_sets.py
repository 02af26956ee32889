"""main_pathways(): which significant gene sets stand on their own, and which are
enriched only through a stronger set they overlap.

The significant sets are taken in order of P-value (ties by name). A set joins
the main list unless, for some main set M already in the list, the set's genes
outside M are no longer enriched; it then depends on the first such M. "No
longer enriched" means: fewer genes outside M than the run's minimum size (or
none), or those genes scored as a gene set of their own, by the same engine with
the same options and seed as the run, have a nominal P-value that is not below
the threshold (a missing P-value counts as not below). The threshold is the one
that selected the significant sets by adjusted P-value. Only main sets sharing
a gene with the set are tried: without one, the set's outside genes are the set.
A remainder is no larger than its set, so the run's size bounds admit every
remainder that is scored, and the engine sees the run's options unchanged.
"""

from __future__ import annotations

from collections.abc import Callable

import pandas as pd

from .analysis import SetIndex, _ranks_dict, analyse, load_gene_sets
from .readers import GeneSets, InputError

STAGE = "main pathways"


def _threshold(padj) -> float:
    if isinstance(padj, bool) or not isinstance(padj, (int, float)) or not 0 < padj <= 1:
        raise InputError(f"padj must be a number in (0, 1], not {padj!r}")
    return float(padj)


def _run_record(result_df: pd.DataFrame) -> tuple[dict, int]:
    """The run's options (seed included) and its smallest kept set size."""
    if not isinstance(result_df, pd.DataFrame):
        raise InputError(f"result_df must be a DataFrame from quenfa.gsea(), not {type(result_df).__name__}")
    if "signature" in result_df.columns:
        raise InputError("result_df holds many signatures: pass the result of quenfa.gsea() for one ranked list")
    missing = [c for c in ("pathway", "size", "pval", "padj") if c not in result_df.columns]
    attrs = result_df.attrs
    if missing or "parameters" not in attrs or "overlap" not in attrs or attrs["parameters"].get("seed") is None:
        raise InputError("result_df must be a frame returned by quenfa.gsea(), with its attrs "
                         "(parameters, seed, overlap)" + (f"; missing columns {missing}" if missing else ""))
    return dict(attrs["parameters"]), max(int(attrs["overlap"]["min_size"]), 1)


def _ranked_genes(scores: dict, sets: GeneSets, name: str, size: int) -> list[str]:
    """The distinct genes of set ``name`` that are in the ranked list, in the set's order."""
    if name not in sets:
        raise InputError(f"gene set {name!r} of result_df is not in gene_sets: pass the sets of the run")
    genes = [gene for gene in dict.fromkeys(sets[name]) if gene in scores]
    if len(genes) != size:
        raise InputError(f"gene set {name!r} has {len(genes)} genes in the ranked list but size {size} in "
                         "result_df: pass the ranked list and gene sets of the run")
    return genes


def _parent(genes: list[str], mains: list[str], members: dict[str, frozenset], scores: dict, parameters: dict,
            min_size: int, threshold: float) -> str | None:
    """The first main set outside which ``genes`` are no longer enriched, or None.

    Every main set worth scoring is scored in one engine call, its remainder
    named after it; main sets after the first one that leaves too few genes
    cannot come first, so they are not scored.
    """
    own = frozenset(genes)
    tried = [main for main in mains if not own.isdisjoint(members[main])]
    remainders = GeneSets()
    for main in tried:
        rest = [gene for gene in genes if gene not in members[main]]
        if len(rest) < min_size:
            break
        remainders[main] = rest
    if remainders:
        frame, _ = analyse(scores, remainders, SetIndex(remainders), None, parameters)
        pvals = dict(zip(frame["pathway"], frame["pval"]))
        if set(pvals) != set(remainders):
            raise RuntimeError(f"the engine scored {len(pvals)} of {len(remainders)} remainder sets")
    for main in tried:
        if main not in remainders:  # the first main set that leaves too few genes
            return main
        if not pvals[main] < threshold:  # a NaN P-value too
            return main
    return None


def main_pathways(result_df: pd.DataFrame, ranks, gene_sets, *, padj: float = 0.01,
                  progress: Callable[[str, int, int], None] | None = None) -> pd.DataFrame:
    """The sets of ``result_df`` with ``padj`` below the threshold, each marked main or dependent.

    ``result_df`` is a frame from :func:`quenfa.gsea`; ``ranks`` and ``gene_sets``
    are what that run was given (checked against the sets' sizes). Each set's
    genes outside each earlier main set it overlaps are scored with the run's
    engine, options and seed (``result_df.attrs["parameters"]``), all remainders
    of one set in one engine call; the rule is in this module's docstring. The
    result depends only on the inputs and the run's seed.

    Returns the significant rows in order of P-value (ties by name) with the
    result columns and two more: ``main`` (bool) and ``parent`` (None for a main
    set, else the name of the main set it depends on). ``attrs`` is the run's,
    with ``main_pathways``: the threshold and the counts of main and dependent
    sets. ``progress(stage, done, total)``, when given, is called with stage
    "main pathways" as sets are decided.
    """
    threshold = _threshold(padj)
    parameters, min_size = _run_record(result_df)
    scores, _ = _ranks_dict(ranks)
    sets = load_gene_sets(gene_sets)
    significant = result_df[result_df["padj"] < threshold]
    significant = significant.sort_values(["pval", "pathway"], kind="stable").reset_index(drop=True)
    mains: list[str] = []
    members: dict[str, frozenset] = {}
    parents: list[str | None] = []
    for done, (name, size) in enumerate(zip(significant["pathway"], significant["size"])):
        if progress:
            progress(STAGE, done, len(significant))
        genes = _ranked_genes(scores, sets, name, int(size))
        parent = _parent(genes, mains, members, scores, parameters, min_size, threshold)
        parents.append(parent)
        if parent is None:
            mains.append(name)
            members[name] = frozenset(genes)
    if progress:
        progress(STAGE, len(significant), len(significant))
    significant["main"] = pd.Series([parent is None for parent in parents], dtype=bool)
    significant["parent"] = pd.Series(parents, dtype=object)
    significant.attrs = {**result_df.attrs,
                         "main_pathways": {"padj": threshold, "main": len(mains),
                                           "dependent": len(significant) - len(mains)}}
    return significant


def with_main_pathways(result_df: pd.DataFrame, ranks, gene_sets, padj: float = 0.01, progress=None) -> pd.DataFrame:
    """Every row of ``result_df`` with ``main`` and ``parent`` from :func:`main_pathways`;
    both are missing (NA) for the sets that are not significant."""
    marked = main_pathways(result_df, ranks, gene_sets, padj=padj, progress=progress)
    frame = result_df.copy()
    frame["main"] = frame["pathway"].map(dict(zip(marked["pathway"], marked["main"]))).astype("boolean")
    parents = dict(zip(marked["pathway"], marked["parent"]))
    frame["parent"] = pd.Series([parents.get(name) for name in frame["pathway"]], index=frame.index, dtype=object)
    frame.attrs = marked.attrs
    return frame
