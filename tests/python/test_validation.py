"""Every validation message of run_gsea_py, in the order the checks run.

Each case also sets an argument that a later check would reject, so the test
fails if the checks run out of order."""

import math

import pytest

import quenfamod

from engine_helpers import run_in_subprocess

BLITZ_COUNTS = "blitz_anchors, blitz_accuracy, and blitz_deep_accuracy must be greater than 0."
DECOR_ARGS = "decor arguments require method='decor'."
ONE_ULP = math.nextafter(1.0, 2.0)
TWO_ULPS = math.nextafter(ONE_ULP, 2.0)

# (arguments, exception, message); "missing" stands for a GMT path that does
# not exist. An exception of None means the call runs and returns `message`
# records.
CASES = [
    ({"sampleSize": 0, "minSize": 0}, ValueError, "sampleSize must be greater than 0."),
    ({"minSize": 0, "blitz_anchors": 0}, ValueError, "minSize must be greater than 0."),
    ({"blitz_anchors": 0, "mode": "simple", "gmt_path": "missing"}, ValueError, BLITZ_COUNTS),
    ({"blitz_accuracy": 0}, ValueError, BLITZ_COUNTS),
    ({"blitz_deep_accuracy": 0}, ValueError, BLITZ_COUNTS),
    ({"gmt_path": "missing", "mode": "bogus"}, OSError,
     "No such file or directory (os error 2)"),
    ({"scoreType": "BOTH", "method": "bogus"}, ValueError,
     "Invalid scoreType 'both'. Expected one of: std, pos, neg."),
    ({"method": "Other", "mode": "bogus"}, ValueError,
     "Invalid method 'other'. Expected one of: classic, decor."),
    ({"mode": "FAST"}, ValueError,
     "Invalid mode 'fast'. Expected one of: kelda, multilevel, simple, blitz."),
    # mode "blitz"
    ({"mode": "blitz", "gpu": True, "method": "decor"}, ValueError,
     "gpu is not supported with mode='blitz'."),
    ({"mode": "blitz", "method": "decor", "nperm": 10}, ValueError,
     "mode='blitz' supports only method='classic'."),
    ({"mode": "blitz", "nperm": 10, "scoreType": "pos"}, ValueError,
     "nperm is not supported with mode='blitz'."),
    ({"mode": "blitz", "scoreType": "pos", "gseaParam": 2.0}, ValueError,
     "mode='blitz' supports only scoreType='std'."),
    ({"mode": "blitz", "gseaParam": TWO_ULPS, "decor_cache": "c"}, ValueError,
     "mode='blitz' supports only gseaParam=1.0."),
    ({"mode": "blitz", "gseaParam": ONE_ULP, "decor_cache": "c"}, ValueError, DECOR_ARGS),
    ({"mode": "blitz", "gseaParam": math.nan, "decor_expression": "e"}, ValueError,
     "gseaParam must be finite and greater than or equal to 0."),
    # Runs: the fixture's sets are below the default blitz minSize of 5.
    ({"mode": "Blitz", "gseaParam": ONE_ULP, "nPermSimple": 50}, None, 0),
    # method "decor"
    ({"method": "decor", "gpu": True, "mode": "multilevel", "nperm": 5}, ValueError,
     "decor supports CPU execution only; gpu is not supported with method='decor'."),
    ({"method": "decor", "mode": "multilevel", "nperm": 5}, ValueError,
     "nperm is only valid with mode='kelda' or mode='simple'."),
    ({"method": "decor"}, ValueError, "method='decor' requires decor_cache."),
    ({"method": "DECOR", "decor_cache": "c", "mode": "simple", "nperm": 5}, RuntimeError,
     "decor cache does not exist or is incompatible and --decor-expression was not provided"),
    # method "classic"
    ({"decor_cache": "c", "gpu": True}, ValueError, DECOR_ARGS),
    ({"decor_expression": "e", "gpu": True}, ValueError, DECOR_ARGS),
    ({"gpu": True, "decor_preset": "whatever"}, RuntimeError,
     "gpu=True requires building quenfamod with the 'gpu' feature."),
    ({"sampleSize": 2**32}, ValueError, "sampleSize must be at most 4294967295."),
    ({"sampleSize": 2**32, "mode": "simple"}, None, 2),
    ({"decor_preset": "whatever", "decor_alpha": 3.0}, None, 2),
    ({"mode": "MultiLevel", "nperm": 5}, None, 2),
    ({"mode": "simple", "scoreType": "Neg", "method": "Classic"}, None, 2),
]


@pytest.mark.parametrize("arguments,exception,message", CASES)
def test_validation_messages_in_order(ranks, gmt_path, tmp_path, arguments, exception, message):
    arguments = {"ranks": ranks, "gmt_path": gmt_path} | arguments
    if arguments["gmt_path"] == "missing":
        arguments["gmt_path"] = str(tmp_path / "missing.gmt")
    if exception is None:
        assert len(quenfamod.run_gsea_py(**arguments)) == message
        return
    with pytest.raises(exception) as info:
        quenfamod.run_gsea_py(**arguments)
    assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


def test_gmt_reading_failures_raise_oserror_with_the_readers_text(ranks, tmp_path):
    cases = [
        (b"A\td\tg0\n\nB\tonly two fields\n",
         "Malformed GMT line 3: expected at least 3 tab-separated columns."),
        (b"A\td\tg0\nB\td\t\xff\xfe\n", "stream did not contain valid UTF-8"),
    ]
    for content, message in cases:
        path = tmp_path / "bad.gmt"
        path.write_bytes(content)
        with pytest.raises(OSError) as info:
            quenfamod.run_gsea_py(ranks, str(path))
        assert str(info.value) == message
    with pytest.raises(OSError) as info:
        quenfamod.run_gsea_py(ranks, str(tmp_path))
    assert str(info.value) == "Is a directory (os error 21)"


def test_a_smaller_pool_request_after_a_larger_one_runs_silently_with_the_same_records(
        ranks, gmt_path):
    # The pool keeps the size of its first request; the later one is ignored
    # without a message, and the records never depend on the pool size.
    call = f"""
results = [quenfamod.run_gsea_py(ranks, {gmt_path!r}, nproc=nproc, mode="simple", seed=5)
           for nproc in (8, 2)]
assert results[0] == results[1]
results = results[1]
"""
    setup = f"ranks = {ranks!r}\n"
    records, stderr = run_in_subprocess(setup + call)
    assert len(records) == 2
    assert stderr == ""
