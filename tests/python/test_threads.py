"""Python threads running analyses at the same time: the GIL is released
while an engine works, and concurrent calls give exactly the records of the
same calls made one after another."""

import pathlib
import subprocess
import sys
import threading

import quenfamod

from engine_helpers import exact

ROOT = pathlib.Path(__file__).resolve().parents[2]
DEMO_GMT = str(ROOT / "examples" / "data" / "demo.gmt")
DEMO_EXPRESSION = str(ROOT / "examples" / "data" / "expression_demo.tsv.gz")


def demo_ranks():
    ranks = {}
    for line in open(ROOT / "examples" / "data" / "ranks.tsv"):
        gene, score = line.rstrip("\n").split("\t")[:2]
        try:
            ranks[gene] = float(score)
        except ValueError:
            pass
    return ranks


def engine_calls(cache):
    """One call of every engine and mode, with small permutation counts."""
    common = dict(seed=3, minSize=15, maxSize=60)
    decor = dict(method="decor", decor_cache=cache, decor_expression=DEMO_EXPRESSION)
    return [
        dict(mode="simple", nperm=500, **common),
        dict(mode="kelda", nperm=400, **common),
        dict(mode="kelda", nPermSimple=200, **common),
        dict(mode="multilevel", nPermSimple=300, **common),
        dict(mode="blitz", nPermSimple=300, blitz_anchors=8, **common),
        dict(mode="simple", nperm=300, **decor, **common),
        dict(mode="multilevel", nPermSimple=200, **decor, **common),
        dict(mode="kelda", nPermSimple=200, scoreType="pos", **common),
    ]


def test_eight_threads_give_the_records_of_sequential_calls(tmp_path):
    ranks = demo_ranks()
    cache = str(tmp_path / "demo_cache.tsv.gz")
    calls = engine_calls(cache)
    # The first decor call builds the cache; every later one reads it.
    sequential = [exact(quenfamod.run_gsea_py(ranks, DEMO_GMT, **kw)) for kw in calls]
    assert all(len(records) > 10 for records in sequential)

    concurrent = [None] * len(calls)
    failures = []
    start = threading.Barrier(len(calls))

    def worker(i):
        try:
            start.wait()
            concurrent[i] = exact(quenfamod.run_gsea_py(ranks, DEMO_GMT, **calls[i]))
        except BaseException as error:  # reported below, with the call it came from
            failures.append((calls[i], error))

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(len(calls))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not failures
    for kw, seq, con in zip(calls, sequential, concurrent):
        assert con == seq, kw


def test_another_thread_runs_while_an_analysis_works():
    ranks = demo_ranks()
    finished = threading.Event()
    ticks = 0

    def analysis():
        quenfamod.run_gsea_py(ranks, DEMO_GMT, seed=1, mode="simple", nperm=20000, nproc=1)
        finished.set()

    thread = threading.Thread(target=analysis)
    thread.start()
    while not finished.is_set():
        ticks += 1  # pure Python work: runs only while the analysis leaves the GIL free
    thread.join()
    assert ticks > 1000


def test_no_thread_library_warning_on_standard_error():
    # Blitz asks for four processes by default, more than a two-core machine
    # allows, and the later larger nproc is ignored: neither prints anything.
    script = f"""
import sys
sys.path.insert(0, {str(pathlib.Path(__file__).parent)!r})
import quenfamod
from test_threads import demo_ranks
ranks = demo_ranks()
quenfamod.run_gsea_py(ranks, {DEMO_GMT!r}, seed=1, mode="simple", nperm=100, nproc=1)
quenfamod.run_gsea_py(ranks, {DEMO_GMT!r}, seed=1, mode="simple", nperm=100, nproc=64)
quenfamod.run_gsea_py(ranks, {DEMO_GMT!r}, mode="blitz", nPermSimple=200, blitz_anchors=8)
quenfamod.run_gsea_py(ranks, {DEMO_GMT!r}, mode="blitz", nPermSimple=200, blitz_anchors=8,
                      nproc=64)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          check=True)
    assert done.stderr == ""
