"""Reading ranked lists and gene set files, and writing gene sets as GMT text.

Every reader error is an :class:`InputError` whose message names the file and,
where one is at fault, the line.
"""

from __future__ import annotations

import csv
import gzip
import io
import math
import os
from collections.abc import Iterable, Mapping

import pandas as pd

DUPLICATE_RULES = ("error", "first", "mean", "max_abs")
_GZIP_MAGIC = b"\x1f\x8b"
# ASCII white space other than the tab separator and the line end.
_ASCII_BLANKS = " \r\x0b\x0c\x1c\x1d\x1e\x1f"


class InputError(ValueError):
    """Bad user input: a file or value that cannot be used as it is."""


class GeneSets(dict):
    """Gene sets in file order: name -> list of genes.

    ``descriptions`` maps every name to its description, or None when the file
    gives none.
    """

    def __init__(self, sets=(), descriptions=None):
        super().__init__(sets)
        given = descriptions or {}
        self.descriptions = {name: given.get(name) for name in self}


def _source_name(source) -> str:
    if isinstance(source, (str, os.PathLike)):
        return os.fspath(source)
    return getattr(source, "name", None) or "<buffer>"


def _read_bytes(source) -> bytes:
    """The whole content of a path or buffer, gunzipped when it is gzip data."""
    if isinstance(source, (str, os.PathLike)):
        with open(source, "rb") as handle:
            data = handle.read()
    else:
        data = source.read()
        if isinstance(data, str):
            return data.encode("utf-8")
    if data[:2] == _GZIP_MAGIC:
        try:
            data = gzip.decompress(data)
        except (OSError, EOFError) as error:
            raise InputError(f"{_source_name(source)}: damaged gzip data ({error})") from None
    return data


def _text(source) -> str:
    """The UTF-8 text of a path or buffer, without a byte order mark."""
    data = _read_bytes(source)
    name = _source_name(source)
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        line = data[: error.start].count(b"\n") + 1
        raise InputError(f"{name}, line {line}: not valid UTF-8 text") from None
    return text[1:] if text.startswith("\ufeff") else text


def _split_lines(text: str) -> list[str]:
    """Lines without their line ends ("\\n" or "\\r\\n")."""
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [line[:-1] if line.endswith("\r") else line for line in lines]


def _parse_score(text: str):
    try:
        return float(text)
    except ValueError:
        return None


def read_ranks(path_or_buffer, duplicates: str = "error") -> pd.Series:
    """Read a ranked gene list: a ``pandas.Series`` gene -> score, in file order.

    Accepts ``.rnk`` files (two tab-separated columns, no header, ``#`` comment
    lines) and two-column TSV/TXT/CSV files with or without a header row, plain
    or gzipped (detected from the content). The separator is a tab when the first
    data line has one, else a comma. Blank lines and lines starting with ``#``
    are skipped.

    A gene listed more than once is an error unless ``duplicates`` says how to
    merge its scores: ``"first"`` keeps the first, ``"mean"`` averages them,
    ``"max_abs"`` keeps the one of largest magnitude (the first on ties); the
    merged gene keeps the place of its first line.
    """
    if duplicates not in DUPLICATE_RULES:
        raise InputError(
            f"duplicates must be one of {', '.join(map(repr, DUPLICATE_RULES))}, not {duplicates!r}")
    name = _source_name(path_or_buffer)
    numbered = [(i, line) for i, line in enumerate(_split_lines(_text(path_or_buffer)), start=1)
                if line.strip() and not line.lstrip().startswith("#")]
    if not numbered:
        raise InputError(f"{name}: no ranked genes (the file is empty)")
    delimiter = "\t" if "\t" in numbered[0][1] else ","
    genes: list[str] = []
    scores: list[float] = []
    lines_of: dict[str, list[int]] = {}
    for position, (lineno, fields) in enumerate(
            zip((n for n, _ in numbered), csv.reader((line for _, line in numbered), delimiter=delimiter))):
        fields = [field.strip() for field in fields]
        if len(fields) != 2:
            raise InputError(f"{name}, line {lineno}: expected 2 columns (gene, score), found {len(fields)}")
        gene, text = fields
        score = _parse_score(text)
        if score is None and position == 0:
            continue  # a header row
        if not gene:
            raise InputError(f"{name}, line {lineno}: the gene identifier is empty")
        if not text:
            raise InputError(f"{name}, line {lineno}: the score of {gene} is missing")
        if score is None:
            raise InputError(f"{name}, line {lineno}: the score of {gene} is not a number: {text!r}")
        if not math.isfinite(score):
            raise InputError(f"{name}, line {lineno}: the score of {gene} is {text}, not a finite number")
        lines_of.setdefault(gene, []).append(lineno)
        genes.append(gene)
        scores.append(score)
    if not genes:
        raise InputError(f"{name}: no ranked genes (only a header line)")
    if len(lines_of) != len(genes):
        genes, scores = _merge_duplicates(name, genes, scores, lines_of, duplicates)
    return pd.Series(scores, index=pd.Index(genes, name="gene", dtype=object), name="score", dtype="float64")


def _merge_duplicates(name, genes, scores, lines_of, rule):
    repeated = [gene for gene, lines in lines_of.items() if len(lines) > 1]
    if rule == "error":
        shown = "; ".join(f"{gene} (lines {', '.join(map(str, lines_of[gene][:3]))})" for gene in repeated[:3])
        more = f" and {len(repeated) - 3} more" if len(repeated) > 3 else ""
        raise InputError(
            f"{name}: {len(repeated)} genes are listed more than once: {shown}{more}; "
            "choose how to merge them with duplicates='first', 'mean' or 'max_abs'")
    merged: dict[str, list[float]] = {}
    for gene, score in zip(genes, scores):
        merged.setdefault(gene, []).append(score)
    if rule == "first":
        values = [group[0] for group in merged.values()]
    elif rule == "mean":
        values = [math.fsum(group) / len(group) for group in merged.values()]
    else:
        values = [max(group, key=abs) for group in merged.values()]
    return list(merged), values


def _check_gmt_field(kind: str, text: str) -> None:
    if "\t" in text or "\n" in text or "\r" in text:
        raise InputError(f"a gene set {kind} contains a tab or a line break: {text!r}")


def read_gmt(path_or_buffer) -> GeneSets:
    """Read a GMT file (plain or gzipped) into :class:`GeneSets`.

    One set per line: name, description (may be empty), then genes, separated
    by tabs. Lines that are blank are skipped; gene fields are trimmed and empty
    ones dropped; order and repeats are kept as in the file. A line with fewer
    than three fields, or a name given twice, is an error naming the line.
    """
    name = _source_name(path_or_buffer)
    sets: dict[str, list[str]] = {}
    descriptions: dict[str, str | None] = {}
    first_line: dict[str, int] = {}
    for lineno, line in enumerate(_split_lines(_text(path_or_buffer)), start=1):
        if not line.strip():
            continue
        fields = line.split("\t")
        if len(fields) < 3:
            raise InputError(
                f"{name}, line {lineno}: malformed GMT line: expected at least 3 tab-separated columns "
                "(name, description, genes)")
        set_name = fields[0]
        if set_name in sets:
            raise InputError(
                f"{name}, line {lineno}: gene set {set_name!r} is already defined on line {first_line[set_name]}")
        first_line[set_name] = lineno
        gene_text = line[len(fields[0]) + len(fields[1]) + 2:]
        # Gene fields need trimming only where there is white space besides the tabs.
        if gene_text.isascii() and not any(blank in gene_text for blank in _ASCII_BLANKS):
            genes = fields[2:]
            sets[set_name] = [gene for gene in genes if gene] if "" in genes else genes
        else:
            sets[set_name] = [gene for gene in (field.strip() for field in fields[2:]) if gene]
        descriptions[set_name] = fields[1] or None
    return GeneSets(sets, descriptions)


def gmt_text(gene_sets: Mapping[str, Iterable[str]], descriptions: Mapping[str, str | None] | None = None) -> str:
    """The canonical GMT text of ``gene_sets``.

    One line per set in mapping order: name, description (empty when there is
    none), then the genes in the order given (repeats kept), joined by tabs and
    ended by "\\n". Names, descriptions and genes may not contain tabs or line
    breaks; genes may not be empty or carry surrounding white space, and every
    set needs at least one gene, so that the text reads back to the same sets.
    Gene sets held in memory are identified by the SHA-256 of this text (UTF-8).
    """
    if descriptions is None:
        descriptions = getattr(gene_sets, "descriptions", None) or {}
    out = io.StringIO()
    for set_name, genes in gene_sets.items():
        if not isinstance(set_name, str) or not set_name:
            raise InputError(f"gene set names must be non-empty strings, not {set_name!r}")
        _check_gmt_field("name", set_name)
        if isinstance(genes, str):
            raise InputError(f"gene set {set_name!r}: expected a list of genes, not a string")
        genes = list(genes)
        if not genes:
            raise InputError(f"gene set {set_name!r} has no genes")
        for gene in genes:
            if not isinstance(gene, str) or not gene or gene != gene.strip():
                raise InputError(f"gene set {set_name!r}: invalid gene identifier {gene!r}")
            _check_gmt_field("gene", gene)
        description = descriptions.get(set_name) or ""
        _check_gmt_field("description", description)
        out.write("\t".join([set_name, description, *genes]))
        out.write("\n")
    return out.getvalue()


def write_gmt(gene_sets: Mapping[str, Iterable[str]], path, descriptions=None) -> None:
    """Write ``gene_sets`` to ``path`` as canonical GMT text (see :func:`gmt_text`).

    Descriptions come from ``descriptions`` or, when not given, from the
    ``descriptions`` attribute of :class:`GeneSets`.
    """
    text = gmt_text(gene_sets, descriptions)
    with open(path, "w", encoding="utf-8", newline="") as handle:
        handle.write(text)
