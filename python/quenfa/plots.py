"""Enrichment and table plots as PNG images, inline in Jupyter or saved to a file."""

from __future__ import annotations

import math
import os
import tempfile
import pandas as pd
import quenfamod

from .analysis import _ranks_dict, load_gene_sets
from .readers import InputError


class PngImage:
    """A PNG image in memory: shown inline by Jupyter, written by :meth:`save`."""

    def __init__(self, data: bytes):
        self.data = data

    def _repr_png_(self) -> bytes:
        return self.data

    def save(self, path) -> str:
        """Write the PNG to ``path``; returns the path as a string."""
        with open(path, "wb") as handle:
            handle.write(self.data)
        return os.fspath(path)


def _render(draw, path):
    """Let ``draw(file)`` write a PNG; return ``path``, or the image when no path is given."""
    if path is not None:
        draw(os.fspath(path))
        return os.fspath(path)
    handle = tempfile.NamedTemporaryFile(suffix=".png", delete=False)
    handle.close()
    try:
        draw(handle.name)
        with open(handle.name, "rb") as png:
            return PngImage(png.read())
    finally:
        os.unlink(handle.name)


def plot_enrichment(ranks, gene_sets_or_genes, pathway: str | None = None, path=None, dpi: int = 300,
                    title: str | None = None, width_inches: float = 3.0, height_inches: float = 2.2):
    """The running enrichment score of one gene set along the ranked list.

    ``gene_sets_or_genes``: a list of genes, or gene sets (GMT path, bundled
    collection name, mapping) together with the ``pathway`` to draw. The title
    defaults to the pathway's name and description. Sizes are in inches; the
    PNG records ``dpi``.

    Returns ``path`` once the PNG is written there, or, without ``path``, a
    :class:`PngImage` (shown inline by Jupyter).
    """
    scores, _ = _ranks_dict(ranks)
    if isinstance(gene_sets_or_genes, (list, tuple, set, frozenset, pd.Index, pd.Series)):
        genes = list(gene_sets_or_genes)
        name = pathway or "pathway"
    else:
        if pathway is None:
            raise InputError("pathway= names the gene set to draw")
        sets = load_gene_sets(gene_sets_or_genes)
        if pathway not in sets:
            raise InputError(f"there is no gene set named {pathway!r}")
        genes, name = list(sets[pathway]), pathway
        if title is None:
            description = getattr(sets, "descriptions", {}).get(pathway)
            title = f"{pathway} {description}" if description else pathway
    return _render(lambda out: quenfamod.write_enrichment_plot_png_py(
        scores, genes, out, pathway_name=name, title=title, dpi=dpi,
        width_inches=width_inches, height_inches=height_inches), path)


def _result_record(row) -> dict:
    def number(value):
        return float("nan") if value is None or (isinstance(value, float) and math.isnan(value)) else float(value)
    return {"pathway": row["pathway"], "nes": number(row["nes"]), "pval": number(row["pval"]),
            "padj": number(row["padj"])}


def plot_table(result_df: pd.DataFrame, ranks, gene_sets, top: int = 10, path=None, dpi: int = 300,
               width_inches: float = 5.6):
    """A table of the first ``top`` rows of a :func:`gsea` result: gene ranks, NES and P-values.

    ``ranks`` and ``gene_sets`` are those the result was computed from (every
    drawn row's gene set must be in ``gene_sets``). One row per gene set: its
    name, a tick at the rank of each of its genes, NES, ``pval`` and ``padj``.
    Returns ``path``, or a :class:`PngImage` without it, as :func:`plot_enrichment`.
    """
    scores, _ = _ranks_dict(ranks)
    sets = load_gene_sets(gene_sets)
    rows = result_df.head(top)
    if rows.empty:
        raise InputError("the result table has no rows to draw")
    missing = [name for name in rows["pathway"] if name not in sets]
    if missing:
        raise InputError(f"the gene sets do not contain {missing[:5]}")
    pathways = [(name, list(sets[name])) for name in rows["pathway"]]
    records = [_result_record(row) for _, row in rows.iterrows()]
    return _render(lambda out: quenfamod.write_gsea_table_plot_png_py(
        scores, pathways, records, out, dpi=dpi, width_inches=width_inches), path)
