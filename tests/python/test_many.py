"""quenfa.gsea_many: rows equal single quenfa.gsea runs with the derived seeds, locally and
on a Dask LocalCluster; inputs, failures, lost workers, Ctrl-C; quenfa run-many."""

import gzip
import json
import logging
import os
import pathlib
import re
import signal

import numpy as np
import pandas as pd
import pytest

import quenfa
from quenfa import many, report
from conftest import run_quenfa
from test_cli import assert_tsv_equals_frame

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"
GMT = str(EXAMPLES / "demo.gmt")
SIMPLE = {"mode": "simple", "nperm_simple": 200, "min_size": 15, "max_size": 500}


@pytest.fixture(scope="module")
def table():
    """Five signatures over the demo list's genes, with genes not measured (NaN) in two."""
    ranks = quenfa.read_ranks(EXAMPLES / "ranks.tsv")
    rng = np.random.default_rng(11)
    frame = pd.DataFrame({f"sig {i}": ranks.to_numpy() * rng.normal(1.0, 0.6, len(ranks)) for i in range(5)},
                         index=pd.Index(ranks.index, name="gene"))
    frame.iloc[::7, 1] = np.nan
    frame.iloc[:2000, 3] = np.nan
    frame = frame.rename(columns={"sig 4": "naïve T-cells"})  # a name beyond ASCII
    return frame


def rows_of(frame, name):
    return frame[frame["signature"] == name].drop(columns="signature").reset_index(drop=True)


def assert_rows_equal_single_runs(result, table, nproc, **options):
    """Every signature's rows, bit for bit, equal quenfa.gsea on its list with its derived seed."""
    analysed = [name for name in result.attrs["signatures"] if name not in result.attrs["failed"]]
    assert list(result["signature"].unique()) == analysed
    for name in analysed:
        seed = many.signature_seed(result.attrs["seed"], name)
        assert result.attrs["seeds"][name] == seed
        single = quenfa.gsea(table[name].dropna(), GMT, seed=seed, nproc=nproc, **options)
        pd.testing.assert_frame_equal(rows_of(result, name), single, check_exact=True)
        assert result.attrs["overlap"][name] == single.attrs["overlap"]


def test_signature_seed_rule_is_pinned():
    # SHA-256(prefix, "42", NUL, name): first 8 bytes big-endian, low 32 bits.
    assert many.signature_seed(42, "sig 0") == 211550471
    assert many.signature_seed(42, "naïve T-cells") == 1728892688
    assert many.signature_seed(43, "sig 0") != many.signature_seed(42, "sig 0")
    assert many.signature_seed(4, "2sig") != many.signature_seed(42, "sig")


@pytest.mark.parametrize("options, nproc", [
    (SIMPLE, 0),
    ({"mode": "blitz", "blitz_anchors": 10, "blitz_accuracy": 20, "min_size": 15, "max_size": 500}, 1),
    ({**SIMPLE, "method": "decor", "decor_expression": str(EXAMPLES / "expression_demo.tsv.gz")}, 0),
], ids=["simple", "blitz nproc=1", "decor, cache built by the call"])
def test_local_rows_equal_single_runs(table, tmp_path, options, nproc):
    if options.get("method") == "decor":
        options = {**options, "decor_cache": str(tmp_path / "cache.tsv.gz")}
    result = quenfa.gsea_many(table, GMT, seed=42, nproc=nproc, **options)
    assert list(result.columns) == ["signature", *quenfa.gsea(table["sig 0"], GMT, seed=1, **SIMPLE).columns]
    assert result.attrs["signatures"] == list(table.columns) and result.attrs["failed"] == {}
    assert result.attrs["parameters"]["seed"] == 42 and result.attrs["scheduler"] == "local"
    assert_rows_equal_single_runs(result, table, nproc, **options)


def test_reordered_subsetted_and_mapping_inputs_give_the_same_rows(table):
    full = quenfa.gsea_many(table, GMT, seed=42, **SIMPLE)
    names = ["naïve T-cells", "sig 1", "sig 3"]
    subset = quenfa.gsea_many(table[names], GMT, seed=42, **SIMPLE)
    mapping = quenfa.gsea_many({name: table[name].dropna().to_dict() for name in names}, GMT, seed=42, **SIMPLE)
    for name in names:
        pd.testing.assert_frame_equal(rows_of(subset, name), rows_of(full, name), check_exact=True)
        pd.testing.assert_frame_equal(rows_of(mapping, name), rows_of(full, name), check_exact=True)
    assert subset.attrs["signatures"] == names


def test_seed_none_is_drawn_and_recorded(table):
    first = quenfa.gsea_many(table[["sig 0"]], GMT, **SIMPLE)
    again = quenfa.gsea_many(table[["sig 0"]], GMT, seed=first.attrs["seed"], **SIMPLE)
    pd.testing.assert_frame_equal(first, again, check_exact=True)


def test_table_files_read_as_the_frame(table, tmp_path):
    expected = quenfa.gsea_many(table, GMT, seed=5, **SIMPLE)
    tsv = tmp_path / "sigs.tsv"
    table.to_csv(tsv, sep="\t")
    csv_gz = tmp_path / "sigs.csv.gz"
    csv_gz.write_bytes(gzip.compress(table.to_csv().encode()))
    parquet = tmp_path / "sigs.parquet"
    table.to_parquet(parquet)
    genes_in_a_column = tmp_path / "column.parquet"
    table.reset_index().to_parquet(genes_in_a_column, index=False)
    for path in (tsv, csv_gz, parquet, genes_in_a_column):
        result = quenfa.gsea_many(path, GMT, seed=5, **SIMPLE)
        pd.testing.assert_frame_equal(result, expected, check_exact=True)
        record = {"path": str(path), "sha256": quenfa.analysis.sha256_file(path)}
        assert result.attrs["inputs"]["signatures"] == record


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return path


BAD_SIGNATURES = [
    ("not a number", lambda t: write(t, "a.tsv", "gene\ts1\ts2\nA\t1\t2\nB\t3\tlots\n"),
     r"a.tsv: signature 's2', gene B: not a number: 'lots'"),
    ("no columns", lambda t: write(t, "b.tsv", "gene\nA\n"), "b.tsv: no signature columns"),
    ("repeated name in a file", lambda t: write(t, "c.csv", "gene,s,s\nA,1,2\n"), "'s' is given more than once"),
    ("missing file", lambda t: t / "none.tsv", "none.tsv: no such file"),
    ("repeated gene", lambda t: pd.DataFrame({"s": [1.0, 2.0]}, index=["A", "A"]), "lists genes more than once"),
    ("name not a string", lambda t: pd.DataFrame({0: [1.0]}, index=["A"]), "signature names must be non-empty strings"),
    ("repeated name", lambda t: pd.DataFrame([[1.0, 2.0]], index=["A"], columns=["s", "s"]),
     "'s' is given more than once"),
    ("empty", lambda t: {}, "there are no signatures"),
    ("tab in a name", lambda t: {"a\tb": {"A": 1.0}}, "signature name 'a\\tb' contains a tab or a line break"),
]


@pytest.mark.parametrize("label, make, message", BAD_SIGNATURES, ids=[case[0] for case in BAD_SIGNATURES])
def test_bad_signatures_input(tmp_path, label, make, message):
    with pytest.raises(quenfa.InputError, match=re.escape(message)):
        quenfa.gsea_many(make(tmp_path), GMT, seed=1, **SIMPLE)


def failing_input(table):
    """sig 0 and sig 2 from the table, and between them a list that matches no gene of any set."""
    return {"sig 0": table["sig 0"], "ensembl": {"ENSG00000167286": 2.0, "ENSG00000019582": -1.0},
            "sig 2": table["sig 2"]}


def assert_failure_reported(result, table):
    assert result.attrs["signatures"] == ["sig 0", "ensembl", "sig 2"]
    assert list(result["signature"].unique()) == ["sig 0", "sig 2"]
    assert result.attrs["failed"]["ensembl"].startswith("InputError: no gene of any gene set is in the ranked list")
    assert_rows_equal_single_runs(result, table, 0, **SIMPLE)


def test_a_failing_signature_is_reported_or_raised(table):
    assert_failure_reported(quenfa.gsea_many(failing_input(table), GMT, seed=3, **SIMPLE), table)
    with pytest.raises(quenfa.SignatureError, match="signature 'ensembl': InputError: no gene of any") as caught:
        quenfa.gsea_many(failing_input(table), GMT, seed=3, errors="raise", **SIMPLE)
    assert caught.value.signature == "ensembl" and isinstance(caught.value.__cause__, quenfa.InputError)
    with pytest.raises(quenfa.SignatureError, match="'a': ValueError: Invalid mode 'fast'"):  # all fail
        quenfa.gsea_many({"a": table["sig 0"], "b": table["sig 1"]}, GMT, seed=3, mode="fast")
    with pytest.raises(TypeError, match="unexpected keyword arguments: minSize"):
        quenfa.gsea_many(table, GMT, minSize=3)


def test_ctrl_c_starts_no_new_signature_and_reaches_the_caller(table, monkeypatch):
    started = []
    analyse = many.analyse
    monkeypatch.setattr(many, "analyse", lambda *a, **k: (started.append(1), analyse(*a, **k))[1])
    wide = pd.concat([table.add_suffix(f" {i}") for i in range(4)], axis=1)  # 20 signatures

    def interrupt(stage, done, total):
        if done == 1:
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        quenfa.gsea_many(wide, GMT, seed=1, progress=interrupt, **SIMPLE)
    workers = os.cpu_count()
    assert 1 <= len(started) <= 1 + 3 * workers < len(wide.columns)


# ----------------------------------------------------------------------------------------------
# Dask


def local_cluster(**config):
    if os.environ.get("QUENFA_REQUIRE_REFERENCE_TOOLS"):
        import distributed  # make test installs it: missing is a failure there
    else:
        distributed = pytest.importorskip("distributed")
    import dask

    with dask.config.set(config):
        return distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=":0",
                                        silence_logs=logging.ERROR)


@pytest.fixture(scope="module")
def client():
    from distributed import Client

    with local_cluster() as cluster, Client(cluster) as client:
        yield client


def test_dask_rows_equal_local_rows(table, client):
    local = quenfa.gsea_many(table, GMT, seed=42, **SIMPLE)
    reordered = table[list(reversed(table.columns))]
    calls = []
    on_cluster = quenfa.gsea_many(reordered, GMT, seed=42, client=client, progress=lambda *a: calls.append(a),
                                  **SIMPLE)
    assert on_cluster.attrs["signatures"] == list(reversed(table.columns))
    for name in table.columns:
        pd.testing.assert_frame_equal(rows_of(on_cluster, name), rows_of(local, name), check_exact=True)
    assert calls[0] == ("signatures", 0, 5) and calls[-1] == ("signatures", 5, 5)
    assert on_cluster.attrs["scheduler"] == client.scheduler.address
    assert_failure_reported(quenfa.gsea_many(failing_input(table), GMT, seed=3, client=client, **SIMPLE), table)


def test_dask_ctrl_c_cancels_the_tasks(table, client):
    def interrupt(stage, done, total):
        if done == 1:
            raise KeyboardInterrupt

    slow = {**SIMPLE, "nperm_simple": 3000}
    with pytest.raises(KeyboardInterrupt):
        quenfa.gsea_many(table, GMT, seed=1, client=client, progress=interrupt, **slow)

    def left(dask_scheduler):
        return [key for key in dask_scheduler.tasks if str(key).startswith("quenfa-signature")]

    import time
    deadline = time.monotonic() + 10
    while client.run_on_scheduler(left) and time.monotonic() < deadline:
        time.sleep(0.1)
    assert client.run_on_scheduler(left) == []


def kill_a_worker_after_the_first_result(client):
    pids = sorted(client.run(os.getpid).values())

    def progress(stage, done, total):
        if done == 1:
            os.kill(pids[0], signal.SIGKILL)

    return progress


@pytest.mark.parametrize("allowed_failures", [3, 0], ids=["retried", "lost"])
def test_a_worker_killed_mid_run(table, allowed_failures):
    """The scheduler reruns the dead worker's signatures; when it may not, the error names them."""
    from distributed import Client

    wide = pd.concat([table.add_suffix(f" {i}") for i in range(2)], axis=1)  # 10 signatures
    slow = {**SIMPLE, "nperm_simple": 2000}
    with local_cluster(**{"distributed.scheduler.allowed-failures": allowed_failures}) as cluster, \
            Client(cluster) as client:
        run = lambda: quenfa.gsea_many(wide, GMT, seed=8, client=client,  # noqa: E731
                                       progress=kill_a_worker_after_the_first_result(client), **slow)
        if allowed_failures:
            result = run()
            assert result.attrs["signatures"] == list(wide.columns)
            assert list(result["signature"].unique()) == list(wide.columns)  # each once, in order
            pd.testing.assert_frame_equal(result, quenfa.gsea_many(wide, GMT, seed=8, **slow), check_exact=True)
        else:
            with pytest.raises(quenfa.LostSignaturesError) as caught:
                run()
            message = str(caught.value)
            lost = [name for name in wide.columns if repr(name) in message]
            assert lost and message.startswith(f"the cluster returned no result for {len(lost)} of 10 signatures")


# ----------------------------------------------------------------------------------------------
# quenfa run-many


def test_run_many_writes_the_report(table, tmp_path):
    source = tmp_path / "sigs.tsv"
    table.to_csv(source, sep="\t")
    outdir = tmp_path / "out"
    done = run_quenfa("run-many", source, GMT, "-o", outdir, "--mode", "simple", "--nperm-simple", "200",
                      "--seed", "4", "--min-size", "15", "--max-size", "500")
    assert done.returncode == 0, done.stderr
    assert done.stderr == "" and "5 of 5 signatures analysed; seed 4" in done.stdout
    assert sorted(p.name for p in outdir.iterdir()) == ["index.html", "params.json", "results.tsv", "signatures"]
    expected = quenfa.gsea_many(table, GMT, seed=4, **SIMPLE)
    assert_tsv_equals_frame(outdir / "results.tsv", expected)
    params = json.loads((outdir / "params.json").read_text())
    assert params["seeds"] == expected.attrs["seeds"] and params["failed"] == {}
    page = (outdir / "index.html").read_text()
    assert "http://" not in page and "https://" not in page
    for name in table.columns:
        file = report.plot_file_names([name])[name].replace(".png", ".tsv")
        assert f'href="signatures/{file}"' in page
        assert pd.read_csv(outdir / "signatures" / file, sep="\t")["pathway"].tolist() == \
            rows_of(expected, name)["pathway"].tolist()
    assert page.count(" class=sig>") == sum(  # a mark for each significant cell of the heat map
        (expected["padj"] < 0.05) & expected["pathway"].isin(report._heatmap_pathways(expected)))


def test_run_many_a_failing_signature_exits_3_with_the_others_written(tmp_path):
    source = write(tmp_path, "sigs.tsv", "gene\tgood\tbad\n" + "".join(
        f"{gene}\t{score!r}\t{'inf' if i == 0 else repr(score)}\n"
        for i, (gene, score) in enumerate(quenfa.read_ranks(EXAMPLES / "ranks.tsv").items())))
    done = run_quenfa("run-many", source, GMT, "-o", tmp_path / "out", "-q", *["--mode", "simple"])
    assert done.returncode == 3 and done.stdout == ""
    assert done.stderr.startswith("quenfa: signature bad failed: InputError: the score of ")
    assert pd.read_csv(tmp_path / "out" / "results.tsv", sep="\t")["signature"].unique().tolist() == ["good"]


@pytest.mark.parametrize("args, message", [
    (["not-a-number"], "signature 'b', gene B: not a number: 'x'"),
    (["--scheduler", "tcp://127.0.0.1:9", "--connect-timeout", "1"], "cannot reach the Dask scheduler"),
    (["--errors", "raise"], "signature 'b': InputError: no gene of any gene set is in the ranked list"),
], ids=["bad cell", "no scheduler", "errors raise"])
def test_run_many_bad_input_is_one_line_exit_2_and_no_folder(tmp_path, args, message):
    cell = "x" if args == ["not-a-number"] else "1"
    source = write(tmp_path, "sigs.tsv", f"gene\ta\tb\nCD3D\t1\t\nCD74\t-1\t\nB\t2\t{cell}\n")
    options = [a for a in args if a != "not-a-number"]
    before = sorted(p.name for p in tmp_path.iterdir())
    done = run_quenfa("run-many", source, GMT, "-o", tmp_path / "out", *options)
    assert done.returncode == 2, done.stderr
    lines = done.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith("quenfa: error: ") and message in lines[0], done.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == before
