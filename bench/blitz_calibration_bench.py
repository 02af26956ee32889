"""Null model calibration (40 anchors, 1000 permutations) on W-real and W-20k
with processes 1, 2 and 4 (the machine's pool has as many threads).

Builds the C++ benchmark binary (build/bench) if needed.
"""

import subprocess

import workloads
from classic_bench import BUILD, build, write_ranks


def main():
    build("quenfa_blitz_calibration_bench")
    binary = BUILD / "bench" / "quenfa_blitz_calibration_bench"
    for name, make in (("W-real", workloads.w_real), ("W-20k", workloads.w_20k)):
        ranks, gmt = make()
        path = write_ranks(name, ranks)
        print(workloads.describe(name, ranks, gmt))
        for processes in (1, 2, 4):
            subprocess.run([str(binary), str(path), str(gmt), str(processes)], check=True)


if __name__ == "__main__":
    main()
