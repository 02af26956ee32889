"""Bad or extreme inputs that once lost files, crashed, hung or gave silent
garbage. Each row runs its call in a fresh interpreter (pool size and resource
limits are per process) inside its own folder, and states the exception and
message expected and the folder's files before and after."""

import gzip
import json
import os
import re
import subprocess
import sys
import textwrap

import pytest

GMT = "SET_A\tfirst\tg0\tg1\tg2\nSET_B\t\tg5\tg7\tg9\tmissing\n"
EXPRESSION = ("gene\ts1\ts2\ts3\ts4\n" + "".join(
    f"g{i}\t{i % 3}\t{(i * 7) % 5}\t{i}\t{(i * i) % 4}\n" for i in range(10))).encode()
CACHE_FORMAT_LINE = b"# quenfa_decor_cache_format=quenfa-decor-cache\n"
OLD_PNG = b"an earlier plot, to be kept"
BASE = {"sets.gmt": GMT.encode(), "expr.tsv": EXPRESSION}
NOT_A_CACHE = ("Refusing to replace '{d}/{name}': it is not a decor cache (its first line is "
               "not the cache's format line)")

# Run in the child with `d` (the row's folder), `ranks` (g0..g9, 10 down to 1),
# `quenfamod` and `resource` defined; a row's code leaves a value
# in `result` or raises.
CHILD = """
import json, os, re, resource, sys
import quenfamod
d = sys.argv[1]
ranks = {f"g{i}": float(10 - i) for i in range(10)}
def threads():
    with open("/proc/self/status") as f:
        return int(re.search(r"Threads:\\s+(\\d+)", f.read()).group(1))
try:
    result = None
%s
    outcome = {"result": result}
except BaseException as e:
    outcome = {"error": type(e).__name__, "message": str(e)}
json.dump(outcome, sys.stdout)
"""


def decor(cache, mode="auto", gmt="sets.gmt"):
    return (f"result = len(quenfamod.run_gsea_py(ranks, d + '/{gmt}', seed=1, method='decor', "
            f"decor_cache=d + '/{cache}', decor_cache_mode='{mode}', "
            f"decor_expression=d + '/expr.tsv'))")


TABLE_1000 = ("quenfamod.write_gsea_table_plot_png_py(ranks, [(f'P{i}', ['g1']) for i in range(1000)], "
              "[{'pathway': f'P{i}', 'nes': 1.0, 'pval': 0.1, 'padj': 0.1} for i in range(1000)], "
              "d + '/table.png')")

# Files are given as name -> bytes; a callable checks the bytes after.
CASES = [
    # Lost data: a decor cache path naming a file that is not a decor cache.
    dict(id="cache-path-is-the-gmt-auto", files=BASE,
         code=decor("sets.gmt"), error="RuntimeError", message=NOT_A_CACHE, name="sets.gmt",
         after=BASE),
    dict(id="cache-path-is-a-text-file-rebuild", files={**BASE, "notes.tsv": b"x\ty\n"},
         code=decor("notes.tsv", "rebuild"), error="RuntimeError", message=NOT_A_CACHE,
         name="notes.tsv", after={**BASE, "notes.tsv": b"x\ty\n"}),
    dict(id="cache-path-is-a-gzipped-text-file", files={**BASE,
                                                         "c.tsv.gz": gzip.compress(b"x\ty\n")},
         code=decor("c.tsv.gz"), error="RuntimeError", message=NOT_A_CACHE, name="c.tsv.gz",
         after={**BASE, "c.tsv.gz": lambda b: gzip.decompress(b) == b"x\ty\n"}),
    dict(id="cache-path-is-an-empty-file", files={**BASE, "c.tsv": b""},
         code=decor("c.tsv"), result=2,
         after={**BASE, "c.tsv": lambda b: b.startswith(CACHE_FORMAT_LINE)}),
    dict(id="cache-path-is-an-older-cache", files={**BASE,
                                                    "c.tsv": CACHE_FORMAT_LINE + b"# broken\n"},
         code=decor("c.tsv"), result=2,
         after={**BASE, "c.tsv": lambda b: b.startswith(CACHE_FORMAT_LINE)}),
    # Thread counts far above the machine are capped; no abort, no hang.
    dict(id="nproc-65536", files=BASE,
         code="quenfamod.run_gsea_py(ranks, d + '/sets.gmt', seed=1, nproc=65536)\n"
              "result = threads() <= max(4 * len(os.sched_getaffinity(0)), 8) + 1",
         result=True, after=BASE),
    dict(id="blitz-nproc-5000", files=BASE,
         code="quenfamod.run_gsea_py(ranks, d + '/sets.gmt', mode='blitz', minSize=1, nproc=5000)\n"
              "result = threads() <= max(4 * len(os.sched_getaffinity(0)), 8) + 1",
         result=True, after=BASE),
    # Threads that cannot be started (address space exhausted) are an error.
    dict(id="threads-cannot-start", files=BASE,
         code="size = int(re.search(r'VmSize:\\s+(\\d+)', open('/proc/self/status').read()).group(1))\n"
              "resource.setrlimit(resource.RLIMIT_AS, (size * 1024 + (16 << 20),) * 2)\n"
              "quenfamod.run_gsea_py(ranks, d + '/sets.gmt', seed=1, nproc=8)",
         error="RuntimeError", pattern=r"Failed to start 8 worker threads: .+",
         after=BASE),
    # Calibrations that cannot fit a model are errors, not P-values of 0.
    dict(id="blitz-one-permutation", files=BASE,
         code="quenfamod.run_gsea_py(ranks, d + '/sets.gmt', mode='blitz', nPermSimple=1, minSize=1)",
         error="RuntimeError",
         message="blitz calibration cannot fit a gamma distribution for set size 1 from 1 nonzero "
                 "random scores; use more permutations (nPermSimple) or more genes.",
         after=BASE),
    dict(id="blitz-two-genes", files={"sets.gmt": b"S\t\tg0\n"},
         code="quenfamod.run_gsea_py({'g0': 1.0, 'g1': -1.0}, d + '/sets.gmt', mode='blitz', minSize=1)",
         error="RuntimeError",
         message="blitz calibration cannot fit a gamma distribution for set size 1 from 1000 "
                 "nonzero random scores; use more permutations (nPermSimple) or more genes.",
         after={"sets.gmt": b"S\t\tg0\n"}),
    # A failed PNG write (file size limit) leaves the earlier file as it was.
    dict(id="png-write-fails-midway", files={"plot.png": OLD_PNG},
         code="import signal\nsignal.signal(signal.SIGXFSZ, signal.SIG_IGN)\n"
              "resource.setrlimit(resource.RLIMIT_FSIZE, (200, 200))\n"
              "quenfamod.write_enrichment_plot_png_py(ranks, ['g0'], d + '/plot.png')",
         error="RuntimeError", message="File too large (os error 27)",
         after={"plot.png": OLD_PNG}),
    dict(id="png-replaces-an-earlier-file", files={"plot.png": OLD_PNG},
         code="quenfamod.write_enrichment_plot_png_py(ranks, ['g0'], d + '/plot.png')",
         result=None, after={"plot.png": lambda b: b.startswith(b"\x89PNG\r\n\x1a\n")}),
    # The decor method reads the GMT once: a pipe fed once works, and its
    # cache is the one a regular file with the same bytes reuses.
    dict(id="gmt-from-a-fifo", files=BASE,
         code="import subprocess\nos.mkfifo(d + '/pipe.gmt')\n"
              "feeder = subprocess.Popen(['sh', '-c', 'cat \"$0/sets.gmt\" > \"$0/pipe.gmt\"', d])\n"
              + decor("c.tsv", gmt="pipe.gmt") + "\n"
              "feeder.wait()\nos.remove(d + '/pipe.gmt')\n"
              + decor("c.tsv", mode="reuse"),
         result=2, after={**BASE,
                          "c.tsv": lambda b: b.startswith(CACHE_FORMAT_LINE)}),
    # Memory of the table plot is bounded before anything is allocated.
    dict(id="table-plot-too-large", files={"table.png": OLD_PNG}, code=TABLE_1000,
         error="MemoryError",
         message="a table plot of 1680 x 48084 pixels needs 1541 MiB of working memory, more than "
                 "its limit of 1024 MiB; lower dpi or height_inches, or draw fewer pathways",
         after={"table.png": OLD_PNG}),
    dict(id="enrichment-plot-canvas-too-large", files={},
         code="quenfamod.write_enrichment_plot_png_py(ranks, ['g0'], d + '/p.png', "
              "width_inches=1e6, height_inches=1e6, dpi=4000)",
         error="MemoryError",
         pattern=r"a plot canvas of \d+ x \d+ pixels is too large to address", after={}),
]


def folder_files(folder):
    return {name: open(os.path.join(folder, name), "rb").read() for name in sorted(os.listdir(folder))}


@pytest.mark.parametrize("case", CASES, ids=[c["id"] for c in CASES])
def test_reliability_table(tmp_path, case):
    folder = str(tmp_path)
    for name, data in case["files"].items():
        (tmp_path / name).write_bytes(data)
    script = CHILD % textwrap.indent(case["code"], "    ")
    done = subprocess.run([sys.executable, "-c", script, folder], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    outcome = json.loads(done.stdout)
    if "error" in case:
        assert outcome.get("error") == case["error"], outcome
        if "pattern" in case:
            assert re.fullmatch(case["pattern"], outcome["message"]), outcome["message"]
        else:
            assert outcome["message"] == case["message"].format(d=folder, name=case.get("name"))
    else:
        assert outcome == {"result": case["result"]}
    after = folder_files(folder)
    assert sorted(after) == sorted(case["after"]), "files left behind or lost"
    for name, expected in case["after"].items():
        assert expected(after[name]) if callable(expected) else after[name] == expected, name
