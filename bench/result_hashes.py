"""SHA-256 of every result record of W-real and W-20k, per mode and thread count.

A refactoring or an optimisation must leave every bit of every record as it
was: run this before and after (or against a baseline build with
--module-dir) and compare the lines. Floats are hashed through float.hex, so
one ulp changes the hash. Each thread count runs in a fresh process, since the
worker pool keeps the size of its first request.

    python bench/result_hashes.py                      # installed quenfamod
    python bench/result_hashes.py --module-dir DIR     # a quenfamod built in DIR
    python bench/result_hashes.py --modes blitz --nproc 1 2 4
"""

import argparse
import hashlib
import json
import pathlib
import subprocess
import sys

import workloads

HERE = pathlib.Path(__file__).resolve().parent
EXPRESSION = workloads.DATA / "expression.tsv.gz"
CACHE = workloads.OUT / "decor_cache_go_bp_full.tsv.gz"
SEED = 1

# label -> keyword arguments of run_gsea_py on top of the workload's.
MODES = {
    "simple": dict(mode="simple", nperm=10000),
    "kelda": dict(mode="kelda"),
    "multilevel": dict(mode="multilevel"),
    "blitz": dict(mode="blitz"),
    "decor-simple": dict(method="decor", mode="simple", nperm=1000),
    "decor-multilevel": dict(method="decor", mode="multilevel"),
}


def canonical(value):
    """A text form that keeps every bit of every float."""
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, dict):
        return {key: canonical(item) for key, item in value.items()}
    if isinstance(value, (list, tuple)):
        return [canonical(item) for item in value]
    return value


def digest(records):
    text = json.dumps(canonical(records), sort_keys=True, separators=(",", ":"))
    return hashlib.sha256(text.encode()).hexdigest()


def child(module_dir, nproc, modes):
    if module_dir:
        sys.path.insert(0, module_dir)
    import quenfamod

    for workload, make in (("W-real", workloads.w_real), ("W-20k", workloads.w_20k)):
        ranks, gmt = make()
        for label in modes:
            options = dict(MODES[label], seed=SEED, nproc=nproc,
                           minSize=workloads.MIN_SIZE, maxSize=workloads.MAX_SIZE)
            if label.startswith("decor"):
                options.update(decor_cache=str(CACHE), decor_expression=str(EXPRESSION))
            records = quenfamod.run_gsea_py(ranks, str(gmt), **options)
            print(f"{workload:7} {label:17} nproc {nproc}  {len(records):5} records  "
                  f"{digest(records)}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module-dir", default="", help="folder holding the quenfamod to hash")
    parser.add_argument("--modes", nargs="+", default=list(MODES), choices=list(MODES))
    parser.add_argument("--nproc", nargs="+", type=int, default=[1, 2])
    parser.add_argument("--child", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child is not None:
        child(args.module_dir, args.child, args.modes)
        return
    print(f"W-real and W-20k, sizes {workloads.MIN_SIZE}..{workloads.MAX_SIZE}, seed {SEED}; "
          f"decor cache {CACHE.name} from {EXPRESSION.name}")
    lines = []
    for nproc in args.nproc:
        done = subprocess.run([sys.executable, __file__, "--child", str(nproc),
                               "--module-dir", args.module_dir, "--modes", *args.modes],
                              capture_output=True, text=True, check=True)
        lines += done.stdout.splitlines()
        print(done.stdout, end="", flush=True)
    total = hashlib.sha256("\n".join(line.split()[-1] for line in lines).encode()).hexdigest()
    print(f"all records: {total}")


if __name__ == "__main__":
    main()
