"""quenfa.main_pathways: which significant sets stand on their own, and the --main-pathways report."""

import pathlib

import numpy as np
import pandas as pd
import pytest

import quenfa
from quenfa import analysis, main_sets
from conftest import run_quenfa

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"

# 200 genes, scores from 99.5 down to -99.5: the top genes strongly up, the middle ones near 0.
RANKS = {f"g{i:03d}": 99.5 - i for i in range(200)}


def genes(*ranges):
    return [f"g{i:03d}" for r in ranges for i in r]


SETS = {
    "A_CORE": genes(range(20)),  # the top 20 genes
    "B_CORE_PLUS_NOISE": genes(range(20), range(25, 200, 9)),  # A and 20 genes spread over the list
    "C_BOTTOM": genes(range(186, 200), [0]),  # the bottom 14 genes and one of A
    "F_C_PLUS_THREE": genes(range(186, 200), range(4)),  # C and 3 more of the top genes
    **{f"RANDOM_{k}": sorted(map(str, np.random.default_rng(k).choice(list(RANKS), 15, replace=False)))
       for k in range(8)},
}
RUN = dict(min_size=5, seed=11)


@pytest.fixture(scope="module")
def result():
    return quenfa.gsea(RANKS, SETS, **RUN)


@pytest.mark.parametrize("mode", ["kelda", "blitz"])
def test_a_superset_depends_on_its_core_and_an_unrelated_set_stays_main(mode):
    result = quenfa.gsea(RANKS, SETS, mode=mode, **RUN)
    marked = quenfa.main_pathways(result, RANKS, SETS, padj=0.01)
    assert list(marked.columns) == list(result.columns) + ["main", "parent"]
    significant = result[result["padj"] < 0.01]
    pd.testing.assert_frame_equal(marked[list(result.columns)], significant.reset_index(drop=True))
    assert marked["main"].dtype == bool
    decided = dict(zip(marked["pathway"], marked["parent"]))
    # B without A is 20 genes spread over the list: scored, not enriched. F without C is 3 genes, below
    # the run's minimum size 5 (scored alone they would be enriched). C shares one gene with A and
    # stays enriched without it.
    assert decided == {"A_CORE": None, "C_BOTTOM": None, "B_CORE_PLUS_NOISE": "A_CORE",
                       "F_C_PLUS_THREE": "C_BOTTOM"}
    assert marked["main"].tolist() == [parent is None for parent in marked["parent"]]
    assert marked.attrs["main_pathways"] == {"padj": 0.01, "main": 2, "dependent": 2}
    assert marked.attrs["seed"] == result.attrs["seed"]


def test_remainders_are_scored_with_the_runs_engine_options_and_seed(monkeypatch):
    run = quenfa.gsea(RANKS, SETS, nperm_simple=500, sample_size=51, **RUN)
    calls = []
    real = analysis.analyse

    def spy(scores, sets, index, gmt_path, parameters, progress=None):
        calls.append((dict(sets), parameters))
        return real(scores, sets, index, gmt_path, parameters, progress)

    monkeypatch.setattr(main_sets, "analyse", spy)
    first = quenfa.main_pathways(run, RANKS, SETS)
    again = quenfa.main_pathways(run, RANKS, SETS)
    pd.testing.assert_frame_equal(first, again)
    assert first.attrs == again.attrs
    # One call per set that overlaps an earlier main set with enough genes left; F stops at C.
    assert calls and all(parameters == run.attrs["parameters"] for _, parameters in calls)
    assert {name for sets, _ in calls for name in sets} <= {"A_CORE", "C_BOTTOM"}


@pytest.mark.parametrize("change, message", [
    (dict(padj=0), "padj must be a number in (0, 1]"),
    (dict(padj=True), "padj must be a number in (0, 1]"),
    (dict(result_df=pd.DataFrame({"pathway": [], "pval": []})), "a frame returned by quenfa.gsea()"),
    (dict(ranks={g: s for g, s in RANKS.items() if g != "g001"}), "has 19 genes in the ranked list but size 20"),
    (dict(gene_sets={k: v for k, v in SETS.items() if k != "A_CORE"}), "'A_CORE' of result_df is not in"),
])
def test_bad_input_is_named(result, change, message):
    arguments = {**dict(result_df=result, ranks=RANKS, gene_sets=SETS, padj=0.01), **change}
    with pytest.raises(quenfa.InputError) as caught:
        quenfa.main_pathways(arguments.pop("result_df"), arguments.pop("ranks"), arguments.pop("gene_sets"),
                             **arguments)
    assert message in str(caught.value)


def test_run_flag_adds_main_and_parent_to_results_and_report(tmp_path):
    outdir = tmp_path / "out"
    done = run_quenfa("run", EXAMPLES / "ranks.tsv", EXAMPLES / "demo.gmt", "-o", outdir, "--top", "0",
                      "--mode", "simple", "--nperm-simple", "500", "--seed", "5", "--min-size", "15",
                      "--main-pathways", "0.05")
    assert done.returncode == 0, done.stderr
    results = pd.read_csv(outdir / "results.tsv", sep="\t", keep_default_na=False)
    frame = quenfa.gsea(quenfa.read_ranks(EXAMPLES / "ranks.tsv"), str(EXAMPLES / "demo.gmt"), mode="simple",
                        nperm_simple=500, seed=5, min_size=15)
    marked = quenfa.main_pathways(frame, quenfa.read_ranks(EXAMPLES / "ranks.tsv"), str(EXAMPLES / "demo.gmt"),
                                  padj=0.05)
    assert list(results.columns[-2:]) == ["main", "parent"]
    expected = {name: ("True", "NA") if main else ("False", parent)
                for name, main, parent in zip(marked["pathway"], marked["main"], marked["parent"])}
    shown = {name: (main, parent) for name, main, parent in zip(results["pathway"], results["main"],
                                                                results["parent"]) if main != "NA"}
    assert shown == expected and "False" in results["main"].tolist()
    assert set(results.loc[results["main"] == "NA", "parent"]) == {"NA"}
    counts = marked.attrs["main_pathways"]
    assert f"{counts['main']} main and {counts['dependent']} dependent gene sets at padj < 0.05" in done.stdout
    page = (outdir / "index.html").read_text()
    assert page.count("<td>main</td>") == counts["main"] and "main pathway</th>" in page
