"""Ctrl-C and progress: every engine stops within about a second of SIGINT and
leaves the process usable; a progress callable sees counts that only grow
within a stage, never changes a result, and its exception stops the run."""

import json
import pathlib

import pytest
import quenfamod

from engine_helpers import exact, run_in_subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "examples" / "data"
SETUP = f"""
import os, signal, tempfile, threading, time
ranks = {{}}
with open({str(DATA / "ranks.tsv")!r}) as handle:
    next(handle)
    for line in handle:
        gene, score = line.split("\\t")
        ranks[gene] = float(score)
gmt = {str(DATA / "demo.gmt")!r}
expression = {str(DATA / "expression_demo.tsv.gz")!r}
folder = tempfile.mkdtemp()
"""
STAGES = {"permutations", "multilevel", "calibration", "scoring", "decor cache", "decor null",
          "decor refinement"}


@pytest.fixture(scope="module")
def demo_ranks():
    lines = (DATA / "ranks.tsv").read_text().splitlines()[1:]
    return {gene: float(score) for gene, score in (line.split("\t") for line in lines)}


# engine: (arguments of a run of a minute or more, seconds before SIGINT, the
# stage it is then in, arguments of a small run afterwards)
LONG_RUNS = {
    "classic simple": ("mode='simple', nperm=10**8, seed=1", "permutations",
                       "mode='simple', nperm=500, seed=3"),
    "default multilevel": ("seed=1, sampleSize=1001", "multilevel",
                           "seed=3, minSize=15, maxSize=25"),
    "blitz cold calibration": (
        "mode='blitz', nPermSimple=10**6, blitz_signature_cache=False, seed=1",
        "calibration", "mode='blitz', nPermSimple=300, seed=3"),
    "decor": ("method='decor', decor_cache=folder + '/long.tsv', decor_expression=expression, "
              "mode='simple', nperm=10**7, seed=1", "decor null",
              "method='decor', decor_cache=folder + '/small.tsv', decor_expression=expression, "
              "mode='simple', nperm=300, seed=3"),
}

# Ctrl-C arrives once the long run reports the stage it should be stopped in.
INTERRUPTED_RUN = """
reports = []
sent = []
def progress(*report):
    reports.append(report)
    if report[0] == {stage!r} and not sent:
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)
try:
    quenfamod.run_gsea_py(ranks, gmt, progress=progress, {long})
    raise SystemExit("the long run was not interrupted")
except KeyboardInterrupt:
    latency = time.monotonic() - sent[0]
leftovers = sorted(name for name in os.listdir(folder))
results = quenfamod.run_gsea_py(ranks, gmt, {small})
print(json.dumps({{"latency": latency, "stage": reports[-1][0], "leftovers": leftovers}}),
      file=sys.stderr)
"""


@pytest.mark.parametrize("engine", LONG_RUNS)
def test_sigint_stops_each_engine_and_the_next_run_is_exact(engine):
    long, stage, small = LONG_RUNS[engine]
    after_interrupt, stderr = run_in_subprocess(
        SETUP + INTERRUPTED_RUN.format(stage=stage, long=long, small=small))
    seen = json.loads(stderr.strip().splitlines()[-1])
    assert seen["stage"] == stage
    assert seen["latency"] < 1.5, seen
    # A stopped decor run keeps only the cache it completed, no temporary file.
    assert seen["leftovers"] in ([], ["long.tsv"])
    fresh, _ = run_in_subprocess(SETUP + f"results = quenfamod.run_gsea_py(ranks, gmt, {small})")
    assert after_interrupt == fresh


# engine: (arguments of a run of about a second, its last stage)
PROGRESS_RUNS = {
    "classic simple": (dict(mode="simple", nperm=20000, seed=2), "permutations"),
    "multilevel": (dict(mode="multilevel", seed=2, minSize=15, maxSize=40), "multilevel"),
    "blitz": (dict(mode="blitz", nPermSimple=3000, blitz_signature_cache=False, seed=2),
              "scoring"),
    "decor multilevel": (dict(method="decor", seed=2, minSize=15, maxSize=40,
                              decor_expression=str(DATA / "expression_demo.tsv.gz")),
                         "decor refinement"),
}


@pytest.mark.parametrize("engine", PROGRESS_RUNS)
def test_progress_counts_grow_per_stage_and_change_no_result(engine, demo_ranks, tmp_path):
    arguments, last_stage = PROGRESS_RUNS[engine]
    if "decor_expression" in arguments:
        arguments = dict(arguments, decor_cache=str(tmp_path / "cache.tsv"))
    reports = []
    watched = quenfamod.run_gsea_py(demo_ranks, str(DATA / "demo.gmt"),
                                    progress=lambda *r: reports.append(r), **arguments)
    plain = quenfamod.run_gsea_py(demo_ranks, str(DATA / "demo.gmt"), **arguments)
    assert exact(watched) == exact(plain)

    assert all(isinstance(s, str) and type(d) is int and type(t) is int for s, d, t in reports)
    assert {s for s, _, _ in reports} <= STAGES
    for (stage, done, total), (next_stage, next_done, next_total) in zip(reports, reports[1:]):
        assert done <= total
        if next_stage == stage:
            assert (next_total, next_done) >= (total, done) and next_total == total
    stage, done, total = reports[-1]
    assert (stage, done) == (last_stage, total) and total > 0


class Refused(Exception):
    pass


def test_an_exception_from_progress_stops_the_run_and_propagates(demo_ranks):
    calls = []

    def progress(*report):
        calls.append(report)
        raise Refused("stop here")

    with pytest.raises(Refused, match="stop here"):
        quenfamod.run_gsea_py(demo_ranks, str(DATA / "demo.gmt"), mode="simple", nperm=10**8,
                              progress=progress)
    assert len(calls) == 1 and calls[0][0] == "permutations"


def test_progress_must_be_callable(demo_ranks):
    with pytest.raises(TypeError, match="expected a callable or None, got int") as caught:
        quenfamod.run_gsea_py(demo_ranks, str(DATA / "demo.gmt"), progress=3)
    assert caught.value.__notes__ == ["while processing 'progress'"]
