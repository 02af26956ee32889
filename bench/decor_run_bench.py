"""Method "decor" on W-real: the simple entry (nperm 1000) and the
multilevel entry (nPermSimple 1000, refinement), with 1 and 2 threads, each
against the classic engine's matching mode timed in the same process. The
pool size is fixed per process, so each thread count runs in its own one.

The cache is built once from the real expression matrix (bench/data) and
reused by every timed run. Builds a Release quenfamod in build/bench-python.
Also prints how the sets called at padj < 0.05 differ between the engines.
"""

import pathlib
import subprocess
import sys
import textwrap

import workloads

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = ROOT / "build" / "bench-python"
EXPRESSION = workloads.DATA / "expression.tsv.gz"
CACHE = workloads.OUT / "decor_cache_go_bp_full.tsv.gz"

CHILD = textwrap.dedent("""
    import json, sys, time
    sys.path[:0] = [sys.argv[1], sys.argv[2]]
    import quenfamod, workloads
    nproc = int(sys.argv[3])
    ranks, gmt = workloads.w_real()
    common = dict(seed=1, nproc=nproc, minSize=workloads.MIN_SIZE, maxSize=workloads.MAX_SIZE)
    decor = dict(method="decor", decor_cache=sys.argv[4], decor_expression=sys.argv[5])
    report = {}
    for label, mode in (("simple", dict(mode="simple", nperm=1000)),
                        ("multilevel", dict(mode="multilevel", nPermSimple=1000))):
        for engine, extra in (("classic", {}), ("decor", decor)):
            start = time.perf_counter()
            results = quenfamod.run_gsea_py(ranks, str(gmt), **common, **mode, **extra)
            seconds = time.perf_counter() - start
            report[f"{engine} {label}"] = dict(seconds=seconds, results=results)
    json.dump(report, sys.stdout)
""")


def build():
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DQUENFA_BUILD_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "quenfamod"], check=True,
                   stdout=subprocess.DEVNULL)


def run_child(nproc):
    import json
    done = subprocess.run([sys.executable, "-c", CHILD, str(BUILD / "python" / "quenfamod"),
                           str(ROOT / "bench"), str(nproc), str(CACHE), str(EXPRESSION)],
                          capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def significant(results, cutoff=0.05):
    return {r["pathway"]: r for r in results if r["padj"] is not None and r["padj"] < cutoff}


def main():
    build()
    ranks, gmt = workloads.w_real()
    print(workloads.describe("W-real", ranks, gmt),
          f"| sizes {workloads.MIN_SIZE}..{workloads.MAX_SIZE} | seed 1 | cache {CACHE.name}")
    if not CACHE.exists():
        print("building the decor cache first (not timed)")
        run_child(1)
    runs = {}
    for nproc in (1, 2):
        runs[nproc] = run_child(nproc)
        for label in ("simple", "multilevel"):
            classic = runs[nproc][f"classic {label}"]["seconds"]
            decor = runs[nproc][f"decor {label}"]["seconds"]
            count = len(runs[nproc][f"decor {label}"]["results"])
            print(f"{label:>10} entry, {nproc} thread(s): decor {decor:6.2f} s "
                  f"({count} pathways), classic {classic:6.2f} s, ratio {decor / classic:5.2f}")
    same = all(runs[1][key]["results"] == runs[2][key]["results"] for key in runs[1])
    print(f"records identical for 1 and 2 threads: {same}")

    for label in ("simple", "multilevel"):
        classic = significant(runs[1][f"classic {label}"]["results"])
        decor = significant(runs[1][f"decor {label}"]["results"])
        both = classic.keys() & decor.keys()
        print(f"\n{label}: padj < 0.05 classic {len(classic)}, decor {len(decor)}, both {len(both)}, "
              f"classic only {len(classic.keys() - decor.keys())}, "
              f"decor only {len(decor.keys() - classic.keys())}")
        for name in sorted(classic.keys() ^ decor.keys())[:8]:
            row = classic.get(name) or decor.get(name)
            side = "classic only" if name in classic else "decor only"
            print(f"  {side:<12} {name} size {row['size']} nes {row['nes']:.2f} "
                  f"padj {row['padj']:.2e}")


if __name__ == "__main__":
    main()
