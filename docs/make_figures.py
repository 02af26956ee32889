"""Draws the figures of the guide from the bundled demo data with the package's plot functions.

Run from the repository root (`make docs-figures`); writes docs/_static/figures/*.png. The
decor figure needs the demo expression matrix of examples/data.
"""

import pathlib
import tempfile

import quenfa
from quenfa.bundled import DEMO_GENE_SETS, DEMO_RANKS

ROOT = pathlib.Path(__file__).resolve().parents[1]
OUT = ROOT / "docs" / "_static" / "figures"
EXPRESSION = ROOT / "examples" / "data" / "expression_demo.tsv.gz"


def main() -> None:
    OUT.mkdir(parents=True, exist_ok=True)
    ranks = quenfa.read_ranks(DEMO_RANKS)
    default = quenfa.gsea(ranks, DEMO_GENE_SETS, seed=42)
    best = default.pathway.iloc[0]
    # The default title (name and description) is wider than the plot for this set.
    quenfa.plot_enrichment(ranks, DEMO_GENE_SETS, pathway=best, title=best, path=OUT / "enrichment_best.png",
                           dpi=200)
    quenfa.plot_table(default, ranks, DEMO_GENE_SETS, path=OUT / "table_kelda.png", dpi=200)
    blitz = quenfa.gsea(ranks, DEMO_GENE_SETS, mode="blitz", nproc=1)
    quenfa.plot_table(blitz, ranks, DEMO_GENE_SETS, path=OUT / "table_blitz.png", dpi=200)
    with tempfile.TemporaryDirectory() as work:
        decor = quenfa.gsea(ranks, DEMO_GENE_SETS, method="decor", seed=42,
                            decor_cache=str(pathlib.Path(work) / "cache.tsv.gz"), decor_expression=str(EXPRESSION))
    quenfa.plot_table(decor, ranks, DEMO_GENE_SETS, path=OUT / "table_decor.png", dpi=200)
    for name in sorted(OUT.glob("*.png")):
        print(name.relative_to(ROOT))


if __name__ == "__main__":
    main()
