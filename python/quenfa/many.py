"""gsea_many(): one analysis per ranked list of a table, on local threads or a Dask cluster.

Each signature's seed comes from the call's seed and the signature's name
(:func:`signature_seed`), so a signature's rows do not depend on the other
signatures of the call, on their order, or on where they ran.
"""

from __future__ import annotations

import atexit
import concurrent.futures
import hashlib
import os
import secrets
import shutil
import tempfile
import threading
import uuid
from collections.abc import Callable, Mapping

import numpy as np
import pandas as pd

from .analysis import (ENGINE_OPTIONS, SetIndex, _gene_sets, _ranks_dict, analyse, check_engine_options,
                       inputs_record, package_version, set_index, sha256_file)
from .readers import GeneSets, InputError, gmt_text

ERROR_RULES = ("report", "raise")
SEED_PREFIX = b"quenfa.gsea_many signature seed v1\x00"
SEED_MASK = 0xFFFF_FFFF  # the engines seed their generators with 32 bits
_EXAMPLES = 5


def signature_seed(call_seed: int, name: str) -> int:
    """The seed of signature ``name`` in a call made with seed ``call_seed``.

    SHA-256 of SEED_PREFIX, the call seed in decimal, a NUL byte and the name
    in UTF-8; the first 8 bytes of the digest read as a big-endian unsigned
    64-bit integer, masked to its low 32 bits (the range of seeds the engines
    use, and of the seeds :func:`quenfa.gsea` draws).
    """
    message = SEED_PREFIX + str(int(call_seed)).encode("ascii") + b"\x00" + name.encode("utf-8")
    return int.from_bytes(hashlib.sha256(message).digest()[:8], "big") & SEED_MASK


class SignatureError(RuntimeError):
    """A signature whose analysis failed; ``signature`` names it, ``__cause__`` is the failure."""

    def __init__(self, signature: str, reason: str):
        super().__init__(f"signature {signature!r}: {reason}")
        self.signature = signature


class LostSignaturesError(RuntimeError):
    """Signatures for which the cluster returned no result."""


def _reason(error: BaseException) -> str:
    return f"{type(error).__name__}: {' '.join(str(error).split())}"


# ----------------------------------------------------------------------------------------------
# Signatures input


def _table_separator(path: str) -> str:
    stem = path[:-3] if path.endswith(".gz") else path
    return "," if stem.lower().endswith(".csv") else "\t"


def _numbers(path: str, name, column: pd.Series) -> np.ndarray:
    """A column of number texts as float64; missing cells are NaN, anything else is an error naming the cell."""
    texts = column.to_numpy(dtype=object)
    missing = column.isna().to_numpy()
    values = np.full(len(texts), np.nan)
    try:
        values[~missing] = texts[~missing].astype(str).astype(np.float64)
        return values
    except ValueError:
        pass
    for row in np.flatnonzero(~missing):  # find the cell at fault
        try:
            values[row] = float(texts[row])
        except ValueError:
            raise InputError(f"{path}: signature {name!r}, gene {column.index[row]}: not a number: "
                             f"{texts[row]!r}") from None
    return values


def read_signatures(path) -> pd.DataFrame:
    """Read a genes x signatures table: TSV/CSV (optionally gzipped) or Parquet.

    TSV/CSV: a header row of signature names after the gene column; empty or NA
    cells are genes not measured. Parquet: the frame as pandas wrote it, genes in
    the index or in the first column.
    """
    path = os.fspath(path)
    if not os.path.isfile(path):
        raise InputError(f"{path}: no such file")
    if path.lower().endswith((".parquet", ".pq")):
        try:
            frame = pd.read_parquet(path)
        except ImportError as error:
            raise InputError(f"{path}: reading Parquet needs pyarrow ({error})") from None
        if (isinstance(frame.index, pd.RangeIndex) and len(frame.columns)
                and not pd.api.types.is_numeric_dtype(frame.iloc[:, 0])):
            frame = frame.set_index(frame.columns[0])
    else:
        separator = _table_separator(path)
        try:  # cells as text, converted below exactly (correctly rounded) whatever the pandas version
            frame = pd.read_csv(path, sep=separator, index_col=0, dtype=str)
            # The names as written: pandas renames a repeated or empty one.
            header = pd.read_csv(path, sep=separator, header=None, nrows=1, dtype=str, keep_default_na=False)
        except (pd.errors.ParserError, pd.errors.EmptyDataError, UnicodeDecodeError, IndexError) as error:
            raise InputError(f"{path}: not a genes x signatures table ({' '.join(str(error).split())})") from None
        frame.columns = header.iloc[0, 1:].tolist()
    if frame.shape[1] == 0:
        raise InputError(f"{path}: no signature columns")
    columns = {}
    for i, name in enumerate(frame.columns):
        column = frame.iloc[:, i]
        if pd.api.types.is_numeric_dtype(column) and not pd.api.types.is_bool_dtype(column):
            columns[i] = column.to_numpy(dtype=np.float64, na_value=np.nan)
        else:
            columns[i] = _numbers(path, name, column)
    frame = pd.DataFrame(columns, index=frame.index).set_axis(frame.columns, axis=1)
    if frame.index.isna().any():
        raise InputError(f"{path}: a row has no gene identifier")
    frame.index = frame.index.astype(str)
    frame.columns = frame.columns.astype(str)
    return frame


def _signature_items(signatures) -> tuple[list[tuple[str, object]], dict | None]:
    """(name, ranked list) pairs in input order, and the input file's record when read from a file."""
    record = None
    if isinstance(signatures, (str, os.PathLike)):
        path = os.fspath(signatures)
        signatures = read_signatures(path)
        record = {"path": path, "sha256": sha256_file(path)}
    if isinstance(signatures, pd.DataFrame):
        if not signatures.index.is_unique:
            repeated = list(dict.fromkeys(signatures.index[signatures.index.duplicated()]))[:_EXAMPLES]
            raise InputError(f"signatures lists genes more than once, e.g. {repeated}")
        # NaN: a gene not measured for that signature.
        items = [(name, signatures.iloc[:, i].dropna()) for i, name in enumerate(signatures.columns)]
    elif isinstance(signatures, Mapping):
        items = list(signatures.items())
    else:
        raise InputError("signatures must be a DataFrame (genes x signatures), a mapping name -> ranked list "
                         f"or a table file, not {type(signatures).__name__}")
    if not items:
        raise InputError("there are no signatures")
    seen: set[str] = set()
    for name, _ in items:
        if not isinstance(name, str) or not name:
            raise InputError(f"signature names must be non-empty strings, found {name!r} "
                             "(for a DataFrame: frame.columns = frame.columns.astype(str))")
        if any(c in name for c in "\t\n\r"):
            raise InputError(f"signature name {name!r} contains a tab or a line break")
        if name in seen:
            raise InputError(f"signature {name!r} is given more than once")
        seen.add(name)
    return items, record


# ----------------------------------------------------------------------------------------------
# One signature, wherever it runs


class _Cancelled(Exception):
    """Raised by the progress hook of a local run after Ctrl-C."""


def _analyse_signature(ranks, sets: GeneSets, index: SetIndex, gmt_path: str | None, parameters: dict,
                       progress=None):
    scores, _ = _ranks_dict(ranks)
    return analyse(scores, sets, index, gmt_path, parameters, progress)


_WORKER_SETS: dict[str, tuple[SetIndex, str]] = {}  # on a Dask worker: digest of the sets -> index, GMT file
_WORKER_SETS_LOCK = threading.Lock()


def _worker_sets(digest: str, sets: GeneSets) -> tuple[SetIndex, str]:
    """The index of ``sets`` and a GMT file of them private to this process, made on first use
    (the file is removed at exit)."""
    with _WORKER_SETS_LOCK:
        if digest not in _WORKER_SETS:
            folder = tempfile.mkdtemp(prefix="quenfa-sets-")
            atexit.register(shutil.rmtree, folder, True)
            path = os.path.join(folder, "sets.gmt")
            with open(path, "w", encoding="utf-8", newline="") as handle:
                handle.write(gmt_text(sets))
            _WORKER_SETS[digest] = (SetIndex(sets), path)
        return _WORKER_SETS[digest]


def _dask_task(shared: tuple[str, GeneSets], ranks, parameters: dict):
    digest, sets = shared
    return _analyse_signature(ranks, sets, *_worker_sets(digest, sets), parameters)


# ----------------------------------------------------------------------------------------------
# Local threads and Dask


def _run_local(jobs, sets, sets_index, gmt_path, progress) -> dict[int, object]:
    """Run every job on a pool of threads, one per core; outcome per index (frame pair or exception);
    progress() after each one.

    The extension releases the GIL while an engine works, so the analyses run side by side;
    each one uses the worker pool as its own nproc asks. On Ctrl-C no new signature starts,
    running ones stop at their next progress check, and KeyboardInterrupt is re-raised.
    """
    cancelled = threading.Event()

    def check(stage, done, total):
        if cancelled.is_set():
            raise _Cancelled()

    def one(ranks, parameters):
        if cancelled.is_set():
            raise _Cancelled()
        return _analyse_signature(ranks, sets, sets_index, gmt_path, parameters, check)

    outcomes: dict[int, object] = {}
    workers = os.cpu_count() or 1
    window = 2 * workers  # signatures submitted ahead of the ones running
    pending = iter(jobs)
    executor = concurrent.futures.ThreadPoolExecutor(max_workers=workers, thread_name_prefix="quenfa")
    running: dict[concurrent.futures.Future, int] = {}
    try:
        while True:
            for index, ranks, parameters in pending:
                running[executor.submit(one, ranks, parameters)] = index
                if len(running) >= window:
                    break
            if not running:
                break
            finished, _ = concurrent.futures.wait(running, timeout=0.25,
                                                  return_when=concurrent.futures.FIRST_COMPLETED)
            for future in finished:
                index = running.pop(future)
                error = future.exception()
                outcomes[index] = error if error is not None else future.result()
                progress()
    except BaseException:
        cancelled.set()
        executor.shutdown(wait=True, cancel_futures=True)
        raise
    executor.shutdown(wait=True)
    return outcomes


def _run_dask(client, jobs, sets, digest, progress) -> dict[int, object]:
    """One task per signature on the cluster of ``client``; the sets, which ``digest`` identifies,
    go to every worker once."""
    from distributed import as_completed

    [shared] = client.scatter([(digest, sets)], broadcast=True, hash=False)
    call = uuid.uuid4().hex
    futures = {}
    try:
        for index, ranks, parameters in jobs:
            future = client.submit(_dask_task, shared, ranks, parameters, key=f"quenfa-signature-{call}-{index}",
                                   pure=False, retries=0)
            futures[future] = index
        outcomes: dict[int, object] = {}
        for future in as_completed(futures):
            index = futures[future]
            if future.status == "finished":
                outcomes[index] = future.result()
            elif future.status == "error":
                outcomes[index] = future.exception()
            progress()
        return outcomes
    finally:
        client.cancel(list(futures) + [shared])


def _lost(error: BaseException) -> bool:
    """Whether a task failed for the cluster's reasons (a worker died too often) rather than its own."""
    try:
        from distributed import KilledWorker
    except ImportError:
        return False
    return isinstance(error, KilledWorker)


# ----------------------------------------------------------------------------------------------


def gsea_many(signatures, gene_sets, *, client=None, seed: int | None = None, nproc: int | None = 0,
              errors: str = "report", progress: Callable[[str, int, int], None] | None = None,
              **options) -> pd.DataFrame:
    """Gene set enrichment of many ranked lists against one collection of gene sets.

    ``signatures``: a DataFrame genes x signatures (NaN: the gene was not measured
    for that signature), a mapping name -> Series or dict gene -> score, or the
    path of such a table (TSV, CSV, optionally gzipped, or Parquet; see
    :func:`read_signatures`). Names are non-empty strings, each given once.
    ``gene_sets``: as for :func:`quenfa.gsea`; read and parsed once for the call.

    Each signature is analysed as ``quenfa.gsea(its_list, gene_sets, seed=s,
    nproc=nproc, **options)`` with ``s = signature_seed(seed, name)``; with
    seed=None the call's seed is drawn and recorded. Results of the blitz mode
    depend on ``nproc`` (never on scheduling), so compare runs at the same nproc.
    As for every analysis, the first non-zero ``nproc`` of a process fixes the
    size of its worker pool; how many signatures run at once does not touch it.

    Without ``client`` the signatures run on local threads, one per core. With a
    ``dask.distributed.Client`` they run on its cluster, one task per signature,
    the gene sets sent to every worker once; a worker that dies is replaced by
    the scheduler's retries, and signatures the cluster could not finish raise
    :class:`LostSignaturesError` naming them.

    ``errors="report"``: a failing signature is left out, and
    ``attrs["failed"]`` maps its name to the reason (all failing raises the first
    failure); ``errors="raise"``: the first failing signature in input order
    raises :class:`SignatureError`. ``progress(stage, done, total)`` is called
    with stage "signatures" as signatures finish.

    Returns one table: a ``signature`` column, then the columns of
    :func:`quenfa.gsea`; signatures in input order, each one's rows ordered as
    :func:`quenfa.gsea` orders them. ``attrs``: ``parameters``, ``seed`` (the
    call's), ``seeds`` (name -> seed), ``signatures`` (names in input order),
    ``failed``, ``version``, ``inputs``, ``overlap`` (name -> record) and
    ``scheduler`` ("local" or the cluster's address).
    """
    check_engine_options(options, "gsea_many")
    if "seed" in options or "nproc" in options:
        raise TypeError("gsea_many() got seed or nproc twice")
    if errors not in ERROR_RULES:
        raise InputError(f"errors must be one of {', '.join(map(repr, ERROR_RULES))}, not {errors!r}")
    if seed is not None and (not isinstance(seed, int) or isinstance(seed, bool) or seed < 0):
        raise InputError(f"seed must be a non-negative integer or None, not {seed!r}")
    parameters = {name: options.get(name) for name in ENGINE_OPTIONS}
    parameters["mode"] = parameters["mode"] or "kelda"
    parameters["method"] = parameters["method"] or "classic"
    parameters["nproc"] = nproc
    call_seed = secrets.randbelow(2**32) if seed is None else seed
    parameters["seed"] = call_seed

    items, signatures_record = _signature_items(signatures)
    sets, gmt_path, sets_record = _gene_sets(gene_sets)
    if not sets:
        raise InputError("there are no gene sets to test")
    seeds = {name: signature_seed(call_seed, name) for name, _ in items}
    jobs = [(index, ranks, {**parameters, "seed": seeds[name]}) for index, (name, ranks) in enumerate(items)]
    # A decor cache that is missing is built by the first analysis that needs it: run one
    # signature alone first, so that the others read the cache instead of each building it.
    waves = [jobs[:1], jobs[1:]] if str(parameters["method"]).lower() == "decor" and len(jobs) > 1 else [jobs]

    total = len(items)
    done = 0

    def report() -> None:
        nonlocal done
        done += 1
        if progress:
            progress("signatures", done, total)

    if progress:
        progress("signatures", 0, total)
    outcomes: dict[int, object] = {}
    if client is None:
        staged = None
        if gmt_path is None:  # sets in memory or gzipped: one GMT file for the whole call
            staged = tempfile.NamedTemporaryFile("w", encoding="utf-8", newline="", suffix=".gmt", delete=False)
            with staged:
                staged.write(gmt_text(sets))
            gmt_path = staged.name
        sets_index = set_index(sets, sets_record["sha256"])
        try:
            for wave in waves:
                outcomes.update(_run_local(wave, sets, sets_index, gmt_path, report))
        finally:
            if staged is not None:
                os.unlink(staged.name)
    else:
        for wave in waves:
            outcomes.update(_run_dask(client, wave, sets, sets_record["sha256"], report))

    names = [name for name, _ in items]
    lost = [names[i] for i in range(total) if i not in outcomes or _lost(outcomes[i])]
    if lost:
        shown = ", ".join(map(repr, lost[:20])) + (f" and {len(lost) - 20} more" if len(lost) > 20 else "")
        raise LostSignaturesError(f"the cluster returned no result for {len(lost)} of {total} signatures "
                                  f"(their workers died): {shown}")
    failed = {names[i]: outcomes[i] for i in range(total) if isinstance(outcomes[i], BaseException)}
    if failed and (errors == "raise" or len(failed) == total):
        name, error = next(iter(failed.items()))
        raise SignatureError(name, _reason(error)) from error

    frames, overlap = [], {}
    for index, name in enumerate(names):
        if name in failed:
            continue
        frame, overlap[name] = outcomes[index]
        frame.insert(0, "signature", name)
        frames.append(frame)
    result = pd.concat(frames, ignore_index=True)
    inputs = inputs_record(sets_record, parameters, signatures=signatures_record)
    result.attrs = {
        "parameters": parameters,
        "seed": call_seed,
        "seeds": seeds,
        "signatures": names,
        "failed": {name: _reason(error) for name, error in failed.items()},
        "version": package_version(),
        "inputs": inputs,
        "overlap": overlap,
        "scheduler": "local" if client is None else str(client.scheduler.address),
    }
    return result
