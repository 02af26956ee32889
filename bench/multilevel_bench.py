"""The default call (1000 permutations, then multilevel refinement) on W-real
and W-20k with 1 and 2 threads, with the per-stage times of QUENFA_STAGE_TIMING.

Refined pathways are recognised by their error estimate, which after
refinement follows the estimator's formula (or is absent at the eps floor).
"""

import json
import math
import os
import subprocess
import sys

from scipy.special import polygamma

import workloads

RUN = """
import json, sys
import quenfamod
ranks = json.load(open(sys.argv[1]))
results = quenfamod.run_gsea_py(ranks, sys.argv[2], seed=42, nproc=int(sys.argv[3]),
                                minSize=15, maxSize=500)
json.dump(results, sys.stdout)
"""


def refined(row, sample_size=101, eps=1e-50):
    p = row["pval"]
    if row["log2err"] is None:
        return p == eps
    if not (p > 0 and math.isfinite(p)):
        return False
    spread = polygamma(1, (sample_size + 1) * 0.5) - polygamma(1, sample_size + 1)
    expected = math.sqrt(spread * math.floor(1 - math.log2(p))) / math.log(2)
    return math.isclose(row["log2err"], expected, rel_tol=1e-9)


def main():
    env = dict(os.environ, QUENFA_STAGE_TIMING="1")
    for name, make in (("W-real", workloads.w_real), ("W-20k", workloads.w_20k)):
        ranks, gmt = make()
        ranks_json = workloads.OUT / f"{name}.json"
        ranks_json.write_text(json.dumps(ranks))
        print(workloads.describe(name, ranks, gmt), "| default call, seed 42")
        for nproc in (1, 2):
            done = subprocess.run([sys.executable, "-c", RUN, str(ranks_json), str(gmt),
                                   str(nproc)], capture_output=True, text=True, env=env,
                                  check=True)
            results = json.loads(done.stdout)
            stages = [line.split("\t")[1:] for line in done.stderr.splitlines()
                      if line.startswith("QUENFA_STAGE")]
            hits = [r for r in results if refined(r)]
            groups = len({r["size"] for r in hits})
            timing = ", ".join(f"{stage} {float(sec):.3f}" for stage, sec in stages)
            print(f"  {nproc} thread(s): {len(results)} pathways, {len(hits)} refined in "
                  f"{groups} size groups; seconds: {timing}")


if __name__ == "__main__":
    main()
