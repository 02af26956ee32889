"""The quenfa command line, each run in a fresh process."""

import json
import math
import pathlib
import signal
import subprocess
import sys
import time

import pandas as pd
import pytest

import quenfa
from conftest import run_quenfa

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "data"
RANKS = EXAMPLES / "ranks.tsv"
GMT = EXAMPLES / "demo.gmt"
QUICK = ["--mode", "simple", "--nperm-simple", "300", "--seed", "5", "--min-size", "15", "--max-size", "500"]


def read_tsv_exactly(path):
    """results.tsv as written: floats through float(), NA as NaN, gene lists split."""
    lines = path.read_text().splitlines()
    header = lines[0].split("\t")
    rows = []
    for line in lines[1:]:
        row = dict(zip(header, line.split("\t")))
        for key in ("es", "nes", "pval", "padj", "log2err"):
            row[key] = math.nan if row[key] == "NA" else float(row[key])
        row["size"] = int(row["size"])
        row["leading_edge"] = row["leading_edge"].split(",") if row["leading_edge"] else []
        rows.append(row)
    return header, rows


def assert_tsv_equals_frame(path, frame):
    """results.tsv holds the frame's columns and every value exactly."""
    header, rows = read_tsv_exactly(path)
    assert header == list(frame.columns)
    for row, expected in zip(rows, frame.to_dict("records"), strict=True):
        for key, value in expected.items():
            assert row[key] == value or (isinstance(value, float) and math.isnan(value) and math.isnan(row[key]))


def leftovers(parent):
    return sorted(p.name for p in parent.iterdir() if ".tmp-" in p.name or ".old-" in p.name)


def test_run_writes_the_whole_report(tmp_path):
    outdir = tmp_path / "nested" / "out"
    done = run_quenfa("run", RANKS, GMT, "-o", outdir, "--top", "3", *QUICK)
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""  # no progress bar when standard error is not a terminal
    assert "5858 of 8562 ranked genes are in at least one gene set" in done.stdout
    assert sorted(p.name for p in outdir.iterdir()) == ["enrichment", "index.html", "params.json", "results.tsv",
                                                      "table.png"]
    frame = quenfa.gsea(quenfa.read_ranks(RANKS), str(GMT), mode="simple", nperm_simple=300, seed=5,
                        min_size=15, max_size=500)
    assert_tsv_equals_frame(outdir / "results.tsv", frame)
    params = json.loads((outdir / "params.json").read_text())
    assert params["seed"] == 5 and params["parameters"]["mode"] == "simple"
    assert params["inputs"]["ranks"]["sha256"] == quenfa.analysis.sha256_file(RANKS)
    assert params["overlap"] == frame.attrs["overlap"]
    plots = sorted(p.name for p in (outdir / "enrichment").iterdir())
    assert plots == sorted(name.replace(":", "_") + ".png" for name in frame["pathway"][:3])
    page = (outdir / "index.html").read_text()
    assert "http://" not in page and "https://" not in page
    assert all(f'src="enrichment/{name}"' in page for name in plots)
    assert leftovers(outdir.parent) == []


def test_force_replaces_a_non_empty_folder_and_an_empty_one_needs_nothing(tmp_path):
    outdir = tmp_path / "out"
    outdir.mkdir()
    assert run_quenfa("run", RANKS, GMT, "-o", outdir, "--top", "1", "-q", *QUICK).returncode == 0
    (outdir / "mine.txt").write_text("old")
    done = run_quenfa("run", RANKS, GMT, "-o", outdir, "--top", "1", "--force", "--quiet", *QUICK)
    assert done.returncode == 0 and done.stdout == "" and done.stderr == ""
    assert not (outdir / "mine.txt").exists() and (outdir / "index.html").exists()
    assert leftovers(tmp_path) == []


def bad_gmt(tmp_path):
    path = tmp_path / "bad.gmt"
    path.write_text("S1\tdesc\tCD3D\nS2\tLCK\n")
    return path


def ensembl_ranks(tmp_path):
    path = tmp_path / "ensembl.rnk"
    path.write_text("ENSG00000167286\t3.5\nENSG00000019582\t-2\n")
    return path


def bad_ranks(tmp_path):
    path = tmp_path / "bad.rnk"
    path.write_text("CD3D\t3.5\nLCK\tbig\n")
    return path


BAD_INPUT = [
    ("missing ranks", lambda t: ["run", t / "none.rnk", GMT], "none.rnk"),
    ("missing gmt", lambda t: ["run", RANKS, t / "none.gmt"], "none.gmt: no such file, and not a bundled collection"),
    ("bad gmt line", lambda t: ["run", RANKS, bad_gmt(t)], "bad.gmt, line 2: malformed GMT line"),
    ("bad score", lambda t: ["run", bad_ranks(t), GMT], "bad.rnk, line 2: the score of LCK is not a number: 'big'"),
    ("no overlap", lambda t: ["run", ensembl_ranks(t), GMT], "no gene of any gene set is in the ranked list"),
    ("unknown mode", lambda t: ["run", RANKS, GMT, "--mode", "fast"], "argument --mode: invalid choice: 'fast'"),
    ("not a number", lambda t: ["run", RANKS, GMT, "--nperm", "many"], "argument --nperm: invalid int value"),
    ("engine check", lambda t: ["run", RANKS, GMT, "--method", "decor"], "method='decor' requires decor_cache."),
    ("decor choice", lambda t: ["run", RANKS, GMT, "--method", "decor", "--decor-cache", t / "c.tsv",
                                "--decor-correlation", "kendall"], "kendall"),
    ("no outdir", lambda t: ["run", RANKS, GMT, "--no-outdir"], "unrecognized arguments: --no-outdir"),
    ("non-empty outdir", lambda t: ["run", RANKS, GMT], "exists and is not empty; pass --force to replace it"),
]


@pytest.mark.parametrize("label, make_args, message", BAD_INPUT, ids=[case[0] for case in BAD_INPUT])
def test_bad_input_is_one_line_exit_2_and_leaves_the_folder_alone(tmp_path, label, make_args, message):
    outdir = tmp_path / "out"
    if label == "non-empty outdir":
        outdir.mkdir()
        (outdir / "keep.txt").write_text("mine")
    args = make_args(tmp_path)
    before = sorted(p.name for p in tmp_path.iterdir())
    done = run_quenfa(*args, "-o", outdir, *QUICK[:2])
    assert done.returncode == 2
    assert done.stdout == ""
    lines = done.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith("quenfa: error: ") and message in lines[0], done.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == before
    if label == "non-empty outdir":
        assert [p.name for p in outdir.iterdir()] == ["keep.txt"]


def test_ctrl_c_exits_130_and_leaves_no_folder(tmp_path):
    outdir = tmp_path / "out"
    process = subprocess.Popen(
        [sys.executable, "-m", "quenfa", "run", RANKS, GMT, "-o", outdir, "--mode", "simple", "--nperm",
         "15000", "--seed", "1"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    while not leftovers(tmp_path) and time.monotonic() < deadline:  # the run has started its folder
        time.sleep(0.05)
    assert leftovers(tmp_path), "the run never started"
    time.sleep(0.5)
    sent = time.monotonic()
    process.send_signal(signal.SIGINT)
    stdout, stderr = process.communicate(timeout=120)
    elapsed = time.monotonic() - sent
    assert process.returncode == 130
    assert stderr == "quenfa: interrupted\n" and stdout == ""
    assert list(tmp_path.iterdir()) == []
    assert elapsed < 1.5, f"exit came {elapsed:.1f} s after SIGINT"


def test_collections_and_demo(demo_report):
    done = run_quenfa("collections")
    assert done.returncode == 0 and done.stdout.split("\n")[0].startswith("go_bp\t")
    params = json.loads((demo_report / "params.json").read_text())
    assert params["seed"] == 42 and params["inputs"]["gene_sets"]["path"].endswith("demo.gmt.gz")
    assert len(list((demo_report / "enrichment").iterdir())) == 10
    frame = pd.read_csv(demo_report / "results.tsv", sep="\t")
    assert len(frame) == 300 and frame["pval"].is_monotonic_increasing
