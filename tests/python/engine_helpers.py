"""Helpers shared by the engine tests: exact result comparison and runs in a
fresh interpreter (the worker pool size is fixed once per process)."""

import json
import math
import subprocess
import sys
import textwrap


def exact(results):
    """Results with every float as its hex form, so equality means every bit."""

    def conv(value):
        if isinstance(value, float):
            return value.hex() if not math.isnan(value) else "nan"
        if isinstance(value, list):
            return [conv(v) for v in value]
        return value

    return [{k: conv(v) for k, v in sorted(row.items())} for row in results]


def run_in_subprocess(call_source, env=None):
    """Runs `results = <call_source>` in a new interpreter with names
    quenfamod, ranks and gmt defined by the caller's `setup` text; returns the
    exact results and the captured standard error."""
    here = __file__.rsplit("/", 1)[0]
    script = "\n".join([
        "import json, sys",
        f"sys.path.insert(0, {here!r})",
        "import quenfamod",
        "from engine_helpers import exact",
        textwrap.dedent(call_source),
        "json.dump(exact(results), sys.stdout)",
    ])
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          env=env, check=True)
    return json.loads(done.stdout), done.stderr
