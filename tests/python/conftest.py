import os
import pathlib
import shutil

import pytest


def require_tool(program: str, what: str):
    """Skips the calling test when `program` is not on the PATH, or fails it
    when reference tools are required (make test installs them and sets
    QUENFA_REQUIRE_REFERENCE_TOOLS)."""
    if shutil.which(program) is not None:
        return
    message = f"{program} not found: {what}"
    if os.environ.get("QUENFA_REQUIRE_REFERENCE_TOOLS"):
        pytest.fail(f"{message} (make setup installs it; see scripts/setup.sh)")
    pytest.skip(message)


@pytest.fixture
def gmt_path(tmp_path):
    """A small valid GMT file over genes g0..g9."""
    path = tmp_path / "sets.gmt"
    path.write_text("SET_A\tfirst\tg0\tg1\tg2\nSET_B\t\tg5\tg7\tg9\tmissing\n")
    return str(path)


@pytest.fixture
def ranks():
    return {f"g{i}": float(10 - i) for i in range(10)}


def write_bytes(tmp_path: pathlib.Path, name: str, data: bytes) -> str:
    path = tmp_path / name
    path.write_bytes(data)
    return str(path)


def run_quenfa(*args, cwd=None, timeout=600):
    """`python -m quenfa ARGS` in a fresh process, output captured."""
    import subprocess
    import sys

    return subprocess.run([sys.executable, "-m", "quenfa", *map(str, args)], cwd=cwd, capture_output=True,
                          text=True, timeout=timeout)


@pytest.fixture(scope="session")
def demo_report(tmp_path_factory):
    """The folder written by `quenfa demo`."""
    outdir = tmp_path_factory.mktemp("demo") / "report"
    done = run_quenfa("demo", "-o", outdir)
    assert done.returncode == 0, done.stderr
    return outdir
