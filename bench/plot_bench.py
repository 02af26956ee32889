"""Milliseconds per image of the two plot functions on W-20k.

Enrichment plot: one GO set of the W-20k list (the first with 15..500 ranked
genes) at 300 and 600 dpi. Table plot: the first 50 such sets, with seeded
made-up NES and P-values (drawing does not depend on them), at 300 dpi.
The baseline, timed in the same run, is the enrichment plot of a 1,000-gene
list: the ratio shows what the 20,000 curve segments cost over the fixed work
(canvas, text, PNG encoding).
"""

import os
import random
import tempfile

import quenfamod
import workloads


def best_ms(repeats, function):
    return workloads.best_seconds(repeats, function) * 1000.0


def ranked_sets(ranks, gmt, count):
    sets = []
    with open(gmt) as handle:
        for line in handle:
            fields = line.rstrip("\n").split("\t")
            genes = [g for g in fields[2:] if g]
            if workloads.MIN_SIZE <= len(set(genes) & ranks.keys()) <= workloads.MAX_SIZE:
                sets.append((fields[0], genes))
                if len(sets) == count:
                    break
    return sets


def main():
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})  # one core
    ranks, gmt = workloads.w_20k()
    sets = ranked_sets(ranks, gmt, 50)
    name, genes = sets[0]
    rng = random.Random(5)
    results = [
        {"pathway": n, "nes": rng.uniform(-3, 3), "pval": 10 ** rng.uniform(-10, -1),
         "padj": 10 ** rng.uniform(-8, 0)}
        for n, _ in sets
    ]
    small = dict(list(ranks.items())[:1000])
    small_genes = [g for g in genes if g in small] or list(small)[:15]
    print(workloads.describe("W-20k", ranks, gmt),
          f"| enrichment plot of {name} ({len(set(genes) & ranks.keys())} ranked genes),"
          f" table plot of {len(sets)} sets | 1 thread, best of 5")

    with tempfile.TemporaryDirectory() as out:
        png = os.path.join(out, "plot.png")

        def enrichment(r, g, dpi):
            return lambda: quenfamod.write_enrichment_plot_png_py(r, g, png, pathway_name=name, dpi=dpi)

        baseline = best_ms(5, enrichment(small, small_genes, 300))
        for dpi in (300, 600):
            ms = best_ms(5, enrichment(ranks, genes, dpi))
            note = f" ({ms / baseline:.2f}x a 1,000-gene list: {baseline:.1f} ms)" if dpi == 300 else ""
            print(f"enrichment plot, {dpi} dpi: {ms:.1f} ms per image{note}")
        ms = best_ms(5, lambda: quenfamod.write_gsea_table_plot_png_py(ranks, sets, results, png))
        print(f"table plot, 50 sets, 300 dpi: {ms:.1f} ms per image")


if __name__ == "__main__":
    main()
