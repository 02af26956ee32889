"""gsea(): one enrichment analysis on a ranked list, returned as a DataFrame."""

from __future__ import annotations

import gzip
import hashlib
import math
import os
import secrets
from collections.abc import Callable, Mapping
from importlib import metadata

import numpy as np
import pandas as pd
import quenfamod

from .bundled import collection_path, collections
from .readers import GeneSets, InputError, gmt_text, read_gmt, read_ranks

# Engine options: Python name -> (engine keyword, value type, help for the command line).
# The engine keeps its own default for every option left at None.
ENGINE_OPTIONS = {
    "mode": ("mode", str, "kelda (default), multilevel, simple or blitz"),
    "method": ("method", str, "classic (default) or decor"),
    "seed": ("seed", int, "random seed; drawn at random and recorded when not given"),
    "nproc": ("nproc", int, "worker threads (0: the pool's default)"),
    "min_size": ("minSize", int, "smallest gene set size kept (genes found in the ranked list)"),
    "max_size": ("maxSize", int, "largest gene set size kept"),
    "nperm_simple": ("nPermSimple", int, "permutations of the first stage (1000)"),
    "nperm": ("nperm", int, "fixed number of plain permutations"),
    "eps": ("eps", float, "smallest P-value the multilevel estimator resolves (1e-50)"),
    "score_type": ("scoreType", str, "std (two-sided, default), pos or neg"),
    "gsea_param": ("gseaParam", float, "exponent of the gene weights (1.0)"),
    "sample_size": ("sampleSize", int, "sample size of the multilevel estimator (101)"),
    "gpu": ("gpu", bool, "ask for a GPU (this build runs on the CPU only)"),
    "decor_cache": ("decor_cache", str, "decor cache file (built on first use)"),
    "decor_expression": ("decor_expression", str, "expression matrix the decor cache is built from"),
    "decor_preset": ("decor_preset", str, "decor release preset"),
    "decor_stringency": ("decor_stringency", float, "decor stringency"),
    "decor_weight_formula": ("decor_weight_formula", str, "decor weight formula"),
    "decor_alpha": ("decor_alpha", float, "decor alpha"),
    "decor_threshold": ("decor_threshold", float, "decor threshold"),
    "decor_gamma": ("decor_gamma", float, "decor gamma"),
    "decor_penalty_floor": ("decor_penalty_floor", float, "decor penalty floor"),
    "decor_scale_epsilon": ("decor_scale_epsilon", float, "decor scale epsilon (1e-12)"),
    "decor_cache_mode": ("decor_cache_mode", str, "decor cache mode (auto)"),
    "decor_correlation": ("decor_correlation", str, "decor correlation (pearson)"),
    "decor_redundancy": ("decor_redundancy", str, "decor redundancy (positive_mean)"),
    "blitz_anchors": ("blitz_anchors", int, "blitz anchor sizes (40)"),
    "blitz_symmetric": ("blitz_symmetric", bool, "blitz symmetric null model"),
    "blitz_center": ("blitz_center", bool, "blitz centring of the scores (on)"),
    "blitz_accuracy": ("blitz_accuracy", int, "blitz accuracy (40)"),
    "blitz_deep_accuracy": ("blitz_deep_accuracy", int, "blitz deep accuracy (50)"),
    "blitz_signature_cache": ("blitz_signature_cache", bool, "blitz signature cache (on)"),
}
COLUMNS = ["pathway", "size", "es", "nes", "pval", "padj", "log2err", "leading_edge"]
_EXAMPLES = 5


def package_version() -> str:
    try:
        return metadata.version("quenfa")
    except metadata.PackageNotFoundError:
        return "unknown"


def sha256_file(path) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def _ranks_dict(ranks) -> tuple[dict[str, float], dict | None]:
    """Scores in list order, and the input file's record when read from a file."""
    if isinstance(ranks, (str, os.PathLike)):
        path = os.fspath(ranks)
        series = read_ranks(path)
        return dict(zip(series.index, series.tolist())), {"path": path, "sha256": sha256_file(path)}
    if isinstance(ranks, pd.Series):
        if not ranks.index.is_unique:
            repeated = list(dict.fromkeys(ranks.index[ranks.index.duplicated()]))[:_EXAMPLES]
            raise InputError(f"ranks lists genes more than once, e.g. {repeated}")
        scores = dict(zip(ranks.index, ranks.astype("float64").tolist()))
    elif isinstance(ranks, Mapping):
        scores = {gene: float(score) for gene, score in ranks.items()}
    else:
        raise InputError(f"ranks must be a pandas Series, a dict or a file path, not {type(ranks).__name__}")
    if not scores:
        raise InputError("ranks is empty")
    for gene, score in scores.items():
        if not isinstance(gene, str):
            raise InputError(f"gene identifiers must be strings, found {gene!r}")
        if not math.isfinite(score):
            raise InputError(f"the score of {gene} is {score}, not a finite number")
    return scores, None


_GMT_CACHE: dict[str, GeneSets] = {}  # SHA-256 of a file -> its sets, most recently used last
_GMT_CACHE_SIZE = 4


def _read_gmt_file(path) -> tuple[GeneSets, str]:
    """The sets of a GMT file and the file's SHA-256.

    The sets of the last few files are kept, keyed by content, so that analyses
    of many lists against one file read it once. They are shared: read only.
    """
    digest = sha256_file(path)
    sets = _GMT_CACHE.pop(digest, None)
    if sets is None:
        sets = read_gmt(path)
    _GMT_CACHE[digest] = sets
    while len(_GMT_CACHE) > _GMT_CACHE_SIZE:
        del _GMT_CACHE[next(iter(_GMT_CACHE))]
    return sets, digest


def _gene_sets(gene_sets) -> tuple[GeneSets, str | None, dict]:
    """The sets, the GMT path to hand to the engine (None: the sets go in memory), the input record."""
    if isinstance(gene_sets, (str, os.PathLike)):
        path = os.fspath(gene_sets)
        if not os.path.exists(path):
            bundled = collection_path(path)
            if bundled is None:
                raise InputError(f"{path}: no such file, and not a bundled collection "
                                 f"({', '.join(collections())})")
            sets, _ = _read_gmt_file(bundled)
            # The bundled files hold canonical GMT text, so this is the digest of gmt_text(sets).
            with gzip.open(bundled, "rb") as handle:
                text_digest = hashlib.sha256(handle.read()).hexdigest()
            return sets, None, {"collection": path, "sha256": text_digest}
        sets, digest = _read_gmt_file(path)
        record = {"path": path, "sha256": digest}
        with open(path, "rb") as handle:
            gzipped = handle.read(2) == b"\x1f\x8b"
        if gzipped:  # the engine reads plain GMT only: hand the sets over in memory
            record["sha256_gmt_text"] = _sha256_text(gmt_text(sets))
            return sets, None, record
        return sets, path, record
    if isinstance(gene_sets, Mapping):
        if isinstance(gene_sets, GeneSets):
            sets = gene_sets
        else:
            for name, genes in gene_sets.items():
                if isinstance(genes, str):
                    raise InputError(f"gene set {name!r}: expected a list of genes, not a string")
            sets = GeneSets({name: list(genes) for name, genes in gene_sets.items()})
        return sets, None, {"in_memory": True, "sha256": _sha256_text(gmt_text(sets))}
    raise InputError(
        "gene_sets must be a GMT path, a bundled collection name or a mapping name -> genes, "
        f"not {type(gene_sets).__name__}")


def load_gene_sets(gene_sets) -> GeneSets:
    """Gene sets from a GMT path, a bundled collection name or a mapping."""
    return _gene_sets(gene_sets)[0]


def _sha256_text(text: str) -> str:
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


class SetIndex:
    """The distinct genes of every gene set as two parallel arrays (set number, gene code),
    so that how a ranked list meets the sets is a few array operations per list."""

    def __init__(self, sets: GeneSets):
        self.codes: dict[str, int] = {}
        sizes, genes = [], []
        for members in sets.values():
            distinct = {self.codes.setdefault(gene, len(self.codes)) for gene in members}
            genes.extend(distinct)
            sizes.append(len(distinct))
        self.set_count = len(sizes)
        self.set_numbers = np.repeat(np.arange(len(sizes)), sizes)
        self.gene_codes = np.array(genes, dtype=np.int64)

    def hits(self, genes) -> tuple[np.ndarray, int]:
        """For each set, how many of ``genes`` it holds; and how many of ``genes`` are in any set."""
        present = np.zeros(len(self.codes), dtype=bool)
        present[[self.codes[gene] for gene in genes if gene in self.codes]] = True
        counts = np.bincount(self.set_numbers[present[self.gene_codes]], minlength=self.set_count)
        return counts, int(present.sum())


_SET_INDEXES: dict[str, SetIndex] = {}  # SHA-256 of the sets' source -> index, most recently used last


def set_index(sets: GeneSets, digest: str) -> SetIndex:
    """The index of ``sets``, whose content ``digest`` identifies; the last few are kept."""
    index = _SET_INDEXES.pop(digest, None) or SetIndex(sets)
    _SET_INDEXES[digest] = index
    while len(_SET_INDEXES) > _GMT_CACHE_SIZE:
        del _SET_INDEXES[next(iter(_SET_INDEXES))]
    return index


def _overlap(scores: dict[str, float], sets: GeneSets, index: SetIndex, mode: str, min_size, max_size) -> dict:
    """How the ranked list meets the gene sets, with the engine's size bounds applied."""
    blitz = mode.lower() == "blitz"
    low = min_size if min_size is not None else (5 if blitz else 1)
    high = max_size if max_size is not None else (4000 if blitz else max(len(scores) - 1, 0))
    counts, matched = index.hits(scores)  # distinct genes of each set in the ranked list
    if sets and not matched:
        set_genes = list(dict.fromkeys(gene for genes in sets.values() for gene in genes))
        raise InputError(
            f"no gene of any gene set is in the ranked list: are both in the same kind of identifier? "
            f"ranked list e.g. {', '.join(list(scores)[:_EXAMPLES])}; gene sets e.g. "
            f"{', '.join(set_genes[:_EXAMPLES])}")
    return {
        "ranked_genes": len(scores),
        "ranked_genes_in_sets": matched,
        "gene_sets": len(sets),
        "gene_sets_below_min_size": int((counts < low).sum()),
        "gene_sets_above_max_size": int((counts > high).sum()),
        "min_size": low,
        "max_size": high,
    }


def _call_engine(entry, arguments: tuple, options: dict, progress):
    """Call an analysis entry of the extension, passing ``progress`` when given."""
    if progress is None:
        return entry(*arguments, **options)
    return entry(*arguments, **options, progress=progress)


def _run_on_sets(scores: dict[str, float], sets: GeneSets, options: dict, progress):
    """Run on gene sets held in memory; a decor cache knows them by their canonical GMT text."""
    pathways = [(name, sets.descriptions.get(name), genes) for name, genes in sets.items()]
    return _call_engine(quenfamod.run_gsea_sets_py, (scores, pathways), options, progress)


def _results_frame(records: list[dict], sets: GeneSets) -> pd.DataFrame:
    frame = pd.DataFrame.from_records(records, columns=COLUMNS)
    for column in ("es", "nes", "pval", "padj", "log2err"):
        frame[column] = frame[column].astype("float64")  # None (absent) becomes NaN
    frame["size"] = frame["size"].astype("int64")
    if any(description is not None for description in sets.descriptions.values()):
        frame["description"] = [sets.descriptions.get(name) or "" for name in frame["pathway"]]
    frame = frame.sort_values(["pval", "pathway"], na_position="last", kind="stable")
    return frame.reset_index(drop=True)


def check_engine_options(engine_options: dict, caller: str) -> None:
    unknown = sorted(set(engine_options) - set(ENGINE_OPTIONS))
    if unknown:
        raise TypeError(f"{caller}() got unexpected keyword arguments: {', '.join(unknown)}")


def draw_seed(mode) -> int:
    """The seed of a call made with seed=None: the blitz engine's unset seed is 0; the other
    engines draw one, which is drawn here instead so that it can be recorded."""
    return 0 if str(mode).lower() == "blitz" else secrets.randbelow(2**32)


def analyse(scores: dict[str, float], sets: GeneSets, index: SetIndex, gmt_path: str | None, parameters: dict,
            progress=None) -> tuple[pd.DataFrame, dict]:
    """One engine run of ``scores`` against ``sets`` (indexed by ``index``) with every option in
    ``parameters``.

    ``gmt_path`` is a file holding ``sets`` for the engine to read, or None to write one.
    Returns the result frame (without attrs) and the overlap record.
    """
    overlap = _overlap(scores, sets, index, str(parameters["mode"]), parameters["min_size"],
                       parameters["max_size"])
    options = {ENGINE_OPTIONS[name][0]: value for name, value in parameters.items() if value is not None}
    if gmt_path is not None:
        records = _call_engine(quenfamod.run_gsea_py, (scores, gmt_path), options, progress)
    else:
        records = _run_on_sets(scores, sets, options, progress)
    frame = _results_frame(records, sets)
    overlap["gene_sets_tested"] = len(frame)
    return frame, overlap


def inputs_record(sets_record: dict, parameters: dict, **records) -> dict:
    """attrs["inputs"]: the gene sets, the other inputs given, and the files named by options."""
    inputs = {"gene_sets": sets_record, **{role: record for role, record in records.items() if record}}
    for name in ("decor_expression",):
        path = parameters.get(name)
        if path and os.path.isfile(path):
            inputs[name] = {"path": path, "sha256": sha256_file(path)}
    return inputs


def gsea(ranks, gene_sets, *, mode: str = "kelda", method: str = "classic", seed: int | None = None,
         nproc: int | None = None, min_size: int | None = None, max_size: int | None = None,
         nperm_simple: int | None = None, nperm: int | None = None, eps: float | None = None,
         score_type: str | None = None, gsea_param: float | None = None, sample_size: int | None = None,
         gpu: bool | None = None, progress: Callable[[str, int, int], None] | None = None,
         **engine_options) -> pd.DataFrame:
    """Gene set enrichment of a ranked list, one row per gene set kept.

    ``ranks``: a Series or dict gene -> score (ties keep their order), or a file
    for :func:`read_ranks`. ``gene_sets``: a GMT path (passed to the engine as
    is), a bundled collection name (see :func:`collections`), or a mapping
    name -> genes (a :class:`GeneSets` keeps descriptions). Options left at None
    take the engine's defaults; the ``decor_*`` and ``blitz_*`` options are
    accepted as keywords under their engine names (see ``ENGINE_OPTIONS``).
    ``progress``, when given, is called as progress(stage, done, total).

    Columns: pathway, size, es, nes, pval, padj, log2err, leading_edge (list of
    genes), and description when the gene sets have one; rows sorted by pval,
    then pathway, NaN P-values last. ``attrs`` holds ``parameters`` (every option,
    None meaning the engine default), ``seed`` (the seed used: with seed=None one
    is drawn and passed, so rerunning with it reproduces the frame; mode "blitz"
    uses the engine's fixed seed 0), ``version``, ``inputs`` (SHA-256 of each
    input file; for sets in memory, of their canonical GMT text) and ``overlap``
    (how many ranked genes are in any set, how many sets the size bounds drop).
    """
    check_engine_options(engine_options, "gsea")
    given = dict(mode=mode, method=method, seed=seed, nproc=nproc, min_size=min_size, max_size=max_size,
                 nperm_simple=nperm_simple, nperm=nperm, eps=eps, score_type=score_type, gsea_param=gsea_param,
                 sample_size=sample_size, gpu=gpu, **engine_options)
    parameters = {name: given.get(name) for name in ENGINE_OPTIONS}
    if progress:
        progress("reading", 0, 1)
    scores, ranks_record = _ranks_dict(ranks)
    sets, gmt_path, sets_record = _gene_sets(gene_sets)
    if not sets:
        raise InputError("there are no gene sets to test")
    if parameters["seed"] is None:
        parameters["seed"] = draw_seed(mode)
    if progress:
        progress("reading", 1, 1)
    frame, overlap = analyse(scores, sets, set_index(sets, sets_record["sha256"]), gmt_path, parameters, progress)
    inputs = inputs_record(sets_record, parameters, ranks=ranks_record)
    frame.attrs = {
        "parameters": parameters,
        "seed": parameters["seed"],
        "version": package_version(),
        "inputs": inputs,
        "overlap": overlap,
    }
    return frame
