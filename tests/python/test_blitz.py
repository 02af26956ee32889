"""Mode "blitz" end to end: determinism, the model cache, ordering, the
adjustment against statsmodels and the engine's own messages."""

import math
import os
import pathlib

import pytest
from statsmodels.stats.multitest import multipletests

import quenfamod
from engine_helpers import exact, run_in_subprocess

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"
# A light calibration keeps the tests quick; the engine's paths are the same.
LIGHT = {"mode": "blitz", "nPermSimple": 200, "blitz_anchors": 8}


def load_ranks():
    with open(EXAMPLES / "ranks.tsv") as handle:
        next(handle)
        return {g: float(s) for g, s in (line.split("\t") for line in handle)}


def test_results_are_sorted_adjusted_as_statsmodels_and_repeatable(tmp_path):
    ranks = load_ranks()
    gmt = tmp_path / "sets.gmt"
    lines = (EXAMPLES / "demo.gmt").read_text().splitlines()[:60]
    # Two copies of one set under other names score identically.
    name, _, genes = lines[0].split("\t", 2)
    lines += [f"ZZ_COPY\t\t{genes}", f"AA_COPY\t\t{genes}"]
    gmt.write_text("\n".join(lines) + "\n")
    results = quenfamod.run_gsea_py(ranks, str(gmt), blitz_signature_cache=False, **LIGHT)
    again = quenfamod.run_gsea_py(ranks, str(gmt), blitz_signature_cache=False, **LIGHT)
    assert exact(results) == exact(again)
    assert len(results) == 62 and all(r["log2err"] is None for r in results)

    keys = [(r["pval"], r["pathway"].encode()) for r in results]
    assert keys == sorted(keys)
    pvals = [r["pval"] for r in results]
    expected = multipletests(pvals, method="fdr_bh")[1]
    assert [r["padj"] for r in results] == list(expected)

    copies = [r for r in results if r["pathway"] in ("AA_COPY", "ZZ_COPY", name)]
    assert [r["pathway"] for r in copies] == ["AA_COPY", name, "ZZ_COPY"]
    assert len({(r["pval"], r["padj"], r["nes"]) for r in copies}) == 1


CACHE_RUNS = f"""
import csv
with open({str(EXAMPLES / 'ranks.tsv')!r}) as h:
    rows = list(csv.reader(h, delimiter="\\t"))[1:]
ranks = {{g: float(s) for g, s in rows}}
gmt = {str(EXAMPLES / 'demo.gmt')!r}
light = dict(mode="blitz", nPermSimple=200, blitz_anchors=8, nproc=2)
uncached = quenfamod.run_gsea_py(ranks, gmt, blitz_signature_cache=False, **light)
first = quenfamod.run_gsea_py(ranks, gmt, **light)
second = quenfamod.run_gsea_py(ranks, gmt, **light)
bypass = quenfamod.run_gsea_py(ranks, gmt, blitz_signature_cache=False, **light)
assert first == second == uncached == bypass
results = second
"""


def test_second_call_is_a_cache_hit_and_an_uncached_call_never_touches_the_cache():
    env = dict(os.environ, QUENFA_BLITZ_TIMINGS="")
    results, stderr = run_in_subprocess(CACHE_RUNS, env=env)
    lines = [line.split("\t") for line in stderr.splitlines()
             if line.startswith("QUENFA_BLITZ_TIMING")]
    hits = [int(fields[2]) for fields in lines if fields[1] == "model_cache_hit"]
    # An uncached call before the first cached one did not fill the cache,
    # and one after the cached calls did not read it.
    assert hits == [0, 0, 1, 0]
    assert [fields[1] for fields in lines[:9]] == [
        "prepare_signature", "clean_pathways", "estimate_model", "model_cache_hit",
        "model_param_cache", "final_es_leading_edge_gamma", "gamma_cdf_calls",
        "gamma_fallback_calls", "bh_and_sort"]
    assert len(results) == 300


@pytest.mark.parametrize("ranks,arguments,message", [
    ({}, {}, "blitz mode requires at least one ranked gene."),
    (None, {"nPermSimple": 0}, "blitz permutations must be greater than 0."),
    (None, {"maxSize": 0}, "blitz maxSize must be greater than 0."),
    # Reached on the high-precision path of the strongest sets.
    (None, {"blitz_deep_accuracy": 10**10}, "blitz mpmath fallback dps is too large"),
])
def test_engine_messages(ranks, arguments, message):
    ranks = load_ranks() if ranks is None else ranks
    with pytest.raises(RuntimeError) as info:
        quenfamod.run_gsea_py(ranks, str(EXAMPLES / "demo.gmt"), **(LIGHT | arguments))
    assert str(info.value) == message


def test_a_strong_set_reaches_the_high_precision_tail():
    call = f"""
sys.path.insert(0, {str(pathlib.Path(__file__).parent)!r})
from test_blitz import load_ranks, LIGHT, EXAMPLES
results = quenfamod.run_gsea_py(load_ranks(), str(EXAMPLES / "demo.gmt"), **LIGHT)
"""
    env = dict(os.environ, QUENFA_BLITZ_TIMINGS="")
    results, stderr = run_in_subprocess(call, env=env)
    fallbacks = [int(line.split("\t")[2]) for line in stderr.splitlines()
                 if line.startswith("QUENFA_BLITZ_TIMING\tgamma_fallback_calls\t")]
    assert len(fallbacks) == 1 and fallbacks[0] > 0
    best = results[0]
    # A P-value below 2e-9 needs a CDF beyond 0.999999999: the high-precision path.
    assert 0 < float.fromhex(best["pval"]) < 2e-9 and float.fromhex(best["nes"]) < -5
    assert all(math.isfinite(float.fromhex(r["pval"]))
               and float.fromhex(r["padj"]) >= float.fromhex(r["pval"]) for r in results)
