"""Multilevel P-values against brute-force permutations on real data.

Runs the default analysis on W-real, picks pathways whose multilevel P-value
lies between 1e-5 and 1e-3 (small ones, to keep the brute force affordable),
and reruns just those in mode "simple" with 10^7 permutations. A pathway
agrees when |log2 p_multilevel - log2 p_simple| <= 3 sqrt(err_m^2 + err_s^2).

usage: python3 bench/multilevel_accuracy.py [NPERM] [MAX_SIZE] [MAX_PATHWAYS]
"""

import math
import sys
import time

import quenfamod
import workloads


def main():
    nperm = int(sys.argv[1]) if len(sys.argv) > 1 else 10**7
    max_size = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    max_pathways = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    ranks, gmt = workloads.w_real()
    print(workloads.describe("W-real", ranks, gmt), f"| simple stage {nperm} permutations")
    default = quenfamod.run_gsea_py(ranks, str(gmt), seed=1, minSize=15, maxSize=500)
    chosen = [r for r in default if 1e-5 <= r["pval"] <= 1e-3 and r["size"] <= max_size]
    chosen = sorted(chosen, key=lambda r: r["pval"])[:: max(1, len(chosen) // max_pathways)]
    chosen = chosen[:max_pathways]
    names = {r["pathway"] for r in chosen}
    subset = workloads.OUT / "accuracy_subset.gmt"
    with open(gmt) as src, open(subset, "w") as dst:
        dst.writelines(line for line in src if line.split("\t", 1)[0] in names)
    start = time.perf_counter()
    simple = {r["pathway"]: r for r in quenfamod.run_gsea_py(
        ranks, str(subset), mode="simple", nPermSimple=nperm, seed=7, minSize=15, maxSize=500)}
    print(f"brute force: {time.perf_counter() - start:.0f} s\n")
    print(f"{'pathway':<12} {'size':>4} {'p multilevel':>13} {'err_m':>6} {'p simple':>10} "
          f"{'err_s':>6} {'|dlog2|':>8} {'3 sigma':>8}  agrees")
    agree = 0
    for r in chosen:
        s = simple[r["pathway"]]
        diff = abs(math.log2(r["pval"]) - math.log2(s["pval"]))
        bound = 3 * math.sqrt(r["log2err"] ** 2 + s["log2err"] ** 2)
        agree += diff <= bound
        print(f"{r['pathway']:<12} {r['size']:>4} {r['pval']:>13.3e} {r['log2err']:>6.3f} "
              f"{s['pval']:>10.3e} {s['log2err']:>6.3f} {diff:>8.3f} {bound:>8.3f}  "
              f"{'yes' if diff <= bound else 'NO'}")
    print(f"\n{agree} of {len(chosen)} agree")


if __name__ == "__main__":
    main()
