"""Gene set collections and demo data shipped inside the package."""

from __future__ import annotations

import pathlib

DATA = pathlib.Path(__file__).resolve().parent / "data"

# name -> (file in DATA, what it holds)
COLLECTIONS = {
    "go_bp": ("go_bp.gmt.gz", "Gene Ontology biological process, human gene symbols"),
    "go_cc": ("go_cc.gmt.gz", "Gene Ontology cellular component, human gene symbols"),
    "go_mf": ("go_mf.gmt.gz", "Gene Ontology molecular function, human gene symbols"),
}
DEMO_RANKS = DATA / "demo_ranks.tsv.gz"
DEMO_GENE_SETS = DATA / "demo.gmt.gz"


def collections() -> dict[str, str]:
    """The bundled gene set collections: name -> description.

    Each name can be passed as ``gene_sets`` to :func:`quenfa.gsea` or as the
    GMT argument of ``quenfa run``. The Gene Ontology data are released by the
    GO Consortium under CC BY 4.0; see ``data/PROVENANCE.md`` in the package.
    """
    return {name: about for name, (_, about) in COLLECTIONS.items()}


def collection_path(name: str) -> pathlib.Path | None:
    """The gzipped GMT file of a bundled collection, or None for another name."""
    entry = COLLECTIONS.get(name)
    return DATA / entry[0] if entry else None
