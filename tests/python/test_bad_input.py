"""Unusual and hostile inputs reach a clear exception or work; none crashes."""

import math

import pytest

import quenfamod


def _reaches_engine(ranks, gmt_path, **kwargs):
    """The arguments are accepted and a run without permutations completes."""
    results = quenfamod.run_gsea_py(ranks, gmt_path, mode="simple", nperm=0, **kwargs)
    assert isinstance(results, list)
    return results


def test_degenerate_scores_and_sizes_are_accepted(gmt_path):
    for ranks in [
        {},
        {"g0": 0.0, "g1": -0.0},
        {"g0": 1.0},
        {"g0": 1e308, "g1": -1e308, "g2": 5e-324},
    ]:
        _reaches_engine(ranks, gmt_path)


def test_a_million_genes_and_a_hundred_thousand_sets(tmp_path):
    ranks = {f"GENE{i}": math.sin(i) for i in range(1_000_000)}
    path = tmp_path / "many.gmt"
    with open(path, "w") as handle:
        for s in range(100_000):
            genes = "\t".join(f"GENE{(s * 37 + j * 101) % 1_000_000}" for j in range(5))
            handle.write(f"SET{s}\tdescription {s}\t{genes}\n")
    assert len(_reaches_engine(ranks, str(path))) == 100_000


def test_a_dict_changed_while_its_scores_convert_is_refused(gmt_path):
    ranks = {}

    class Sneaky:
        def __float__(self):
            ranks.clear()
            return 1.0

    ranks.update({"a": Sneaky(), "b": 2.0, "c": 3.0})
    with pytest.raises(RuntimeError) as info:
        quenfamod.run_gsea_py(ranks, gmt_path)
    assert str(info.value) == "dictionary changed size during iteration"
    assert info.value.__notes__ == ["while processing 'ranks'"]


def test_str_subclass_keys_that_repeat_an_identifier_are_merged(gmt_path):
    class Key(str):
        def __hash__(self):
            return id(self)

        def __eq__(self, other):
            return self is other

    ranks = {Key("g0"): 1.0, Key("g0"): 2.0, "g1": 0.5}
    assert len(ranks) == 3
    # Merged, the list has 2 genes, so the set {g0, g1} exceeds the default
    # size bound n - 1; with three genes it would have been kept.
    assert _reaches_engine(ranks, gmt_path) == []


def test_huge_integer_arguments_overflow_cleanly(ranks, gmt_path):
    for name in ["nPermSimple", "seed", "nproc", "minSize", "maxSize", "nperm", "sampleSize"]:
        for value in (-1, 2**64, 10**100):
            with pytest.raises(OverflowError):
                quenfamod.run_gsea_py(ranks, gmt_path, **{name: value})
