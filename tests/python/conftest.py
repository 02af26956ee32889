import pathlib

import pytest


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
