"""quenfa.gsea against the extension it wraps, its seeds, attrs, inputs and plots."""

import hashlib
import math
import pathlib

import pandas as pd
import pytest

import quenfa
import quenfamod
from quenfa import analysis

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"
GMT = str(EXAMPLES / "demo.gmt")
BOUNDS = {"min_size": 15, "max_size": 500}
ENGINE_BOUNDS = {"minSize": 15, "maxSize": 500}


@pytest.fixture(scope="module")
def ranks():
    return quenfa.read_ranks(EXAMPLES / "ranks.tsv")


@pytest.fixture(scope="module")
def decor_cache(tmp_path_factory):
    return str(tmp_path_factory.mktemp("decor") / "cache.tsv.gz")


def same_float(a, b):
    return (a is None and math.isnan(b)) or (a is not None and (a == b or (math.isnan(a) and math.isnan(b))))


def assert_frame_matches_records(frame, records):
    """Every field of every record, bit for bit, in the frame's row order (pval, then pathway)."""
    expected = sorted(records, key=lambda r: (math.isnan(r["pval"]), r["pval"], r["pathway"]))
    assert list(frame.columns[:8]) == analysis.COLUMNS
    assert len(frame) == len(expected) > 0
    for row, record in zip(frame.to_dict("records"), expected):
        assert row["pathway"] == record["pathway"]
        assert row["size"] == record["size"]
        assert row["leading_edge"] == record["leading_edge"]
        for key in ("es", "nes", "pval", "padj", "log2err"):
            assert same_float(record[key], row[key]), (record["pathway"], key, record[key], row[key])


ENGINE_CASES = [
    ("kelda", {}, {}),
    ("kelda nperm", {"nperm": 300}, {"nperm": 300}),
    ("multilevel", {"mode": "multilevel", "nperm_simple": 300, "sample_size": 51},
     {"mode": "multilevel", "nPermSimple": 300, "sampleSize": 51}),
    ("simple pos", {"mode": "simple", "nperm_simple": 400, "score_type": "pos", "gsea_param": 0.5},
     {"mode": "simple", "nPermSimple": 400, "scoreType": "pos", "gseaParam": 0.5}),
    ("blitz", {"mode": "blitz", "blitz_anchors": 12, "blitz_accuracy": 20},
     {"mode": "blitz", "blitz_anchors": 12, "blitz_accuracy": 20}),
    ("decor multilevel", {"method": "decor", "nperm_simple": 300}, {"method": "decor", "nPermSimple": 300}),
    ("decor simple", {"method": "decor", "mode": "simple", "nperm_simple": 300, "eps": 1e-10},
     {"method": "decor", "mode": "simple", "nPermSimple": 300, "eps": 1e-10}),
]


@pytest.mark.parametrize("label, options, engine_options", ENGINE_CASES, ids=[c[0] for c in ENGINE_CASES])
def test_gsea_equals_the_extension_field_by_field(ranks, decor_cache, label, options, engine_options):
    if "decor" in label:
        decor = {"decor_cache": decor_cache, "decor_expression": str(EXAMPLES / "expression_demo.tsv.gz")}
        options, engine_options = {**options, **decor}, {**engine_options, **decor}
    frame = quenfa.gsea(ranks, GMT, seed=7, **BOUNDS, **options)
    records = quenfamod.run_gsea_py(ranks.to_dict(), GMT, seed=7, **ENGINE_BOUNDS, **engine_options)
    assert_frame_matches_records(frame, records)
    assert frame["description"].iloc[0] == quenfa.read_gmt(GMT).descriptions[frame["pathway"].iloc[0]]
    assert frame.attrs["parameters"]["seed"] == frame.attrs["seed"] == 7
    for name, value in options.items():
        assert frame.attrs["parameters"][name] == value


def test_seed_none_is_drawn_recorded_and_reproduces_the_frame(ranks):
    options = {"mode": "simple", "nperm_simple": 300, **BOUNDS}
    first = quenfa.gsea(ranks, GMT, **options)
    seed = first.attrs["seed"]
    assert isinstance(seed, int) and first.attrs["parameters"]["seed"] == seed
    again = quenfa.gsea(ranks, GMT, seed=seed, **options)
    pd.testing.assert_frame_equal(first, again, check_exact=True)
    other = quenfa.gsea(ranks, GMT, **options)
    assert other.attrs["seed"] != seed and not other["pval"].equals(first["pval"])
    assert quenfa.gsea(ranks, GMT, mode="blitz", blitz_anchors=12, **BOUNDS).attrs["seed"] == 0


def test_sets_in_memory_and_gzipped_gmt_give_the_path_results(ranks, tmp_path, monkeypatch):
    work = tmp_path / "work"
    work.mkdir()
    monkeypatch.setattr("tempfile.tempdir", str(work))
    options = {"mode": "simple", "nperm_simple": 200, "seed": 3, **BOUNDS}
    by_path = quenfa.gsea(ranks, GMT, **options)
    sets = quenfa.read_gmt(GMT)
    in_memory = quenfa.gsea(ranks, sets, **options)
    pd.testing.assert_frame_equal(by_path, in_memory, check_exact=True)
    plain = quenfa.gsea(ranks.to_dict(), dict(sets), **options)
    pd.testing.assert_frame_equal(by_path.drop(columns="description"), plain, check_exact=True)
    packed = tmp_path / "demo.gmt.gz"
    import gzip
    packed.write_bytes(gzip.compress(pathlib.Path(GMT).read_bytes()))
    pd.testing.assert_frame_equal(by_path, quenfa.gsea(ranks, packed, **options), check_exact=True)
    digest = hashlib.sha256(quenfa.gmt_text(sets).encode()).hexdigest()
    assert in_memory.attrs["inputs"]["gene_sets"] == {"in_memory": True, "sha256": digest}
    # The demo file is canonical GMT text, so both digests agree.
    assert by_path.attrs["inputs"]["gene_sets"] == {"path": GMT, "sha256": digest}
    assert list(work.iterdir()) == []  # the temporary GMT files are gone


def test_attrs_record_inputs_version_and_overlap(ranks, tmp_path):
    rnk = tmp_path / "list.rnk"
    rnk.write_text("".join(f"{gene}\t{score!r}\n" for gene, score in ranks.items()))
    frame = quenfa.gsea(rnk, GMT, mode="simple", nperm_simple=100, seed=1, min_size=50, max_size=200)
    attrs = frame.attrs
    assert attrs["version"] == quenfa.__version__
    assert attrs["inputs"]["ranks"] == {"path": str(rnk), "sha256": hashlib.sha256(rnk.read_bytes()).hexdigest()}
    sets = quenfa.read_gmt(GMT)
    sizes = [len(set(genes) & set(ranks.index)) for genes in sets.values()]
    assert attrs["overlap"] == {
        "ranked_genes": 8562, "ranked_genes_in_sets": len(set().union(*sets.values()) & set(ranks.index)),
        "gene_sets": 300, "gene_sets_below_min_size": sum(s < 50 for s in sizes),
        "gene_sets_above_max_size": sum(s > 200 for s in sizes), "min_size": 50, "max_size": 200,
        "gene_sets_tested": sum(50 <= s <= 200 for s in sizes)}
    assert attrs["overlap"]["gene_sets_tested"] == len(frame)
    assert (frame["size"].between(50, 200)).all()


def test_bundled_collection_by_name(ranks):
    frame = quenfa.gsea(ranks, "go_cc", mode="simple", nperm_simple=100, seed=1, **BOUNDS)
    assert frame.attrs["inputs"]["gene_sets"]["collection"] == "go_cc"
    assert frame["pathway"].str.startswith("GO:").all() and (frame["description"] != "").all()


@pytest.mark.parametrize("ranks_value, gene_sets, message", [
    ({"ENSG00000167286": 2.0, "ENSG00000019582": -1.0}, {"S": ["CD3D", "CD74"]},
     "no gene of any gene set is in the ranked list: are both in the same kind of identifier\\? "
     "ranked list e.g. ENSG00000167286, ENSG00000019582; gene sets e.g. CD3D, CD74"),
    ({"A": 1.0, "B": float("nan")}, {"S": ["A"]}, "the score of B is nan, not a finite number"),
    ({}, {"S": ["A"]}, "ranks is empty"),
    ({"A": 1.0}, {}, "there are no gene sets to test"),
    ({"A": 1.0}, "go_xx", "go_xx: no such file, and not a bundled collection \\(go_bp, go_cc, go_mf\\)"),
    (pd.Series([1.0, 2.0], index=["A", "A"]), {"S": ["A"]}, "ranks lists genes more than once"),
])
def test_gsea_bad_input(ranks_value, gene_sets, message):
    with pytest.raises(quenfa.InputError, match=message):
        quenfa.gsea(ranks_value, gene_sets)


def test_engine_errors_and_unknown_options_pass_through(ranks):
    with pytest.raises(ValueError, match="Invalid mode 'fast'"):
        quenfa.gsea(ranks, GMT, mode="fast")
    with pytest.raises(TypeError, match="unexpected keyword arguments: minSize"):
        quenfa.gsea(ranks, GMT, minSize=3)


def test_progress_reports_stages(ranks):
    calls = []
    quenfa.gsea(ranks, GMT, mode="simple", nperm_simple=100, seed=1, progress=lambda *a: calls.append(a))
    stages = [stage for stage, _, _ in calls]
    assert stages[0] == "reading" and "permutations" in stages
    assert all(0 <= done <= total for _, done, total in calls)


def test_plots_inline_and_to_a_path(ranks, tmp_path):
    frame = quenfa.gsea(ranks, GMT, mode="simple", nperm_simple=100, seed=1, **BOUNDS)
    image = quenfa.plot_enrichment(ranks, GMT, pathway=frame["pathway"][0], dpi=150)
    assert image._repr_png_().startswith(b"\x89PNG\r\n\x1a\n")
    saved = image.save(tmp_path / "curve.png")
    assert pathlib.Path(saved).read_bytes() == image.data
    genes = quenfa.read_gmt(GMT)[frame["pathway"][0]]
    assert quenfa.plot_enrichment(ranks, genes, dpi=150, title=frame["pathway"][0]).data.startswith(b"\x89PNG")
    table = quenfa.plot_table(frame, ranks, GMT, top=2, path=tmp_path / "table.png")
    assert table == str(tmp_path / "table.png") and pathlib.Path(table).read_bytes().startswith(b"\x89PNG")
    with pytest.raises(quenfa.InputError, match="there is no gene set named 'nope'"):
        quenfa.plot_enrichment(ranks, GMT, pathway="nope")


def test_a_rewritten_gmt_file_is_read_again(tmp_path):
    ranks = {f"g{i}": float(20 - i) for i in range(20)}
    path = tmp_path / "sets.gmt"
    path.write_text("S\tfirst\tg0\tg1\tg2\n")
    first = quenfa.gsea(ranks, path, mode="simple", nperm_simple=50, seed=1)
    path.write_text("S\tsecond\tg17\tg18\tg19\tg3\n")
    second = quenfa.gsea(ranks, path, mode="simple", nperm_simple=50, seed=1)
    assert (first["description"][0], first["size"][0]) == ("first", 3)
    assert (second["description"][0], second["size"][0]) == ("second", 4)
    assert first.attrs["inputs"]["gene_sets"]["sha256"] != second.attrs["inputs"]["gene_sets"]["sha256"]
