"""The standard benchmark workloads, written to files on demand.

W-real: the real 8,562-gene ranked list against the GO Biological Process sets
        (sizes 15..500 kept by the analysis: minSize=15, maxSize=500).
W-20k:  the same list extended to 20,000 genes: first the other genes named in
        the GO file (in order of first appearance), then made-up names; each new
        gene gets a score drawn with a fixed seed from the real scores.
"""

import gzip
import pathlib
import time

import numpy as np

DATA = pathlib.Path(__file__).resolve().parent / "data"
OUT = pathlib.Path(__file__).resolve().parent / "out"
W20K_SEED = 20240601
MIN_SIZE, MAX_SIZE = 15, 500


def _real_ranks():
    with gzip.open(DATA / "ranks.tsv.gz", "rt") as handle:
        next(handle)
        return {gene: float(score) for gene, score in (line.rstrip("\n").split("\t") for line in handle)}


def gmt_path():
    """The GO BP file, unpacked once into bench/out."""
    OUT.mkdir(exist_ok=True)
    path = OUT / "go_bp_full.gmt"
    if not path.exists():
        with gzip.open(DATA / "go_bp_full.gmt.gz", "rb") as src:
            path.write_bytes(src.read())
    return path


def w_real():
    return _real_ranks(), gmt_path()


def w_20k():
    ranks = _real_ranks()
    real_scores = np.array(list(ranks.values()))
    extra = []
    seen = set(ranks)
    with open(gmt_path()) as handle:
        for line in handle:
            for gene in line.rstrip("\n").split("\t")[2:]:
                if gene and gene not in seen:
                    seen.add(gene)
                    extra.append(gene)
    extra = extra[: 20000 - len(ranks)]
    extra += [f"MADEUP{i}" for i in range(20000 - len(ranks) - len(extra))]
    draws = np.random.default_rng(W20K_SEED).choice(real_scores, size=len(extra))
    ranks.update(zip(extra, (float(x) for x in draws)))
    return ranks, gmt_path()


def describe(name, ranks, gmt):
    sets = sum(1 for _ in open(gmt))
    return f"{name}: {len(ranks)} genes, {sets} gene sets in {gmt.name}"


def best_seconds(repeats, function):
    """The fastest of `repeats` timed calls of `function`."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best
