"""Throughput of quenfa.gsea_many: many signatures against GO BP (sizes 15..500).

Workload: 200 signatures, each a Welch t ranking of bench/data/expression.tsv.gz
(8,562 genes, 128 samples) for a random half/half split of the samples (numpy
seed SPLIT_SEED); mode "simple" with 1000 permutations on all 200, mode "blitz"
on the first 40. Call seed CALL_SEED; every analysis runs with nproc=1.

Three ways, each in a fresh process (so that each one's peak memory is its own
and no run fixes the worker pool of another):
  sequential  quenfa.gsea on one signature after the other (derived seeds)
  local       quenfa.gsea_many on local threads, one per core
  dask        quenfa.gsea_many on a Dask LocalCluster of 2 worker processes,
              1 thread each (cluster start-up not timed)
Printed: signatures per second, speed-up over sequential, peak resident memory
(dask: the client's plus each worker's), the Dask path's overhead per signature
(workers x wall time - time spent in the tasks, from Dask's task stream, per
signature: scheduling, transfers, idle workers), and whether all three gave
the same results (SHA-256 of the long table).

Goals on a 2-core machine: local >= 1.8x sequential, dask >= 1.6x, Dask overhead
under 50 ms per signature. `--fraction F` runs a share of the signatures, for a
quick check.
"""

import argparse
import hashlib
import json
import logging
import os
import resource
import subprocess
import sys
import time

import numpy as np
import pandas as pd

import workloads

SIGNATURES = 200
BLITZ_SIGNATURES = 40
SPLIT_SEED = 20261211
CALL_SEED = 15
WORKERS = 2
MODES = {
    "simple": {"mode": "simple", "nperm_simple": 1000},
    "blitz": {"mode": "blitz"},
}


def signatures(count: int) -> pd.DataFrame:
    import quenfa

    expression = pd.read_csv(workloads.DATA / "expression.tsv.gz", sep="\t", index_col=0)
    rng = np.random.default_rng(SPLIT_SEED)
    columns = {}
    for k in range(count):
        groups = np.array(["a"] * expression.shape[1])
        groups[rng.permutation(expression.shape[1])[: expression.shape[1] // 2]] = "b"
        ranked = quenfa.rank_genes(expression, groups, reference="a")
        columns[f"split-{k:03d}"] = ranked.reindex(expression.index)
    return pd.DataFrame(columns, index=expression.index)


def digest(frame: pd.DataFrame) -> str:
    return hashlib.sha256(frame.to_csv(sep="\t", float_format=repr).encode()).hexdigest()


def peak_mib() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def run_part(way: str, mode: str, count: int) -> dict:
    """One way on one mode, in this process."""
    import quenfa
    from quenfa import many

    table = signatures(count)
    gmt = str(workloads.gmt_path())
    options = {**MODES[mode], "min_size": workloads.MIN_SIZE, "max_size": workloads.MAX_SIZE, "nproc": 1}
    memory = {}
    if way == "sequential":
        start = time.perf_counter()
        frames = []
        for name in table.columns:
            frame = quenfa.gsea(table[name].dropna(), gmt, seed=many.signature_seed(CALL_SEED, name), **options)
            frame.insert(0, "signature", name)
            frames.append(frame)
        seconds = time.perf_counter() - start
        result = pd.concat(frames, ignore_index=True)
    elif way == "local":
        start = time.perf_counter()
        result = quenfa.gsea_many(table, gmt, seed=CALL_SEED, **options)
        seconds = time.perf_counter() - start
    else:
        from distributed import Client, LocalCluster, get_task_stream

        with LocalCluster(n_workers=WORKERS, processes=True, threads_per_worker=1, dashboard_address=":0",
                          silence_logs=logging.ERROR) as cluster, Client(cluster) as client:
            with get_task_stream(client) as stream:
                start = time.perf_counter()
                result = quenfa.gsea_many(table, gmt, seed=CALL_SEED, client=client, **options)
                seconds = time.perf_counter() - start
            compute = sum(part["stop"] - part["start"] for task in stream.data for part in task["startstops"]
                          if part["action"] == "compute" and str(task["key"]).startswith("quenfa-signature"))
            memory = {worker: usage.ru_maxrss / 1024 for worker, usage in
                      client.run(resource.getrusage, resource.RUSAGE_SELF).items()}
    memory["client" if way == "dask" else "process"] = peak_mib()
    part = {"seconds": seconds, "memory_mib": memory, "digest": digest(result), "rows": len(result)}
    if way == "dask":
        part["task_seconds"] = compute
    return part


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--fraction", type=float, default=1.0, help="share of the signatures to run")
    parser.add_argument("--part", nargs=3, metavar=("WAY", "MODE", "COUNT"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.part:
        way, mode, count = args.part
        print(json.dumps(run_part(way, mode, int(count))))
        return
    print(f"gsea_many: random half/half splits of expression.tsv.gz against {workloads.gmt_path().name} "
          f"(sizes {workloads.MIN_SIZE}..{workloads.MAX_SIZE}), nproc=1 per analysis, {os.cpu_count()} cores, "
          f"Dask LocalCluster {WORKERS} workers x 1 thread")
    for mode, full in (("simple", SIGNATURES), ("blitz", BLITZ_SIGNATURES)):
        count = max(2, round(full * args.fraction))
        print(f"\nmode {mode}, {count} signatures" + (" (1000 permutations)" if mode == "simple" else ""))
        parts = {}
        for way in ("sequential", "local", "dask"):
            done = subprocess.run([sys.executable, __file__, "--part", way, mode, str(count)], capture_output=True,
                                  text=True, check=True)
            parts[way] = json.loads(done.stdout.strip().splitlines()[-1])
        base = parts["sequential"]["seconds"]
        for way, part in parts.items():
            memory = part["memory_mib"]
            shown = " + ".join(f"{value:.0f}" for value in memory.values())
            total = sum(memory.values())
            print(f"  {way:<10} {count / part['seconds']:7.2f} signatures/s  {base / part['seconds']:5.2f}x  "
                  f"peak memory {total:7.0f} MiB ({shown})")
        dask = parts["dask"]
        overhead = (WORKERS * dask["seconds"] - dask["task_seconds"]) / count
        print(f"  Dask overhead per signature: {1000 * overhead:.0f} ms of worker time outside the tasks "
              f"(goal < 50 ms); goals: local >= 1.8x, dask >= 1.6x")
        same = len({part["digest"] for part in parts.values()}) == 1
        print(f"  results identical in all three ways: {'yes' if same else 'NO'} ({parts['local']['rows']} rows)")


if __name__ == "__main__":
    main()
