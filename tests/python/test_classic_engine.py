"""The classic permutation engine through run_gsea_py: exactness against R's
streams, reproducibility, degenerate inputs and the stage timing lines."""

import math
import os
import pathlib
import subprocess


import quenfamod
from conftest import require_tool
from engine_helpers import exact, run_in_subprocess

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"
DEMO_CALL = f"""
import csv
with open({str(EXAMPLES / 'ranks.tsv')!r}) as h:
    rows = list(csv.reader(h, delimiter="\\t"))[1:]
ranks = {{g: float(s) for g, s in rows}}
results = quenfamod.run_gsea_py(ranks, {str(EXAMPLES / 'demo.gmt')!r}, mode="simple",
                                seed=2024, nPermSimple=3000, nproc=NPROC)
"""


def test_simple_mode_gives_identical_bits_for_any_thread_count_and_run():
    runs = [run_in_subprocess(DEMO_CALL.replace("NPROC", str(nproc)))[0] for nproc in (1, 2, 2)]
    assert len(runs[0]) == 300
    assert runs[0] == runs[1] == runs[2]


def write_gmt(tmp_path, lines):
    path = tmp_path / "sets.gmt"
    path.write_text("".join("\t".join(fields) + "\n" for fields in lines))
    return str(path)


def test_tied_scores_keep_the_callers_order(tmp_path):
    gmt = write_gmt(tmp_path, [["P", "", "a", "c", "z3"]])
    forward = {"a": 1.0, "b": 1.0, "c": 1.0} | {f"z{i}": -i / 10 for i in range(1, 8)}
    backward = {"c": 1.0, "b": 1.0, "a": 1.0} | {f"z{i}": -i / 10 for i in range(1, 8)}
    first = quenfamod.run_gsea_py(forward, gmt, mode="simple", seed=3, nPermSimple=500)
    again = quenfamod.run_gsea_py(forward, gmt, mode="simple", seed=3, nPermSimple=500)
    assert exact(first) == exact(again)
    assert first[0]["leading_edge"] == ["a", "c"]
    reordered = quenfamod.run_gsea_py(backward, gmt, mode="simple", seed=3, nPermSimple=500)
    assert reordered[0]["leading_edge"] == ["c", "a"]


def test_degenerate_inputs(tmp_path):
    genes = {f"g{i}": float(5 - i) for i in range(10)}
    gmt = write_gmt(tmp_path, [["dup", "", "g0", "g1"], ["dup", "", "g8", "g9"],
                               ["all", "", *genes], ["none", "", "x", "y"]])
    # nperm = 0: no P-values at all.
    for row in quenfamod.run_gsea_py(genes, gmt, mode="simple", nperm=0, seed=1):
        assert math.isnan(row["pval"]) and row["nes"] is None
        assert row["padj"] is None and row["log2err"] is None
    # Duplicate names are both kept, in file order; a set covering the whole
    # list is always dropped (the size bound never exceeds n - 1).
    rows = quenfamod.run_gsea_py(genes, gmt, mode="simple", seed=1, nPermSimple=200)
    assert [r["pathway"] for r in rows] == ["dup", "dup"]
    assert rows[0]["leading_edge"] == ["g0", "g1"] and rows[1]["leading_edge"] == ["g9", "g8"]
    full = quenfamod.run_gsea_py(genes, gmt, mode="simple", seed=1, nPermSimple=200, maxSize=99)
    assert [r["pathway"] for r in full] == ["dup", "dup"]
    # All-zero scores run to completion.
    zeros = {g: 0.0 for g in genes}
    assert len(quenfamod.run_gsea_py(zeros, gmt, mode="simple", seed=1, nPermSimple=100)) == 2
    # One gene: nothing is in range.
    assert quenfamod.run_gsea_py({"g0": 1.0}, gmt, mode="simple", seed=1) == []
    assert quenfamod.run_gsea_py({}, gmt, mode="simple", seed=1) == []


def test_stage_timing_lines_are_written_when_the_variable_is_present():
    env = dict(os.environ, QUENFA_STAGE_TIMING="")
    _, stderr = run_in_subprocess(DEMO_CALL.replace("NPROC", "1"), env=env)
    lines = [line.split("\t") for line in stderr.splitlines() if line.startswith("QUENFA_STAGE")]
    assert [fields[1] for fields in lines] == [
        "setup", "pathway_preprocessing", "simple_stage", "simple_postprocessing",
        "finalize_results", "total"]
    for fields in lines:
        assert len(fields) == 3 and len(fields[2].split(".")[1]) == 6
    _, quiet = run_in_subprocess(DEMO_CALL.replace("NPROC", "1"))
    assert "QUENFA_STAGE" not in quiet


# ---- the single-pathway path against R's own sampler ----------------------

R_SCRIPT = """
args <- as.numeric(commandArgs(TRUE))
seed <- args[1]; nperm <- args[2]; n <- args[3]; k <- args[4]
set.seed(seed, kind = "Mersenne-Twister", sample.kind = "Rejection")
chunk_seed <- sample.int(1e9, 1)
RNGkind("L'Ecuyer-CMRG")
set.seed(chunk_seed %% 2^32)
for (i in seq_len(nperm)) cat(sample.int(n, k), "\\n")
"""


def running_sum_es(w, hits, n):
    """Plain two-sided running-sum score, in the engine's operation order."""
    k = len(hits)
    ns = sum(abs(w[h]) for h in hits)
    d = float(n - k)
    best_top, best_bottom, running = -math.inf, math.inf, 0.0
    for j, h in enumerate(hits):
        running += abs(w[h])
        top = running / ns - (h - j) / d
        bottom = top - abs(w[h]) / ns
        best_top, best_bottom = max(best_top, top), min(best_bottom, bottom)
    if best_top == -best_bottom:
        return 0.0
    return best_top if best_top > -best_bottom else best_bottom


def test_single_pathway_permutations_reproduce_rs_draws(tmp_path):
    require_tool("Rscript", "the comparison with R needs r-base-core")
    n, k, nperm, seed = 40, 4, 400, 123457
    scores = [math.sin(3.7 * i) * 10 for i in range(n)]  # distinct, both signs
    ranks = {f"G{i}": s for i, s in enumerate(scores)}
    members = ["G3", "G11", "G17", "G30"]
    gmt = write_gmt(tmp_path, [["P", "", *members]])
    result = quenfamod.run_gsea_py(ranks, gmt, mode="simple", seed=seed, nPermSimple=nperm)[0]

    order = sorted(range(n), key=lambda i: -scores[i])
    position = {f"G{i}": p for p, i in enumerate(order)}
    abs_w = [abs(scores[i]) for i in order]
    scale = math.floor(2**30 / sum(abs_w))
    w = [float(round(x * scale)) for x in abs_w]
    es = running_sum_es(w, sorted(position[g] for g in members), n)
    assert result["es"] == es

    out = subprocess.run(["Rscript", "-e", R_SCRIPT, str(seed), str(nperm), str(n), str(k)],
                         capture_output=True, text=True, check=True).stdout
    le = ge = le0 = ge0 = 0
    le_sum = ge_sum = 0.0
    for line in out.splitlines():
        es_p = running_sum_es(w, sorted(int(x) - 1 for x in line.split()), n)
        le += es >= es_p
        ge += es_p >= es
        if es_p <= 0:
            le0, le_sum = le0 + 1, le_sum + es_p
        if es_p >= 0:
            ge0, ge_sum = ge0 + 1, ge_sum + es_p
    assert le0 + ge0 >= nperm
    expected_nes = es / (ge_sum / ge0) if es > 0 else es / abs(le_sum / le0)
    assert result["nes"] == expected_nes
    assert result["pval"] == min((le + 1) / (le0 + 1), (ge + 1) / (ge0 + 1))
