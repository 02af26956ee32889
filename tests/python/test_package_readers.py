"""quenfa readers and writers: ranked lists, GMT files, canonical GMT text, rank_genes."""

import gzip
import io
import pathlib

import numpy as np
import pandas as pd
import pytest
import scipy.stats

import quenfa
from quenfa.bundled import COLLECTIONS, collection_path

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"


@pytest.mark.parametrize("name, content", [
    ("list.rnk", "# comment\nB\t2.5\n\nA\t-1\nC\t1e-3\n"),
    ("list.tsv", "gene\tscore\nB\t2.5\nA\t-1\nC\t0.001\n"),
    ("list.txt", "B\t2.5\r\nA\t-1\r\nC\t0.001\r\n"),
    ("list.csv", "gene,stat\nB,2.5\n\"A\",-1\nC,0.001\n"),
])
def test_read_ranks_formats_keep_file_order(tmp_path, name, content):
    plain = tmp_path / name
    plain.write_text(content)
    packed = tmp_path / (name + ".gz")
    packed.write_bytes(gzip.compress(content.encode()))
    for source in (plain, packed, io.StringIO(content), io.BytesIO(gzip.compress(content.encode()))):
        series = quenfa.read_ranks(source)
        assert series.index.tolist() == ["B", "A", "C"]
        assert series.tolist() == [2.5, -1.0, 0.001]
        assert series.dtype == np.float64


@pytest.mark.parametrize("content, message", [
    ("", "no ranked genes (the file is empty)"),
    ("# only a comment\n\n", "no ranked genes (the file is empty)"),
    ("gene\tscore\n", "no ranked genes (only a header line)"),
    ("A\t1\nB\t\n", "line 2: the score of B is missing"),
    ("A\t1\nB\n", "line 2: expected 2 columns (gene, score), found 1"),
    ("A\t1\nB\t2\t3\n", "line 2: expected 2 columns (gene, score), found 3"),
    ("A\t1\nB\tx1\n", "line 2: the score of B is not a number: 'x1'"),
    ("A\t1\n#c\nB\tnan\n", "line 3: the score of B is nan, not a finite number"),
    ("A\t1\nB\t-inf\n", "line 2: the score of B is -inf, not a finite number"),
    ("A\t1\n\t2\n", "line 2: the gene identifier is empty"),
    ("A\t1\nB\t2\nA\t3\nB\t4\n", "2 genes are listed more than once: A (lines 1, 3); B (lines 2, 4)"),
    (b"A\t1\nB\xff\t2\n", "line 2: not valid UTF-8 text"),
])
def test_read_ranks_errors_name_the_file_and_line(tmp_path, content, message):
    path = tmp_path / "bad.rnk"
    path.write_bytes(content if isinstance(content, bytes) else content.encode())
    with pytest.raises(quenfa.InputError) as error:
        quenfa.read_ranks(path)
    assert str(error.value).startswith(str(path))
    assert message in str(error.value)


@pytest.mark.parametrize("rule, expected", [
    ("first", {"A": 1.0, "B": -4.0, "C": 2.0}),
    ("mean", {"A": 2.0, "B": -1.0, "C": 2.0}),
    ("max_abs", {"A": 3.0, "B": -4.0, "C": 2.0}),
])
def test_read_ranks_merges_repeated_genes_at_their_first_place(rule, expected):
    series = quenfa.read_ranks(io.StringIO("A\t1\nB\t-4\nA\t3\nC\t2\nB\t2\n"), duplicates=rule)
    assert series.to_dict() == expected
    assert series.index.tolist() == ["A", "B", "C"]


def test_read_gmt_follows_the_engine_rules_and_keeps_descriptions(tmp_path):
    path = tmp_path / "sets.gmt"
    path.write_text("S1\tfirst set\t G1 \t\tG2\tG1\t\n\t \t\nS2\t\tG3\r\n")
    sets = quenfa.read_gmt(path)
    assert list(sets) == ["S1", "S2"]
    assert sets["S1"] == ["G1", "G2", "G1"]
    assert sets.descriptions == {"S1": "first set", "S2": None}


@pytest.mark.parametrize("content, message", [
    ("S1\tdesc\tG1\nS2\tG2\n", "line 2: malformed GMT line: expected at least 3 tab-separated columns"),
    ("S1\t\tG1\nS2\t\tG2\nS1\t\tG3\n", "line 3: gene set 'S1' is already defined on line 1"),
])
def test_read_gmt_errors_name_the_line(tmp_path, content, message):
    path = tmp_path / "sets.gmt"
    path.write_text(content)
    with pytest.raises(quenfa.InputError, match=message):
        quenfa.read_gmt(path)


def test_write_gmt_is_canonical_and_reads_back(tmp_path):
    sets = quenfa.GeneSets({"S1": ["G2", "G1", "G2"], "S2": ("G3",)}, {"S1": "one"})
    path = tmp_path / "out.gmt"
    quenfa.write_gmt(sets, path)
    assert path.read_bytes() == b"S1\tone\tG2\tG1\tG2\nS2\t\tG3\n"
    back = quenfa.read_gmt(path)
    assert back == {"S1": ["G2", "G1", "G2"], "S2": ["G3"]} and back.descriptions == sets.descriptions
    quenfa.write_gmt({"S": ["A"]}, path, descriptions={"S": "d"})
    assert path.read_text() == "S\td\tA\n"


@pytest.mark.parametrize("sets, message", [
    ({"S": []}, "gene set 'S' has no genes"),
    ({"S": "ABC"}, "expected a list of genes, not a string"),
    ({"S": ["A", " B"]}, "invalid gene identifier ' B'"),
    ({"S": ["A", ""]}, "invalid gene identifier ''"),
    ({"S\tT": ["A"]}, "contains a tab or a line break"),
    ({"": ["A"]}, "gene set names must be non-empty strings"),
])
def test_write_gmt_rejects_what_would_not_read_back(tmp_path, sets, message):
    with pytest.raises(quenfa.InputError, match=message):
        quenfa.write_gmt(sets, tmp_path / "x.gmt")
    assert not (tmp_path / "x.gmt").exists()


@pytest.mark.parametrize("name", sorted(COLLECTIONS))
def test_bundled_collections_are_listed_and_their_files_are_canonical_gmt(name):
    assert name in quenfa.collections()
    data = gzip.decompress(collection_path(name).read_bytes())
    sets = quenfa.read_gmt(collection_path(name))
    assert len(sets) > 500 and all(len(genes) >= 10 for genes in sets.values())
    assert quenfa.gmt_text(sets).encode() == data


@pytest.fixture(scope="module")
def demo_matrix():
    expression = pd.read_csv(EXAMPLES / "expression_demo.tsv.gz", sep="\t", index_col=0, dtype={0: str})
    groups = ["B"] * 20 + ["T"] * 20  # first 20 B-lineage, then 20 T-lineage samples
    return expression, groups


def test_rank_genes_welch_t_equals_scipy(demo_matrix):
    expression, groups = demo_matrix
    ranked = quenfa.rank_genes(expression, groups, "welch_t")
    reference = scipy.stats.ttest_ind(expression.iloc[:, 20:], expression.iloc[:, :20], axis=1,
                                      equal_var=False).statistic
    expected = pd.Series(reference, index=expression.index)
    assert ranked.index.tolist() == expected.sort_values(ascending=False, kind="stable").index.tolist()
    np.testing.assert_allclose(ranked.to_numpy(), expected[ranked.index].to_numpy(), rtol=0, atol=1e-12)
    assert ranked.is_monotonic_decreasing


def test_rank_genes_other_methods_and_direction(demo_matrix):
    expression, groups = demo_matrix
    b, t = expression.iloc[:, :20], expression.iloc[:, 20:]
    s2n = quenfa.rank_genes(expression, groups, "signal_to_noise")
    expected = (t.mean(axis=1) - b.mean(axis=1)) / (t.std(axis=1) + b.std(axis=1))
    np.testing.assert_allclose(s2n.to_numpy(), expected[s2n.index].to_numpy(), rtol=1e-13, atol=0)
    ratio = quenfa.rank_genes(expression, groups, "log2_ratio")
    np.testing.assert_allclose(ratio.to_numpy(), np.log2(t.mean(axis=1) / b.mean(axis=1))[ratio.index].to_numpy(),
                               rtol=1e-13, atol=0)
    flipped = quenfa.rank_genes(expression, pd.Series(groups, index=expression.columns), reference="T")
    assert flipped.index[0] == quenfa.rank_genes(expression, groups).index[-1]


@pytest.mark.parametrize("groups, method, message", [
    (["A", "A", "B", "B"], "t_test", "method must be one of"),
    (["A", "A", "B"], "welch_t", "groups has 3 labels for 4 samples"),
    (["A", "B", "C", "C"], "welch_t", "exactly two distinct labels"),
    (["A", "B", "B", "B"], "welch_t", "at least two samples"),
    (["A", "A", "B", "B"], "welch_t", "undefined for 1 genes, e.g. \\['flat'\\]"),
])
def test_rank_genes_errors(groups, method, message):
    expression = pd.DataFrame([[1.0, 2.0, 3.0, 5.0], [1.0, 1.0, 1.0, 1.0]], index=["g", "flat"])
    with pytest.raises(quenfa.InputError, match=message):
        quenfa.rank_genes(expression, groups, method)
