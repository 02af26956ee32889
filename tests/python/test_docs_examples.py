"""The code examples of the documentation run, so that the pages cannot drift from the code.

For every page under docs/, its ```python blocks run in order in one namespace and its
```shell blocks run each `quenfa ...` line as a command, all in a fresh folder that holds a
link `examples` to the repository's examples/ folder (the demo's expression matrix).
Blocks marked ```sh or ```text are shown, not run (installation, cluster start-up, file
layouts).
"""

import os
import pathlib
import re
import shlex
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"
FENCE = re.compile(r"^```([\w{}-]*)[^\n]*\n(.*?)^```\s*$", re.MULTILINE | re.DOTALL)


def blocks(page: pathlib.Path) -> list[tuple[str, str, int]]:
    """(language, code, line number) of the page's fenced blocks that run."""
    text = page.read_text(encoding="utf-8")
    found = []
    for match in FENCE.finditer(text):
        language = match.group(1)
        if language in ("python", "shell"):
            found.append((language, match.group(2), text.count("\n", 0, match.start()) + 2))
    return found


PAGES = sorted(p for p in DOCS.rglob("*.md") if "_build" not in p.parts and blocks(p))


def run_shell(code: str, where: str, env: dict) -> None:
    for line in code.splitlines():
        words = shlex.split(line, comments=True)
        if not words:
            continue
        assert words[0] == "quenfa", f"{where}: shell examples run quenfa commands only, not {line!r}"
        done = subprocess.run([sys.executable, "-m", "quenfa", *words[1:]], env=env, capture_output=True,
                              text=True, timeout=600)
        assert done.returncode == 0, f"{where}: {line!r} exited {done.returncode}:\n{done.stderr}"


@pytest.mark.parametrize("page", PAGES, ids=lambda p: str(p.relative_to(DOCS)))
def test_page_examples_run(page, tmp_path, monkeypatch):
    (tmp_path / "examples").symlink_to(ROOT / "examples")
    monkeypatch.chdir(tmp_path)
    # The examples call the `quenfa` command of this interpreter's installation.
    monkeypatch.setenv("PATH", os.path.dirname(sys.executable) + os.pathsep + os.environ.get("PATH", ""))
    namespace = {"__name__": "__docs__"}
    for language, code, line in blocks(page):
        where = f"{page.relative_to(ROOT)}:{line}"
        if language == "python":
            exec(compile(code, where, "exec"), namespace)
        else:
            run_shell(code, where, dict(os.environ))


def test_every_guide_page_has_examples():
    # A page of the guide whose blocks all stopped running (a wrong fence) would pass unseen.
    for name in ("index.md", "getting-started.md", "methods.md", "reproducibility.md", "many.md",
                 "main-pathways.md"):
        assert DOCS / name in PAGES, f"docs/{name} has no runnable example"
