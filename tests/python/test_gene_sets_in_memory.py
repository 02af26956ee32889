"""run_gsea_sets_py: gene sets given in memory give, field by field, what
run_gsea_py gives on the same sets written as canonical GMT text, in every
mode and method; the decor cache is keyed by that text's digest, so a cache
built through one entry serves the other; sets that cannot be written as such
text are refused."""

import hashlib
import pathlib

import pytest
import quenfamod

from engine_helpers import exact

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "examples" / "data"
EXPRESSION = str(DATA / "expression_demo.tsv.gz")


def demo_sets():
    """The demo GMT file as (name, description or None, genes) tuples."""
    sets = []
    for line in (DATA / "demo.gmt").read_text().splitlines():
        name, description, *genes = line.split("\t")
        sets.append((name, description or None, [g.strip() for g in genes if g.strip()]))
    return sets


def gmt_text(sets):
    return "".join("\t".join([name, description or "", *genes]) + "\n"
                   for name, description, genes in sets)


@pytest.fixture(scope="module")
def demo():
    lines = (DATA / "ranks.tsv").read_text().splitlines()[1:]
    ranks = {gene: float(score) for gene, score in (line.split("\t") for line in lines)}
    return ranks, demo_sets()


@pytest.fixture
def written(demo, tmp_path):
    path = tmp_path / "sets.gmt"
    path.write_bytes(gmt_text(demo[1]).encode("utf-8"))
    return str(path)


SMALL = dict(seed=4, minSize=15, maxSize=40)
RUNS = {
    "kelda": SMALL,
    "simple": dict(SMALL, mode="simple", nperm=400),
    "multilevel": dict(SMALL, mode="multilevel"),
    "blitz": dict(mode="blitz", nPermSimple=300, seed=4),
    "decor kelda": dict(SMALL, method="decor"),
    "decor simple": dict(SMALL, method="decor", mode="simple", nperm=400),
    "decor multilevel": dict(SMALL, method="decor", mode="multilevel"),
}


@pytest.mark.parametrize("run", RUNS)
def test_sets_in_memory_equal_the_same_sets_from_a_file(run, demo, written, tmp_path):
    ranks, sets = demo
    arguments = dict(RUNS[run])
    if arguments.get("method") == "decor":
        arguments.update(decor_cache=str(tmp_path / "cache.tsv"), decor_expression=EXPRESSION)
    from_file = quenfamod.run_gsea_py(ranks, written, **arguments)
    in_memory = quenfamod.run_gsea_sets_py(ranks, sets, **arguments)
    assert len(in_memory) > 0
    assert exact(in_memory) == exact(from_file)


def cache_digest(path):
    for line in pathlib.Path(path).read_text().splitlines():
        if line.startswith("# gmt_sha256="):
            return line.split("=", 1)[1]
    raise AssertionError("no gmt_sha256 line")


@pytest.mark.parametrize("builder", ["in memory", "file"])
def test_a_decor_cache_built_through_one_entry_is_reused_by_the_other(builder, demo, written,
                                                                      tmp_path):
    ranks, sets = demo
    cache = str(tmp_path / "cache.tsv")
    common = dict(SMALL, method="decor", decor_cache=cache)
    run_file = lambda **more: quenfamod.run_gsea_py(ranks, written, **common, **more)
    run_memory = lambda given=sets, **more: quenfamod.run_gsea_sets_py(ranks, given, **common,
                                                                        **more)
    build, reuse = (run_memory, run_file) if builder == "in memory" else (run_file, run_memory)

    built = build(decor_expression=EXPRESSION)
    text = gmt_text(sets).encode("utf-8")
    assert cache_digest(cache) == hashlib.sha256(text).hexdigest()
    assert exact(reuse(decor_cache_mode="reuse")) == exact(built)
    # An empty description is no description: the same text, the same cache.
    blank = [(name, description or "", genes) for name, description, genes in sets]
    assert exact(run_memory(blank, decor_cache_mode="reuse")) == exact(built)


@pytest.mark.parametrize("pathways, error, message", [
    ([("", None, ["CD3D"])], ValueError, r"^gene set at index 0 has an empty name\."),
    ([("A", None, ["CD3D"]), ("B", "b", [])], ValueError, r"^gene set 'B' has no genes\."),
    ([("A\tB", None, ["CD3D"])], ValueError, r"'A\tB': the name contains a tab or a line break"),
    ([("A", "x\ny", ["CD3D"])], ValueError, r"'A': the description contains a tab or a line"),
    ([("A", None, [" CD3D"])], ValueError, r"'A': invalid gene identifier ' CD3D' \(empty,"),
    ([("A", None, ["CD3D", ""])], ValueError, r"'A': invalid gene identifier ''"),
    ([("A", None, ["CD3D\r"])], ValueError, r"'A': invalid gene identifier"),
    ("A", TypeError, r"^expected a sequence of \(name, description, genes\) tuples, got str"),
    ([["A", None, ["CD3D"]]], TypeError, r"^expected a \(name, description, genes\) tuple, got list"),
    ([("A", ["CD3D"])], ValueError, r"tuple of length 3, got length 2"),
    ([("A", None, "CD3D")], TypeError, r"^expected a sequence of str, got str"),
    ([(1, None, ["CD3D"])], TypeError, r"^expected str, got int"),
    ([("A", b"a", ["CD3D"])], TypeError, r"^expected str, got bytes"),
])
def test_sets_that_do_not_write_as_gmt_text_are_refused(pathways, error, message, demo):
    with pytest.raises(error, match=message) as caught:
        quenfamod.run_gsea_sets_py(demo[0], pathways)
    if error is TypeError:
        assert caught.value.__notes__ == ["while processing 'pathways'"]
