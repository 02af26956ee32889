"""Mode "blitz" on W-real and W-20k with nproc 1, 2 and 4: a cold call
(calibration) and a warm one (model cache hit) in one process each, with the
stage lines of QUENFA_BLITZ_TIMINGS."""

import json
import os
import subprocess
import sys

import workloads

RUN = """
import json, sys, time
import quenfamod
ranks = json.load(open(sys.argv[1]))
for label in ("cold", "warm"):
    start = time.perf_counter()
    results = quenfamod.run_gsea_py(ranks, sys.argv[2], mode="blitz", nproc=int(sys.argv[3]),
                                    minSize=15, maxSize=500)
    print(label, len(results), time.perf_counter() - start, file=sys.stderr, flush=True)
"""


def main():
    env = dict(os.environ, QUENFA_BLITZ_TIMINGS="1")
    for name, make in (("W-real", workloads.w_real), ("W-20k", workloads.w_20k)):
        ranks, gmt = make()
        ranks_json = workloads.OUT / f"{name}.json"
        ranks_json.write_text(json.dumps(ranks))
        print(workloads.describe(name, ranks, gmt), "| mode blitz, defaults, sizes 15..500")
        for nproc in (1, 2, 4):
            done = subprocess.run([sys.executable, "-c", RUN, str(ranks_json), str(gmt),
                                   str(nproc)], capture_output=True, text=True, env=env,
                                  check=True)
            stages = []
            for line in done.stderr.splitlines():
                fields = line.split()
                if line.startswith("QUENFA_BLITZ_TIMING"):
                    stages.append(f"{fields[1]} {fields[2]}")
                elif fields and fields[0] in ("cold", "warm"):
                    print(f"  nproc {nproc} {fields[0]}: {float(fields[2]):.3f} s, "
                          f"{fields[1]} pathways; " + ", ".join(stages))
                    stages = []


if __name__ == "__main__":
    main()
