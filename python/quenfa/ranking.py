"""Ranked gene lists from an expression matrix and two groups of samples."""

from __future__ import annotations

import numpy as np
import pandas as pd

from .readers import InputError

RANKING_METHODS = ("welch_t", "signal_to_noise", "log2_ratio")


def rank_genes(expression: pd.DataFrame, groups, method: str = "welch_t", *, reference=None) -> pd.Series:
    """Score every gene (row of ``expression``) for a two-group contrast.

    ``expression``: genes in rows, samples in columns. ``groups``: one label per
    column (a sequence, or a Series indexed by column name), with exactly two
    distinct labels. Scores are positive when a gene is higher in the test group,
    the group that is not ``reference`` (default: the label of the first column).

    Methods, with means m, sample standard deviations s (n - 1 in the
    denominator) and sizes n of the test (t) and reference (r) groups:

    - ``welch_t``: (m_t - m_r) / sqrt(s_t^2 / n_t + s_r^2 / n_r), Welch's t;
    - ``signal_to_noise``: (m_t - m_r) / (s_t + s_r);
    - ``log2_ratio``: log2(m_t / m_r), for values on a linear scale (positive
      means). On log-scale values the difference of means is the log ratio.

    Returns a Series gene -> score sorted by decreasing score (ties keep the
    matrix order). A gene whose score is undefined (no variance in either
    group, or a non-positive mean for ``log2_ratio``) is an error naming it.
    """
    if method not in RANKING_METHODS:
        raise InputError(f"method must be one of {', '.join(RANKING_METHODS)}, not {method!r}")
    if not isinstance(expression, pd.DataFrame):
        raise InputError("expression must be a pandas DataFrame with genes in rows and samples in columns")
    if isinstance(groups, pd.Series):
        missing = [column for column in expression.columns if column not in groups.index]
        if missing:
            raise InputError(f"groups has no label for the samples {missing[:5]}")
        labels = groups.loc[list(expression.columns)].to_numpy()
    else:
        labels = np.asarray(list(groups), dtype=object)
    if len(labels) != expression.shape[1]:
        raise InputError(f"groups has {len(labels)} labels for {expression.shape[1]} samples")
    distinct = list(dict.fromkeys(labels.tolist()))
    if len(distinct) != 2:
        raise InputError(f"groups must have exactly two distinct labels, found {len(distinct)}: {distinct[:5]}")
    if reference is None:
        reference = distinct[0]
    elif reference not in distinct:
        raise InputError(f"reference {reference!r} is not one of the group labels {distinct}")
    test = distinct[1] if reference == distinct[0] else distinct[0]
    values = expression.to_numpy(dtype=np.float64)
    if not np.isfinite(values).all():
        raise InputError("expression contains missing or infinite values")
    a = values[:, labels == test]
    b = values[:, labels == reference]
    if min(a.shape[1], b.shape[1]) < 2:
        raise InputError("each group needs at least two samples")
    mean_a, mean_b = a.mean(axis=1), b.mean(axis=1)
    var_a, var_b = a.var(axis=1, ddof=1), b.var(axis=1, ddof=1)
    with np.errstate(divide="ignore", invalid="ignore"):
        if method == "welch_t":
            scores = (mean_a - mean_b) / np.sqrt(var_a / a.shape[1] + var_b / b.shape[1])
        elif method == "signal_to_noise":
            scores = (mean_a - mean_b) / (np.sqrt(var_a) + np.sqrt(var_b))
        else:
            scores = np.log2(mean_a / mean_b)
    bad = ~np.isfinite(scores)
    if bad.any():
        genes = list(expression.index[bad][:5])
        raise InputError(f"{method} is undefined for {int(bad.sum())} genes, e.g. {genes}: remove them first")
    ranked = pd.Series(scores, index=expression.index.copy(), name="score")
    return ranked.sort_values(ascending=False, kind="stable")
