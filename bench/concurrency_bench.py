"""Two Python threads, each running one analysis with nproc=1, against the same
two calls one after the other, in one process.

The extension releases the GIL while an engine works, so on a machine with
two free cores the threaded pair should take little more than one call.

    python bench/concurrency_bench.py                    # W-real, mode simple
    python bench/concurrency_bench.py --mode kelda --repeats 3
"""

import argparse
import sys
import threading

import workloads


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module-dir", default="", help="folder holding the quenfamod to measure")
    parser.add_argument("--mode", default="simple", choices=["simple", "kelda", "blitz"])
    parser.add_argument("--nperm", type=int, default=3000)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    if args.module_dir:
        sys.path.insert(0, args.module_dir)
    import quenfamod

    ranks, gmt = workloads.w_real()
    options = dict(mode=args.mode, nproc=1, minSize=workloads.MIN_SIZE,
                   maxSize=workloads.MAX_SIZE)
    if args.mode == "simple":
        options["nperm"] = args.nperm
    calls = [dict(options, seed=1), dict(options, seed=2)]

    def run(kw):
        return quenfamod.run_gsea_py(ranks, str(gmt), **kw)

    run(calls[0])  # warm-up: worker pool, file cache, blitz model cache

    def sequential():
        for kw in calls:
            run(kw)

    def threaded():
        threads = [threading.Thread(target=run, args=(kw,)) for kw in calls]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    seq = workloads.best_seconds(args.repeats, sequential)
    par = workloads.best_seconds(args.repeats, threaded)
    print(workloads.describe("W-real", ranks, gmt))
    print(f"mode {args.mode}, nproc 1 per call, 2 calls, best of {args.repeats}")
    print(f"in sequence: {seq:.3f} s")
    print(f"2 threads:   {par:.3f} s")
    print(f"speed-up:    {seq / par:.2f}x")


if __name__ == "__main__":
    main()
