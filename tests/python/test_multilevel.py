"""The default analysis: permutations refined by the multilevel estimator."""

import math
import os
import pathlib

import quenfamod
from engine_helpers import exact, run_in_subprocess

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"
DEFAULT_CALL = f"""
import csv
with open({str(EXAMPLES / 'ranks.tsv')!r}) as h:
    rows = list(csv.reader(h, delimiter="\\t"))[1:]
ranks = {{g: float(s) for g, s in rows}}
results = quenfamod.run_gsea_py(ranks, {str(EXAMPLES / 'demo.gmt')!r}, seed=99, nproc=NPROC)
"""


def load_ranks():
    with open(EXAMPLES / "ranks.tsv") as handle:
        next(handle)
        return {g: float(s) for g, s in (line.split("\t") for line in handle)}


def test_default_call_gives_identical_bits_for_any_thread_count_and_run():
    env = dict(os.environ, QUENFA_STAGE_TIMING="1")
    (one, stderr), (two, _), (again, _) = [
        run_in_subprocess(DEFAULT_CALL.replace("NPROC", str(n)), env=env) for n in (1, 2, 2)]
    assert one == two == again
    stages = [line.split("\t")[1] for line in stderr.splitlines() if line.startswith("QUENFA_STAGE")]
    assert "multilevel_refinement" in stages
    # The estimator reached far below what 1000 permutations resolve.
    assert min(float.fromhex(r["pval"]) for r in one) < 1e-10


def test_refined_values_below_eps_are_floored_and_sparse_sides_give_no_pvalue():
    ranks = load_ranks()
    gmt = str(EXAMPLES / "demo.gmt")
    floored = quenfamod.run_gsea_py(ranks, gmt, seed=5, eps=1e-6)
    at_eps = [r for r in floored if r["pval"] == 1e-6]
    assert at_eps and all(r["log2err"] is None and r["nes"] is not None for r in at_eps)
    assert min(r["pval"] for r in floored) == 1e-6

    # With 15 permutations most pathways see fewer than 10 permuted scores on
    # their side: no P-value, no NES, no error, and they are never refined.
    sparse = quenfamod.run_gsea_py(ranks, gmt, seed=5, nPermSimple=15)
    blank = [r for r in sparse if math.isnan(r["pval"])]
    assert blank and all(r["nes"] is None and r["log2err"] is None and r["padj"] is None
                         for r in blank)


def test_mode_multilevel_ignores_nperm_and_kelda_with_nperm_is_plain_permutations():
    ranks = load_ranks()
    gmt = str(EXAMPLES / "demo.gmt")
    kelda = quenfamod.run_gsea_py(ranks, gmt, seed=11)
    multilevel = quenfamod.run_gsea_py(ranks, gmt, seed=11, mode="multilevel", nperm=50)
    assert exact(kelda) == exact(multilevel)
    fixed = quenfamod.run_gsea_py(ranks, gmt, seed=11, nperm=2000)
    simple = quenfamod.run_gsea_py(ranks, gmt, seed=11, mode="simple", nPermSimple=2000)
    assert exact(fixed) == exact(simple)
    assert min(r["pval"] for r in fixed) >= 1 / 2001


def test_refined_pvalues_agree_with_brute_force_permutations(tmp_path):
    # Pathways of the demo whose default-call P-values lie near 1e-3 and 3e-4;
    # 200,000 plain permutations resolve them to about 0.1 log2 units.
    ranks = load_ranks()
    names = {"GO:0002758", "GO:0008299", "GO:0045061", "GO:0046629", "GO:0043372"}
    subset = tmp_path / "subset.gmt"
    with open(EXAMPLES / "demo.gmt") as src:
        subset.write_text("".join(l for l in src if l.split("\t", 1)[0] in names))
    gmt = str(EXAMPLES / "demo.gmt")
    refined = {r["pathway"]: r for r in quenfamod.run_gsea_py(ranks, gmt, seed=1)}
    brute = quenfamod.run_gsea_py(ranks, str(subset), mode="simple", nPermSimple=200_000, seed=2)
    assert len(brute) == len(names)
    for b in brute:
        r = refined[b["pathway"]]
        assert r["pval"] < 5e-3 and r["log2err"] is not None
        diff = abs(math.log2(r["pval"]) - math.log2(b["pval"]))
        assert diff <= 3 * math.hypot(r["log2err"], b["log2err"]), b["pathway"]
