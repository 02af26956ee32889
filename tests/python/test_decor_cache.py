"""Decor options and the decor cache through run_gsea_py: option errors in
step order, cache errors as RuntimeError, building against NumPy (Pearson) and
SciPy (Spearman), files that do not depend on the thread count, reuse, a cache
of one correlation kind never used for the other, and names that cannot be
stored."""

import gzip
import os
import pathlib
import re
import subprocess
import sys
import warnings

import numpy as np
import pytest
import quenfamod

ROOT = pathlib.Path(__file__).resolve().parents[2]
DEMO_GMT = ROOT / "examples" / "data" / "demo.gmt"
DEMO_EXPRESSION = ROOT / "examples" / "data" / "expression_demo.tsv.gz"


def run_decor(ranks, gmt, **decor):
    return quenfamod.run_gsea_py(ranks, str(gmt), method="decor", **decor)


@pytest.mark.parametrize("decor,message", [
    # Release tuning comes first, then the overrides, then the three choices.
    ({"decor_preset": "Loose", "decor_alpha": -1.0, "decor_cache_mode": "x"},
     "Invalid decor preset 'loose'."),
    ({"decor_stringency": 100.0001, "decor_weight_formula": "nope"}, "Invalid decor stringency"),
    ({"decor_weight_formula": "Quantile-Rational", "decor_alpha": -1.0},
     "Invalid decor weight formula 'quantile-rational'."),
    ({"decor_scale_epsilon": 0.0, "decor_cache_mode": "x"}, "decor_scale_epsilon"),
    ({"decor_cache_mode": "ÄUTO", "decor_correlation": "x"}, "Invalid decor_cache_mode 'äuto'."),
    ({"decor_correlation": "KENDALL", "decor_redundancy": "x"}, "Invalid decor_correlation 'kendall'."),
    ({"decor_redundancy": "MAX"}, "Invalid decor_redundancy 'max'."),
])
def test_option_failures_are_value_errors_in_step_order(ranks, gmt_path, tmp_path, decor, message):
    with pytest.raises(ValueError) as info:
        run_decor(ranks, gmt_path, decor_cache=str(tmp_path / "c.tsv"), **decor)
    assert str(info.value).startswith(message)
    assert not (tmp_path / "c.tsv").exists()


def test_cache_failures_are_runtime_errors(ranks, gmt_path, tmp_path):
    cache = tmp_path / "c.tsv"
    # Mode reuse never builds, even with a matrix at hand.
    with pytest.raises(RuntimeError, match="^decor cache does not exist: " + re.escape(str(cache))):
        run_decor(ranks, gmt_path, decor_cache=str(cache), decor_cache_mode="REUSE",
                  decor_expression=str(DEMO_EXPRESSION))


def test_a_pathway_named_like_metadata_fails_the_build_and_writes_nothing(ranks, tmp_path):
    gmt = tmp_path / "sets.gmt"
    gmt.write_text("A\t\tg0\tg1\n#n_rows=5\t\tg1\tg2\n")
    expression = tmp_path / "e.tsv"
    expression.write_text("gene\ts1\ts2\ts3\ng0\t1\t2\t3\ng1\t3\t1\t2\ng2\t1\t1\t2\n")
    with pytest.raises(RuntimeError, match="pathway '#n_rows=5'"):
        run_decor(ranks, gmt, decor_cache=str(tmp_path / "out" / "c.tsv"),
                  decor_expression=str(expression))
    assert sorted(p.name for p in tmp_path.iterdir()) == ["e.tsv", "sets.gmt"]


def scipy_stats():
    """scipy.stats; a missing SciPy skips, unless reference tools are required."""
    try:
        from scipy import stats
    except ImportError:
        if os.environ.get("QUENFA_REQUIRE_REFERENCE_TOOLS") == "1":
            raise
        pytest.skip("scipy is not installed")
    return stats


def read_cache_rows(path):
    opener = gzip.open if str(path).endswith(".gz") else open
    rows = {}
    with opener(path, "rt") as handle:
        lines = [line.rstrip("\n") for line in handle if not line.startswith("#")]
    assert lines[0] == "pathway\tgene\tredundancy"
    for line in lines[1:]:
        pathway, gene, score = line.split("\t")
        assert len(score.split(".")[1]) == 8
        rows.setdefault(pathway, []).append((gene, float(score)))
    return rows


@pytest.mark.parametrize("correlation", ["pearson", "spearman"])
@pytest.mark.parametrize("redundancy", ["positive_mean", "abs_mean"])
def test_built_scores_agree_with_numpy_and_scipy(ranks, tmp_path, redundancy, correlation):
    rng = np.random.default_rng(5)
    genes = [f"g{i}" for i in range(12)]
    values = rng.normal(size=(12, 15)) + np.outer(rng.normal(size=12), np.arange(15)) * 0.2
    values = np.round(values, 1)  # ties within rows
    values[3] = 4.25  # a constant gene correlates 0 with every gene
    if correlation == "pearson":
        correlate = np.corrcoef
    else:
        spearmanr = scipy_stats().spearmanr

        def correlate(rows):  # pair by pair: one constant row makes a matrix call all NaN
            return np.array([[spearmanr(x, y).statistic for y in rows] for x in rows])
    expression = tmp_path / "e.tsv"
    expression.write_text("gene\t" + "\t".join(f"s{k}" for k in range(15)) + "\n" + "".join(
        g + "\t" + "\t".join(repr(float(v)) for v in row) + "\n" for g, row in zip(genes, values)))
    sets = {"S1": genes[:7] + ["absent"], "S2": genes[2:12] + ["g2"], "S3": ["g5", "absent"]}
    gmt = tmp_path / "sets.gmt"
    gmt.write_text("".join(f"{name}\t\t" + "\t".join(members) + "\n" for name, members in sets.items()))
    cache = tmp_path / "c.tsv"
    run_decor(ranks, gmt, decor_cache=str(cache), decor_expression=str(expression),
              decor_redundancy=redundancy, decor_correlation=correlation)
    rows = read_cache_rows(cache)
    for name, members in sets.items():
        kept = list(dict.fromkeys(g for g in members if g in genes))
        index = [genes.index(g) for g in kept]
        with np.errstate(invalid="ignore", divide="ignore"), warnings.catch_warnings():
            warnings.simplefilter("ignore")  # the constant gene has no correlation
            rho = np.nan_to_num(correlate(values[index]), nan=0.0) if len(index) > 1 else None
        if rho is None:
            expected = [0.0]
        else:
            np.fill_diagonal(rho, 0.0)
            t = np.maximum(rho, 0.0) if redundancy == "positive_mean" else np.abs(rho)
            expected = np.clip(t.sum(axis=1) / (len(index) - 1), 0, 1)
        assert [g for g, _ in rows[name]] == kept
        # 8 decimals of a float: within half a float step plus half a decimal step.
        np.testing.assert_allclose([s for _, s in rows[name]], expected, rtol=0, atol=4e-8)


BUILD_IN_CHILD = """
import sys, quenfamod
quenfamod.run_gsea_py({"A": 1.0}, sys.argv[1], method="decor", nproc=int(sys.argv[2]),
                      decor_cache=sys.argv[3], decor_expression=sys.argv[4],
                      decor_cache_mode="rebuild")
"""


@pytest.mark.parametrize("suffix", [".tsv", ".tsv.gz"])
def test_written_cache_is_the_same_for_every_thread_count(tmp_path, suffix):
    paths = []
    for run, nproc in enumerate([1, 2, 2]):
        path = tmp_path / f"run{run}{suffix}"
        subprocess.run([sys.executable, "-c", BUILD_IN_CHILD, str(DEMO_GMT), str(nproc), str(path),
                        str(DEMO_EXPRESSION)], check=True, env={"PYTHONPATH": ":".join(sys.path)})
        paths.append(path)
    first = paths[0].read_bytes()
    assert len(first) > 100_000
    assert all(p.read_bytes() == first for p in paths[1:])


def test_auto_reuses_a_compatible_cache_and_rebuilds_for_other_settings(ranks, tmp_path):
    cache = tmp_path / "c.tsv.gz"
    decor = dict(decor_cache=str(cache), decor_expression=str(DEMO_EXPRESSION))
    run_decor(ranks, DEMO_GMT, **decor)
    built = cache.stat().st_mtime_ns, cache.read_bytes()
    # An unchanged compatible cache is read, not rewritten, even without the matrix.
    run_decor(ranks, DEMO_GMT, decor_cache=str(cache))
    run_decor(ranks, DEMO_GMT, **decor)
    assert (cache.stat().st_mtime_ns, cache.read_bytes()) == built
    run_decor(ranks, DEMO_GMT, decor_redundancy="abs_mean", **decor)
    assert b"redundancy=abs_mean" in gzip.decompress(cache.read_bytes())
    assert not [p for p in tmp_path.iterdir() if ".tmp." in p.name]


@pytest.mark.parametrize("built,asked", [("pearson", "spearman"), ("spearman", "pearson")])
def test_a_cache_of_one_correlation_is_never_used_for_the_other(ranks, tmp_path, built, asked):
    cache = tmp_path / "c.tsv"
    run_decor(ranks, DEMO_GMT, decor_cache=str(cache), decor_expression=str(DEMO_EXPRESSION),
              decor_correlation=built)
    text = cache.read_text()
    assert f"# correlation={built}\n" in text
    reason = f"correlation method differs: cache={built}, requested={asked}"
    # Mode reuse refuses it even with the matrix at hand; mode auto cannot rebuild without it.
    for extra in ({"decor_cache_mode": "reuse", "decor_expression": str(DEMO_EXPRESSION)}, {}):
        with pytest.raises(RuntimeError, match=re.escape(reason)):
            run_decor(ranks, DEMO_GMT, decor_cache=str(cache), decor_correlation=asked, **extra)
        assert cache.read_text() == text
    run_decor(ranks, DEMO_GMT, decor_cache=str(cache), decor_expression=str(DEMO_EXPRESSION),
              decor_correlation=asked)
    rebuilt = cache.read_text()
    assert f"# correlation={asked}\n" in rebuilt
    assert rebuilt.split("pathway\tgene\tredundancy")[1] != text.split("pathway\tgene\tredundancy")[1]
