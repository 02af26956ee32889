"""method='decor' end to end: null draws against R's sample.int on the
SplitMix-folded seeds, unit penalties against the classic engine, the simple
and multilevel entries, refinement, thread counts and engine errors."""

import hashlib
import math
import pathlib
import subprocess

import numpy as np
import pytest
import quenfamod

from conftest import require_tool
from engine_helpers import exact, run_in_subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
DEMO_GMT = ROOT / "examples" / "data" / "demo.gmt"
DEMO_EXPRESSION = ROOT / "examples" / "data" / "expression_demo.tsv.gz"
MASK = 2**64 - 1


def fold_seed32(key, seed, salt=0x9E3779B97F4A7C15):
    """SplitMix64 finaliser of (key + salt) XOR seed, high half XOR low half."""
    x = ((key + salt) & MASK) ^ seed
    x ^= x >> 30
    x = (x * 0xBF58476D1CE4E5B9) & MASK
    x ^= x >> 27
    x = (x * 0x94D049BB133111EB) & MASK
    x ^= x >> 31
    return ((x >> 32) ^ (x & 0xFFFFFFFF)) or 1


def write_gmt(tmp_path, sets):
    path = tmp_path / "sets.gmt"
    path.write_text("".join(f"{name}\t\t" + "\t".join(genes) + "\n" for name, genes in sets.items()))
    return path


def write_cache(path, gmt, rows):
    """A cache file for `gmt` holding (pathway, gene, redundancy) rows."""
    meta = [("quenfa_decor_cache_format", "quenfa-decor-cache"),
            ("quenfa_decor_cache_version", "1"), ("created_by", "quenfa"),
            ("gmt_sha256", hashlib.sha256(gmt.read_bytes()).hexdigest()),
            ("expression_sha256", "0" * 64), ("correlation", "pearson"),
            ("redundancy", "positive_mean"), ("expression_gene_axis", "rows"),
            ("expression_has_header", "true"), ("gene_id_mode", "verbatim"),
            ("n_pathways", str(len({r[0] for r in rows}))), ("n_rows", str(len(rows)))]
    path.write_text("".join(f"# {k}={v}\n" for k, v in meta) + "pathway\tgene\tredundancy\n"
                    + "".join(f"{p}\t{g}\t{r:.8f}\n" for p, g, r in sorted(rows)))
    return str(path)


def int_weights(scores):
    """Rank order and the integer weights of gseaParam 1, as floats."""
    order = sorted(range(len(scores)), key=lambda i: -scores[i])
    abs_w = [abs(scores[i]) for i in order]
    scale = math.floor(2**30 / sum(abs_w))
    return order, [float(round(x * scale)) for x in abs_w]


def decor_es(w, hits, penalties, n):
    """Two-sided penalty-weighted running-sum score, in the engine's order."""
    k = len(hits)
    nr = 0.0
    for h, p in zip(hits, penalties):
        nr += abs(w[h]) * p
    d = float(n - k)
    running, top_max, bottom_min = 0.0, -math.inf, math.inf
    for i, (h, p) in enumerate(zip(hits, penalties)):
        c = abs(w[h]) * p
        running += c
        top = running / nr - (h - i) / d
        top_max = max(top_max, top)
        bottom_min = min(bottom_min, top - c / nr)
    if top_max == -bottom_min:
        return 0.0
    return top_max if top_max > -bottom_min else bottom_min


R_DRAWS = """
args <- as.numeric(commandArgs(TRUE))
RNGkind("L'Ecuyer-CMRG", sample.kind = "Rejection")
set.seed(if (args[1] >= 2^31) args[1] - 2^32 else args[1])
for (i in seq_len(args[2])) cat(sample.int(args[3], args[4]), "\\n")
"""


def test_null_draws_of_each_size_come_from_the_folded_lecuyer_streams(tmp_path):
    require_tool("Rscript", "the comparison with R needs r-base-core")
    n, nperm, seed, alpha = 40, 300, 0xDEADBEEF12345678, 3.0
    scores = [math.sin(3.7 * i) * 10 for i in range(n)]
    ranks = {f"G{i}": s for i, s in enumerate(scores)}
    sets = {"P": ["G3", "G11", "G17", "G30"], "Q": ["G0", "G2", "G5", "G8", "G21", "G33"]}
    gmt = write_gmt(tmp_path, sets)
    redundancy = {g: (i * 0.137) % 1 for i, g in enumerate(ranks)}
    cache = write_cache(tmp_path / "c.tsv", gmt,
                        [(p, g, redundancy[g]) for p, genes in sets.items() for g in genes])
    results = quenfamod.run_gsea_py(ranks, str(gmt), method="decor", mode="simple", nperm=nperm,
                                    seed=seed, decor_cache=cache, decor_weight_formula="raw-rational",
                                    decor_alpha=alpha)
    order, w = int_weights(scores)
    position = {f"G{i}": p for p, i in enumerate(order)}
    for result, (name, genes) in zip(results, sets.items()):
        hits = sorted(position[g] for g in genes)
        by_position = {position[g]: g for g in genes}
        # The cache stores 8 decimals, read back as a 32-bit float.
        penalties = [1 / (1 + alpha * float(np.float32(f"{redundancy[by_position[h]]:.8f}")))
                     for h in hits]
        es = decor_es(w, hits, penalties, n)
        assert (result["pathway"], result["es"]) == (name, es)

        seed32 = fold_seed32(len(genes), seed)
        assert seed32 != 2**31  # not representable as an R integer
        out = subprocess.run(["Rscript", "-e", R_DRAWS, str(seed32), str(nperm), str(n),
                              str(len(genes))], capture_output=True, text=True, check=True).stdout
        le = ge = le0 = ge0 = 0
        le_sum = ge_sum = 0.0
        for line in out.splitlines():
            null = decor_es(w, sorted(int(x) - 1 for x in line.split()), penalties, n)
            le += null <= es
            ge += es <= null
            if null <= 0:
                le0, le_sum = le0 + 1, le_sum + null
            if null >= 0:
                ge0, ge_sum = ge0 + 1, ge_sum + null
        assert le0 + ge0 >= nperm
        assert result["nes"] == (es / (ge_sum / ge0) if es > 0 else es / abs(le_sum / le0))
        assert result["pval"] == min((le + 1) / (le0 + 1), (ge + 1) / (ge0 + 1))


@pytest.fixture
def forty(tmp_path):
    """40 ranked genes, three pathways and a cache scoring every gene 0
    except that pathway C has no cache row for G7."""
    scores = [math.cos(1.3 * i) * (i + 1) for i in range(40)]
    ranks = {f"G{i}": s for i, s in enumerate(scores)}
    sets = {"A": [f"G{i}" for i in range(0, 40, 3)], "B": ["G1", "G4", "G9", "G16", "G25"],
            "C": ["G7", "G8", "G30", "G31", "G35", "G39"]}
    gmt = write_gmt(tmp_path, sets)
    rows = [(p, g, 0.0) for p, genes in sets.items() for g in genes if (p, g) != ("C", "G7")]
    return ranks, gmt, write_cache(tmp_path / "c.tsv", gmt, rows)


def test_unit_penalties_score_like_the_classic_engine(forty):
    ranks, gmt, cache = forty
    decor = quenfamod.run_gsea_py(ranks, str(gmt), method="decor", decor_cache=cache, seed=4,
                                  mode="simple", nperm=50)
    classic = quenfamod.run_gsea_py(ranks, str(gmt), seed=4, mode="simple", nperm=50)
    assert [r["pathway"] for r in decor] == ["A", "B", "C"]
    for d, c in zip(decor[:2], classic[:2]):
        assert (d["size"], d["es"], d["leading_edge"]) == (c["size"], c["es"], c["leading_edge"])
    # Without its cache row G7 is not a hit.
    assert (decor[2]["size"], classic[2]["size"]) == (5, 6)


def test_entries_and_refinement(forty, tmp_path):
    ranks, gmt, cache = forty
    run = lambda **kw: quenfamod.run_gsea_py(ranks, str(gmt), method="decor", decor_cache=cache,
                                             seed=11, **kw)
    # Mode kelda is the multilevel entry without nperm and the simple one with it.
    assert exact(run(nPermSimple=200)) == exact(run(mode="multilevel", nPermSimple=200))
    assert exact(run(nperm=200)) == exact(run(mode="simple", nPermSimple=200))
    # Fewer than 10 null scores on a side: the multilevel entry drops the
    # statistics, the simple one keeps them.
    for multilevel, simple in zip(run(nPermSimple=5), run(mode="simple", nPermSimple=5)):
        assert math.isnan(multilevel["pval"]) and multilevel["nes"] is None
        assert simple["pval"] >= 1 / 6 and simple["nes"] is not None

    # Twelve of the top 12 of 300 genes and three lower ones: far beyond what
    # 100 permutations resolve.
    big = {f"H{i}": 300.0 - i for i in range(300)}
    top = [f"H{i}" for i in [*range(12), 20, 45, 90]]
    top_gmt = write_gmt(tmp_path, {"TOP": top})
    top_cache = write_cache(tmp_path / "top.tsv", top_gmt, [("TOP", g, 0.0) for g in top])
    refine = lambda **kw: quenfamod.run_gsea_py(big, str(top_gmt), method="decor", seed=2,
                                                decor_cache=top_cache, nPermSimple=100, **kw)[0]
    refined = refine()
    assert refined["pval"] < 1e-6 and refined["log2err"] > 0
    floored = refine(eps=1e-3)
    assert floored["pval"] == 1e-3 and floored["log2err"] is None
    simple = refine(mode="simple")
    assert simple["pval"] >= 1 / 101  # what 100 permutations can resolve


def test_engine_errors_are_runtime_errors(tmp_path, ranks):
    gmt = write_gmt(tmp_path, {"A": ["g1", "g2"]})
    empty = write_cache(tmp_path / "c.tsv", gmt, [])
    with pytest.raises(RuntimeError) as info:
        quenfamod.run_gsea_py(ranks, str(gmt), method="decor", decor_cache=empty,
                              decor_weight_formula="exp-scaled")
    assert str(info.value) == ("selected formula exp-scaled could not compute redundancy scale "
                               "because the decor cache has no finite redundancy scores")


def test_records_do_not_depend_on_the_thread_count(tmp_path):
    cache = tmp_path / "demo_cache.tsv.gz"
    call = f"""
    ranks = {{}}
    for line in open({str(ROOT / 'examples' / 'data' / 'ranks.tsv')!r}):
        gene, score = line.rstrip("\\n").split("\\t")[:2]
        try:
            ranks[gene] = float(score)
        except ValueError:
            pass
    results = quenfamod.run_gsea_py(ranks, {str(DEMO_GMT)!r}, method="decor", seed=8,
                                    nPermSimple=300, nproc=NPROC, minSize=15, maxSize=60,
                                    decor_cache={str(cache)!r}, decor_expression={str(DEMO_EXPRESSION)!r})
    """
    runs = [run_in_subprocess(call.replace("NPROC", str(nproc)))[0] for nproc in (1, 2)]
    assert len(runs[0]) > 50
    refined = [r for r in runs[0] if r["pval"] != "nan" and float.fromhex(r["pval"]) < 1 / 301]
    assert refined and all(r["log2err"] is not None for r in refined)
    assert runs[0] == runs[1]
