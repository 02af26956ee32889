"""Inputs that used to give silent garbage or escape as an internal fault.

The table runs each case in a fresh folder holding the GMT file; "{dir}" in a
text argument stands for that folder. A refused call must leave the folder's
files and their bytes as they were (no cache, no plot, no truncated name).
The last tests send random arguments to every entry point in a child process
and fork a process after a run."""

import json
import math
import multiprocessing
import os
import subprocess
import sys

import pytest

import quenfamod
from engine_helpers import exact

RANKS = {f"g{i}": float(5 - i) for i in range(10)}  # 5 .. -4, both signs and a 0
GMT = "SET_A\tfirst\tg0\tg1\tg2\nSET_B\t\tg5\tg7\tg9\tmissing\n"
NOT_FINITE = "Every score in ranks must be finite."
EPS = "eps must be greater than or equal to 0 and less than 1."
GSEA_PARAM = "gseaParam must be finite and greater than or equal to 0."
NUL_PATH = "embedded null character in path"
BLITZ_OVERFLOW = ("blitz needs scores whose absolute values, after centring, sum to a finite "
                  "number; scale them down.")
DECOR = {"method": "decor", "decor_cache": "{dir}/cache.tsv", "decor_expression": "{dir}/none.tsv"}


def run(folder, ranks, **kwargs):
    return quenfamod.run_gsea_py(ranks, kwargs.pop("gmt_path", f"{folder}/sets.gmt"), **kwargs)


def enrichment(folder, ranks, **kwargs):
    path = kwargs.pop("output_path", f"{folder}/plot.png")
    return quenfamod.write_enrichment_plot_png_py(ranks, ["g0", "g4"], path, dpi=120, **kwargs)


def table(folder, ranks, **kwargs):
    path = kwargs.pop("output_path", f"{folder}/table.png")
    result = {"pathway": "SET_A", "nes": 1.0, "pval": 0.01, "padj": 0.02}
    return quenfamod.write_gsea_table_plot_png_py(
        ranks, [("SET_A", ["g0", "g1", "g2"])], [result], path, **kwargs)


# (entry point, ranks, keyword arguments, exception, message, note). With
# exception None the call must return and `message` is the number of
# records (None for a plot).
CASES = {
    # Non-finite scores, in every mode and in both plots; the gene named is
    # the first one in the dict's order, even when it is in no set.
    "nan-in-no-set": (run, RANKS | {"lonely": math.nan}, {}, ValueError,
                      f"Invalid score nan for gene 'lonely'. {NOT_FINITE}", None),
    "first-of-two": (run, {"a": 1.0, "b": -math.inf, "c": math.nan, "d": 0.0}, {"mode": "simple"},
                     ValueError, f"Invalid score -inf for gene 'b'. {NOT_FINITE}", None),
    "inf-multilevel": (run, RANKS | {"g3": math.inf}, {"mode": "multilevel"}, ValueError,
                       f"Invalid score inf for gene 'g3'. {NOT_FINITE}", None),
    "nan-blitz": (run, RANKS | {"g0": math.nan}, {"mode": "blitz"}, ValueError,
                  f"Invalid score nan for gene 'g0'. {NOT_FINITE}", None),
    "inf-decor": (run, RANKS | {"g9": -math.inf}, DECOR, ValueError,
                  f"Invalid score -inf for gene 'g9'. {NOT_FINITE}", None),
    "nan-enrichment-plot": (enrichment, RANKS | {"g4": math.nan}, {}, ValueError,
                            f"Invalid score nan for gene 'g4'. {NOT_FINITE}", None),
    "inf-table-plot": (table, RANKS | {"g1": math.inf}, {}, ValueError,
                       f"Invalid score inf for gene 'g1'. {NOT_FINITE}", None),
    "gene-name-with-nul": (run, {"x\0y": math.nan}, {}, ValueError,
                           f"Invalid score nan for gene 'x\0y'. {NOT_FINITE}", None),
    # Finite scores whose sum overflows: blitz refuses them (the classic and
    # decor weights are rescaled, see the tests below the table).
    "blitz-sum-overflow": (run, {f"g{i}": 1e308 * (1 - 2 * (i % 2)) for i in range(10)},
                           {"mode": "blitz"}, ValueError, BLITZ_OVERFLOW, None),
    # Options that produced meaningless output.
    "eps-one": (run, RANKS, {"eps": 1.0}, ValueError, EPS, None),
    "eps-above-one-blitz": (run, RANKS, {"eps": 5.0, "mode": "blitz"}, ValueError, EPS, None),
    "eps-negative": (run, RANKS, {"eps": -1e-300, "mode": "simple"}, ValueError, EPS, None),
    "eps-nan-decor": (run, RANKS, DECOR | {"eps": math.nan}, ValueError, EPS, None),
    "gsea-param-nan": (run, RANKS, {"gseaParam": math.nan}, ValueError, GSEA_PARAM, None),
    "gsea-param-nan-blitz": (run, RANKS, {"gseaParam": math.nan, "mode": "blitz"}, ValueError,
                             GSEA_PARAM, None),
    "gsea-param-inf": (run, RANKS, {"gseaParam": math.inf, "mode": "simple"}, ValueError,
                       GSEA_PARAM, None),
    "gsea-param-negative-decor": (run, RANKS, DECOR | {"gseaParam": -0.5}, ValueError,
                                  GSEA_PARAM, None),
    "gsea-param-overflows": (run, RANKS, {"gseaParam": 1e300}, ValueError,
                             "gseaParam is too large: |score|^gseaParam is infinite for gene 'g0'.",
                             None),
    "gsea-param-underflows": (run, {k: v / 10 for k, v in RANKS.items()}, {"gseaParam": 1e300},
                              ValueError,
                              "gseaParam is too large: |score|^gseaParam is 0 for every gene.",
                              None),
    "gsea-param-overflows-plot": (enrichment, RANKS, {"gseaParam": 500.0}, ValueError,
                                  "gseaParam is too large: |score|^gseaParam is infinite for "
                                  "gene 'g0'.", None),
    # What stays deliberate.
    "eps-zero": (run, RANKS, {"eps": 0.0, "mode": "multilevel", "seed": 1}, None, 2, None),
    "gsea-param-zero": (run, RANKS, {"gseaParam": 0.0, "seed": 1}, None, 2, None),
    "zero-permutations": (run, RANKS, {"mode": "simple", "nperm": 0}, None, 2, None),
    "empty-size-range": (run, RANKS, {"minSize": 4, "maxSize": 3}, None, 0, None),
    "all-zero-scores-plot": (enrichment, dict.fromkeys(RANKS, 0.0), {"gseaParam": 1e300}, None,
                             None, None),
    # NUL characters in paths, and messages quoting text with one.
    "nul-gmt-path": (run, RANKS, {"gmt_path": "{dir}/sets.gmt\0.txt"}, ValueError, NUL_PATH,
                     "while processing 'gmt_path'"),
    "nul-decor-cache": (run, RANKS, DECOR | {"decor_cache": "{dir}/cache\0.tsv"}, ValueError,
                        NUL_PATH, "while processing 'decor_cache'"),
    "nul-decor-expression": (run, RANKS, DECOR | {"decor_expression": "{dir}/e\0.tsv"},
                             ValueError, NUL_PATH, "while processing 'decor_expression'"),
    "nul-enrichment-output": (enrichment, RANKS, {"output_path": "{dir}/plot\0.png"}, ValueError,
                              NUL_PATH, "while processing 'output_path'"),
    "nul-table-output": (table, RANKS, {"output_path": "{dir}/table.png\0"}, ValueError, NUL_PATH,
                         "while processing 'output_path'"),
    "nul-in-mode": (run, RANKS, {"mode": "kel\0da"}, ValueError,
                    "Invalid mode 'kel\0da'. Expected one of: kelda, multilevel, simple, blitz.",
                    None),
}


def snapshot(folder):
    return {p.name: p.read_bytes() for p in sorted(folder.iterdir())}


@pytest.mark.parametrize("name", CASES)
def test_refusals_leave_the_folder_as_it_was(tmp_path, name):
    entry, ranks, kwargs, exception, message, note = CASES[name]
    (tmp_path / "sets.gmt").write_text(GMT)
    kwargs = {k: v.replace("{dir}", str(tmp_path)) if isinstance(v, str) else v
              for k, v in kwargs.items()}
    before = snapshot(tmp_path)
    if exception is None:
        result = entry(tmp_path, ranks, **kwargs)
        if entry is run:
            assert len(result) == message
        else:
            assert result is None and (tmp_path / "plot.png").stat().st_size > 0
            before["plot.png"] = (tmp_path / "plot.png").read_bytes()
    else:
        with pytest.raises(exception) as info:
            entry(tmp_path, ranks, **kwargs)
        assert type(info.value) is exception
        assert str(info.value) == message
        assert getattr(info.value, "__notes__", None) == ([note] if note else None)
    assert snapshot(tmp_path) == before


def scaled(factor):
    return {k: v * factor for k, v in RANKS.items()}


@pytest.mark.parametrize("kwargs", [{"mode": "simple", "nperm": 500}, {"nPermSimple": 200}])
def test_weight_sums_out_of_range_give_the_scores_of_a_sum_in_range(tmp_path, kwargs):
    # Scaling by a power of two changes no ratio, so a sum that overflows
    # (5 * 2^1020 + ...) must score exactly as one that does not (2^900),
    # and a sum so small that 2^30 / sum overflows exactly as 2^-900.
    (tmp_path / "sets.gmt").write_text(GMT)
    results = {e: run(tmp_path, scaled(2.0**e), seed=3, **kwargs) for e in (1020, 900, -900, -1060)}
    assert exact(results[1020]) == exact(results[900])
    assert exact(results[-1060]) == exact(results[-900])
    # A factor that is not a power of two keeps the scores up to the rounding
    # of the integer weights.
    for big, one in zip(run(tmp_path, scaled(2e307), seed=3, **kwargs),
                        run(tmp_path, RANKS, seed=3, **kwargs)):
        assert big["pathway"] == one["pathway"] and big["leading_edge"] == one["leading_edge"]
        assert big["es"] == pytest.approx(one["es"], rel=1e-6)


def test_the_enrichment_plot_of_an_overflowing_sum_is_the_one_in_range(tmp_path):
    images = []
    for e in (1020, 900):
        path = tmp_path / f"plot{e}.png"
        enrichment(tmp_path, scaled(2.0**e), output_path=str(path))
        images.append(path.read_bytes())
    assert images[0] == images[1]


# ---- random arguments ------------------------------------------------------

RANDOM_CALLS = r'''
import json, math, os, random, sys
import quenfamod

folder = sys.argv[1]
os.chdir(folder)  # relative output paths land in the folder too
rng = random.Random(int(sys.argv[2]))
calls = int(sys.argv[3])
gmt = os.path.join(folder, "sets.gmt")
expression = os.path.join(folder, "expression.tsv")


def write_inputs():
    """Rewritten before every call: a call may name them as its output."""
    with open(gmt, "w") as handle:
        for s in range(6):
            genes = "\t".join(f"G{(s * 7 + j * 3) % 40}" for j in range(3 + 2 * s))
            handle.write(f"SET{s}\tdesc\t{genes}\n")
    with open(expression, "w") as handle:
        handle.write("gene\t" + "\t".join(f"s{j}" for j in range(6)) + "\n")
        for i in range(40):
            handle.write(f"G{i}\t" + "\t".join(str(math.sin(i * 7 + j)) for j in range(6)) + "\n")


JUNK = [None, True, 0, -1, 1, 2**64, -2**70, 0.0, -0.0, 0.5, 1e300, math.nan, math.inf,
        -math.inf, "", "x", "\0", "\udcff", b"bytes", [], ["G1"], {}, {"a": 1}, (1, 2),
        object(), 3 + 4j, "auto", "std", "Blitz"]
COUNT = [0, 1, 2, 5, 50]        # permutation counts, anchors, accuracy: bounded
SIZE = [None, 0, 1, 3, 5, 39, 2**63, 2**64 - 1]
REAL = [0.0, 1e-300, 1e-50, 0.1, 0.5, 1.0, 1.5, 2.0, -1.0, math.nan, math.inf, 1e300]


def pick(usual, *others):
    """`usual` most of the time, else one of `others`."""
    return usual if rng.random() < 0.8 or not others else rng.choice(others)


def scores():
    kind = rng.random()
    genes = [f"G{i}" for i in range(pick(40, 0, 1, 2))]
    if kind < 0.85:
        return {g: rng.choice([rng.uniform(-3, 3), 0.0, 1e300, -5e-324, 1.0]) for g in genes}
    return rng.choice([{g: rng.choice(REAL) for g in genes}, {1: 1.0}, {"G1": "1"},
                       [("G1", 1.0)], {"G1": None}, {"G1": 10**400}, {"G\0": 1.0}])


def path(usual, *extra):
    return pick(usual, gmt, expression, folder, os.path.join(folder, "missing"),
                os.path.join(folder, "out.png"), os.path.join(folder, "c.tsv"),
                os.path.join(folder, "c.tsv.gz"), gmt + "\0x", "", *extra)


RUN = {
    "nPermSimple": lambda: rng.choice(COUNT), "seed": lambda: rng.choice([None, 0, 1, 2**64 - 1]),
    "nproc": lambda: rng.choice([0, 1, 2]), "minSize": lambda: rng.choice(SIZE),
    "maxSize": lambda: rng.choice(SIZE), "eps": lambda: rng.choice(REAL),
    "scoreType": lambda: rng.choice(["std", "POS", "neg", "both"]),
    "gseaParam": lambda: rng.choice(REAL), "mode": lambda: rng.choice(
        ["kelda", "multilevel", "simple", "blitz", "Simple", "fast"]),
    "nperm": lambda: rng.choice([None, *COUNT]), "sampleSize": lambda: rng.choice([0, 1, 3, 11]),
    "gpu": lambda: rng.choice([False, True]), "method": lambda: rng.choice(
        ["classic", "decor", "DECOR", "other"]),
    "decor_cache": lambda: path(os.path.join(folder, rng.choice(["c.tsv", "c.tsv.gz"])), None),
    "decor_expression": lambda: path(expression, None),
    "decor_preset": lambda: rng.choice([None, "x", "balanced", "strict", "Sensitive"]),
    "decor_stringency": lambda: rng.choice([None, *REAL]),
    "decor_weight_formula": lambda: rng.choice([None, "x", "raw-rational", "exp-scaled",
                                                      "power-retention"]),
    "decor_alpha": lambda: rng.choice([None, *REAL]),
    "decor_threshold": lambda: rng.choice([None, *REAL]),
    "decor_gamma": lambda: rng.choice([None, *REAL]),
    "decor_penalty_floor": lambda: rng.choice([None, *REAL]),
    "decor_scale_epsilon": lambda: rng.choice(REAL),
    "decor_cache_mode": lambda: rng.choice(["auto", "rebuild", "reuse", "x"]),
    "decor_correlation": lambda: rng.choice(["pearson", "spearman", "x"]),
    "decor_redundancy": lambda: rng.choice(["positive_mean", "x"]),
    "blitz_anchors": lambda: rng.choice([0, 1, 2, 3]), "blitz_symmetric": lambda: rng.random() < .5,
    "blitz_center": lambda: rng.random() < .5, "blitz_accuracy": lambda: rng.choice(COUNT),
    "blitz_deep_accuracy": lambda: rng.choice(COUNT),
    "blitz_signature_cache": lambda: rng.random() < .5,
}
PLOT = {
    "pathway_genes": lambda: pick(["G1", "G5", "G30"], [], ["nope"],
                                  [f"G{i}" for i in range(40)], "G1"),
    "output_path": lambda: path(os.path.join(folder, "out.png"), os.path.join(folder, "p\0.png")),
    "pathway_name": lambda: rng.choice(["P", "", "\0", "ünï"]),
    "scoreType": RUN["scoreType"], "gseaParam": lambda: rng.choice(REAL),
    "width_inches": lambda: rng.choice([0.0, 1.0, 3.0, 8.0, -1.0, math.nan, math.inf]),
    "height_inches": lambda: rng.choice([None, 0.0, 1.0, 2.2, 8.0, math.inf]),
    "dpi": lambda: rng.choice([0, 1, 40, 100, 150, 2**32]),
    "transparent_background": lambda: rng.random() < .5,
    "title": lambda: rng.choice([None, "", "T\0", "t" * 300]),
    "pathways": lambda: pick([("SET1", ["G1", "G5"])], [], [("P", [])], [("P", "G1")],
                             [["P", ["G1"]]], [("SET2", ["G1"]), ("SET3", ["G3", "G9"])]),
    "results": lambda: pick([{"pathway": "SET1", "nes": 1.0, "pval": 0.1, "padj": 0.2}],
                            [], [{"pathway": "SET2", "nes": math.nan, "pval": 1, "padj": None}],
                            [{}], [{"pathway": "SET3", "nes": 1e300, "pval": -1.0,
                                    "padj": math.inf}], [{"pathway": "SET1", "nes": math.nan,
                                                          "pval": math.nan, "padj": 0.0}]),
}
ENTRIES = {
    "run_gsea_py": (quenfamod.run_gsea_py, {"ranks": scores, "gmt_path": lambda: path(gmt)}, RUN),
    "write_enrichment_plot_png_py": (quenfamod.write_enrichment_plot_png_py, {"ranks": scores},
                                     {k: PLOT[k] for k in ("pathway_genes", "output_path",
                                      "pathway_name", "scoreType", "gseaParam", "width_inches",
                                      "height_inches", "dpi", "transparent_background", "title")}),
    "write_gsea_table_plot_png_py": (quenfamod.write_gsea_table_plot_png_py, {"ranks": scores},
                                     {k: PLOT[k] for k in ("pathways", "results", "output_path",
                                      "gseaParam", "width_inches", "height_inches", "dpi",
                                      "transparent_background")}),
}
ALLOWED = (TypeError, ValueError, OverflowError, OSError, RuntimeError)
REQUIRED = {"run_gsea_py": 2, "write_enrichment_plot_png_py": 3, "write_gsea_table_plot_png_py": 4}

outcomes, bad = {}, []
for i in range(calls):
    name = rng.choice(list(ENTRIES))
    function, required, optional = ENTRIES[name]
    kwargs = {k: make() for k, make in required.items()}
    for key, make in optional.items():
        if rng.random() < (0.08 if len(optional) > 20 else 0.3) or key in ("output_path", "pathway_genes", "pathways", "results"):
            kwargs[key] = make()
    for key in rng.sample(list(kwargs), rng.choice([0, 0, 0, 0, 1, 2])):
        kwargs[key] = rng.choice(JUNK)  # any type where any argument goes
    if rng.random() < 0.02:
        kwargs["unknown"] = 1
    described = repr(kwargs)[:2000]
    write_inputs()
    try:
        function(**kwargs)
        outcome = "result"
    except ALLOWED as error:
        outcome = type(error).__name__
    except MemoryError as error:
        # An image side above the pixel limit of 32-bit sizes: bounding the
        # plot's memory with a message is a separate fix, counted apart here.
        sides = [kwargs.get(k) for k in ("width_inches", "height_inches")]
        huge = any(isinstance(v, float) and math.isfinite(v) and v > 1e6 for v in sides)
        outcome = "MemoryError (image size)" if huge else "FORBIDDEN MemoryError"
        if not huge:
            bad.append(f"{name}({described}) -> MemoryError: {error}")
    except BaseException as error:
        outcome = "FORBIDDEN " + type(error).__name__
        bad.append(f"{name}({described}) -> {type(error).__name__}: {error}")
    outcomes.setdefault(name, {}).setdefault(outcome, 0)
    outcomes[name][outcome] += 1
print(json.dumps({"outcomes": outcomes, "bad": bad}))
'''


def test_random_arguments_give_a_result_or_a_documented_exception(tmp_path):
    # A crash kills only the child: its exit status fails the test. faulthandler
    # shows where a hang or a crash happened.
    calls = int(os.environ.get("QUENFA_RANDOM_CALLS", "2000"))
    script = tmp_path / "random_calls.py"
    script.write_text(RANDOM_CALLS)
    folder = tmp_path / "work"
    folder.mkdir()
    done = subprocess.run([sys.executable, "-X", "faulthandler", str(script), str(folder), "13",
                           str(calls)], capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-4000:]
    report = json.loads(done.stdout)
    assert report["bad"] == []
    print(json.dumps(report["outcomes"], indent=1))
    for name, outcomes in report["outcomes"].items():
        assert outcomes.get("result", 0) > 0 and sum(outcomes.values()) > outcomes["result"], name
    assert sum(sum(o.values()) for o in report["outcomes"].values()) == calls


# ---- fork after a run ------------------------------------------------------

def _child_run(queue, gmt, kwargs):
    queue.put(quenfamod.run_gsea_py(RANKS, gmt, **kwargs))


@pytest.mark.parametrize("kwargs", [{"seed": 5, "nPermSimple": 300},
                                    {"mode": "blitz", "minSize": 2, "nPermSimple": 50}])
def test_a_forked_child_runs_with_the_parents_results(tmp_path, kwargs):
    gmt = tmp_path / "sets.gmt"
    gmt.write_text(GMT)
    parent = quenfamod.run_gsea_py(RANKS, str(gmt), **kwargs)  # the pool exists now
    context = multiprocessing.get_context("fork")
    queue = context.Queue()
    child = context.Process(target=_child_run, args=(queue, str(gmt), kwargs))
    child.start()
    try:
        assert queue.get(timeout=120) == parent
    finally:
        child.join(timeout=30)
        if child.is_alive():
            child.kill()
    assert child.exitcode == 0
