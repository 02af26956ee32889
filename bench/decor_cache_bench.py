"""Decor cache building for go_bp_full.gmt (6,710 sets) from the real
expression matrix (8,562 genes x 128 samples), with 1 and 2 threads. The pool
size is fixed per process, so each thread count runs in its own process.

Builds the C++ benchmark binary (build/bench) if needed.
"""

import pathlib
import subprocess

import workloads

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = ROOT / "build" / "bench"
BINARY = BUILD / "bench" / "quenfa_decor_cache_bench"
EXPRESSION = workloads.DATA / "expression.tsv.gz"


def build():
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DQUENFA_BUILD_BENCH=ON",
                    "-DQUENFA_BUILD_PYTHON=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "quenfa_decor_cache_bench"],
                   check=True, stdout=subprocess.DEVNULL)


def main():
    build()
    gmt = workloads.gmt_path()
    print(f"decor cache: {gmt.name} from {EXPRESSION.name}, redundancy positive_mean")
    for nproc in (1, 2):
        cache = workloads.OUT / f"decor_cache_nproc{nproc}.tsv.gz"
        subprocess.run([str(BINARY), str(gmt), str(EXPRESSION), str(cache), str(nproc)],
                       check=True)
    same = (workloads.OUT / "decor_cache_nproc1.tsv.gz").read_bytes() == (
        workloads.OUT / "decor_cache_nproc2.tsv.gz").read_bytes()
    print(f"caches written with 1 and 2 threads are byte-identical: {same}")


if __name__ == "__main__":
    main()
