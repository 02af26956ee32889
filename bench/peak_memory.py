"""Peak resident memory of one call per process: the default call, blitz and
decor on W-real and W-20k.

Each measurement runs in a fresh interpreter, so ru_maxrss is the peak of that
process alone: the interpreter, the workload's dicts and the one analysis.
The interpreter's own peak after building the workload (before the call) is
printed beside it. The decor cache is built once, before the measurements,
so the decor figure is that of a run reading its cache.

    python bench/peak_memory.py
    python bench/peak_memory.py --module-dir DIR     # a quenfamod built in DIR
"""

import argparse
import resource
import subprocess
import sys

import workloads

EXPRESSION = workloads.DATA / "expression.tsv.gz"
CACHE = workloads.OUT / "decor_cache_go_bp_full.tsv.gz"
SEED = 1

CALLS = {
    "default": {},
    "blitz": dict(mode="blitz"),
    "decor": dict(method="decor", decor_cache=str(CACHE), decor_expression=str(EXPRESSION)),
}
WORKLOADS = {"W-real": workloads.w_real, "W-20k": workloads.w_20k}


def peak_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024  # Linux: KiB


def child(module_dir, workload, call):
    if module_dir:
        sys.path.insert(0, module_dir)
    import quenfamod

    ranks, gmt = WORKLOADS[workload]()
    before = peak_mib()
    records = quenfamod.run_gsea_py(ranks, str(gmt), seed=SEED, minSize=workloads.MIN_SIZE,
                                    maxSize=workloads.MAX_SIZE, **CALLS[call])
    print(f"{workload:7} {call:8} {len(records):5} records  peak {peak_mib():7.1f} MiB  "
          f"(before the call {before:6.1f} MiB)", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module-dir", default="", help="folder holding the quenfamod to measure")
    parser.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.module_dir, *args.child)
        return
    for name, make in WORKLOADS.items():
        ranks, gmt = make()
        print(workloads.describe(name, ranks, gmt))
    print(f"sizes {workloads.MIN_SIZE}..{workloads.MAX_SIZE}, seed {SEED}, default nproc; "
          f"decor cache {CACHE.name} from {EXPRESSION.name}", flush=True)
    if not CACHE.exists():
        subprocess.run([sys.executable, __file__, "--module-dir", args.module_dir,
                        "--child", "W-real", "decor"], check=True, capture_output=True)
    for workload in WORKLOADS:
        for call in CALLS:
            subprocess.run([sys.executable, __file__, "--module-dir", args.module_dir,
                            "--child", workload, call], check=True)


if __name__ == "__main__":
    main()
