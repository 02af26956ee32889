"""Mode "simple" with 10,000 permutations on W-real and W-20k, with 1 and 2
threads, against a naive per-pathway baseline timed in the same binary.

Builds the C++ benchmark binary (build/bench) if needed.
"""

import pathlib
import subprocess

import workloads

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = ROOT / "build" / "bench"
BINARY = BUILD / "bench" / "quenfa_classic_bench"
NPERM = 10000
BASELINE_PERMS = 20


def build(target="quenfa_classic_bench"):
    """Configures build/bench (Release, benchmarks on) and builds one binary."""
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DQUENFA_BUILD_BENCH=ON",
                    "-DQUENFA_BUILD_PYTHON=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", target],
                   check=True, stdout=subprocess.DEVNULL)


def write_ranks(name, ranks):
    path = workloads.OUT / f"{name}.tsv"
    with open(path, "w") as handle:
        handle.write("gene\tscore\n")
        for gene, score in ranks.items():
            handle.write(f"{gene}\t{score!r}\n")
    return path


def main():
    build()
    for name, make in (("W-real", workloads.w_real), ("W-20k", workloads.w_20k)):
        ranks, gmt = make()
        path = write_ranks(name, ranks)
        print(workloads.describe(name, ranks, gmt), f"| sizes {workloads.MIN_SIZE}..{workloads.MAX_SIZE}")
        for nproc in (1, 2):
            baseline = BASELINE_PERMS if nproc == 1 else 0
            subprocess.run([str(BINARY), str(path), str(gmt), str(nproc), str(NPERM),
                            str(baseline)], check=True)


if __name__ == "__main__":
    main()
