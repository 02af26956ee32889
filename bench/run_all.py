"""Runs every benchmark in this folder, one after the other."""

import pathlib
import runpy
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
for script in sorted(HERE.glob("*_bench.py")):
    print(f"== {script.name}")
    runpy.run_path(str(script), run_name="__main__")
