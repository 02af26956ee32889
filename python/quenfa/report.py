"""The files of a run's output folder: table, plots, parameters and an HTML report."""

from __future__ import annotations

import html
import json
import math
import re

import pandas as pd

from .plots import plot_enrichment, plot_table

_UNSAFE = re.compile(r"[^A-Za-z0-9._-]+")


def tsv_cell(value) -> str:
    """Floats as repr (they read back exactly), missing values as NA, gene lists comma-joined."""
    if value is None or value is pd.NA:
        return "NA"
    if isinstance(value, list):
        return ",".join(value)
    if isinstance(value, float):
        return "NA" if math.isnan(value) else repr(value)
    return str(value)


def write_results_tsv(frame: pd.DataFrame, path) -> None:
    with open(path, "w", encoding="utf-8", newline="") as handle:
        handle.write("\t".join(frame.columns) + "\n")
        for row in frame.itertuples(index=False):
            handle.write("\t".join(tsv_cell(value) for value in row) + "\n")


def plot_file_names(pathways) -> dict[str, str]:
    """A distinct, safe file name for each pathway's plot (letters, digits, '.', '_', '-')."""
    names: dict[str, str] = {}
    used: set[str] = set()
    for pathway in pathways:
        stem = _UNSAFE.sub("_", pathway).strip("._")[:80] or "pathway"
        candidate, n = stem, 1
        while candidate.lower() in used:
            n += 1
            candidate = f"{stem}-{n}"
        used.add(candidate.lower())
        names[pathway] = candidate + ".png"
    return names


def _number(value) -> str:
    return "NA" if isinstance(value, float) and math.isnan(value) else f"{value:.4g}"


def _main_cell(main, parent) -> str:
    """'main', the parent of a dependent set, or nothing for a set that was not significant."""
    if main is pd.NA:
        return ""
    return "main" if main else f"&#8627; {html.escape(parent)}"


def _html_table(frame: pd.DataFrame, plots: dict[str, str]) -> str:
    columns = [c for c in ("pathway", "description", "size", "es", "nes", "pval", "padj", "log2err")
               if c in frame.columns]
    head = "".join(
        f'<th data-type="{"text" if c in ("pathway", "description") else "number"}" tabindex="0">'
        f"{html.escape(c)}</th>" for c in columns) + "<th>leading edge</th>"
    if "parent" in frame.columns:
        head += '<th data-type="text" tabindex="0">main pathway</th>'
    body = []
    for row in frame.itertuples(index=False):
        cells = []
        for c in columns:
            value = getattr(row, c)
            if c == "pathway" and value in plots:
                cells.append(f'<td><a href="#plot-{html.escape(plots[value])}">{html.escape(value)}</a></td>')
            elif c in ("pathway", "description"):
                cells.append(f"<td>{html.escape(str(value))}</td>")
            else:
                sort_value = "" if isinstance(value, float) and math.isnan(value) else repr(value)
                cells.append(f'<td data-value="{sort_value}">{_number(value) if c != "size" else value}</td>')
        genes = row.leading_edge
        shown = ", ".join(genes[:8]) + (f" &hellip; ({len(genes)})" if len(genes) > 8 else "")
        cells.append(f'<td title="{html.escape(", ".join(genes))}">{shown}</td>')
        if "parent" in frame.columns:
            cells.append(f"<td>{_main_cell(row.main, row.parent)}</td>")
        body.append("<tr>" + "".join(cells) + "</tr>")
    return (f'<table id="results"><thead><tr>{head}</tr></thead>\n<tbody>\n'
            + "\n".join(body) + "\n</tbody></table>")


_SCRIPT = """
(function () {
  var table = document.getElementById('results');
  var body = table.tBodies[0];
  var rows = Array.prototype.slice.call(body.rows);
  var filter = document.getElementById('filter');
  var count = document.getElementById('count');
  function show() {
    var words = filter.value.toLowerCase().split(/\\s+/).filter(Boolean);
    var shown = 0;
    rows.forEach(function (row) {
      var text = row.textContent.toLowerCase();
      var hit = words.every(function (w) { return text.indexOf(w) >= 0; });
      row.style.display = hit ? '' : 'none';
      if (hit) shown += 1;
    });
    count.textContent = shown + ' of ' + rows.length + ' gene sets';
  }
  function key(row, index, numeric) {
    var cell = row.cells[index];
    if (!numeric) return cell.textContent.toLowerCase();
    var v = cell.getAttribute('data-value');
    return v === '' || v === null ? NaN : parseFloat(v);
  }
  Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th, index) {
    if (!th.hasAttribute('data-type')) return;
    function sort() {
      var numeric = th.getAttribute('data-type') === 'number';
      var ascending = th.getAttribute('aria-sort') !== 'ascending';
      Array.prototype.forEach.call(table.tHead.rows[0].cells, function (other) {
        other.removeAttribute('aria-sort');
      });
      th.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
      rows.sort(function (a, b) {
        var x = key(a, index, numeric), y = key(b, index, numeric);
        if (numeric) {
          if (isNaN(x) || isNaN(y)) return isNaN(x) - isNaN(y);
          return ascending ? x - y : y - x;
        }
        return ascending ? x.localeCompare(y) : y.localeCompare(x);
      });
      rows.forEach(function (row) { body.appendChild(row); });
    }
    th.addEventListener('click', sort);
    th.addEventListener('keydown', function (e) { if (e.key === 'Enter') sort(); });
  });
  filter.addEventListener('input', show);
  show();
})();
"""

_STYLE = """
body { font-family: system-ui, sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; } h2 { font-size: 1.15em; margin-top: 1.6em; }
table { border-collapse: collapse; font-size: 0.85em; }
th, td { padding: 0.2em 0.6em; border-bottom: 1px solid #ddd; text-align: left; }
td[data-value] { text-align: right; font-variant-numeric: tabular-nums; }
th[data-type] { cursor: pointer; background: #f3f3f3; position: sticky; top: 0; }
th[aria-sort=ascending]::after { content: " \\25B2"; } th[aria-sort=descending]::after { content: " \\25BC"; }
dl { display: grid; grid-template-columns: max-content auto; gap: 0.1em 1em; font-size: 0.9em; }
dt { font-weight: 600; } dd { margin: 0; }
#filter { width: 22em; margin: 0.5em 0; padding: 0.2em; }
.plots { display: flex; flex-wrap: wrap; gap: 1em; }
.plots figure { margin: 0; width: 450px; } .plots img { width: 450px; }
figcaption { font-size: 0.85em; }
.table-plot { max-width: 900px; width: 100%; }
"""


def _definition_list(items: dict) -> str:
    return "<dl>" + "".join(f"<dt>{html.escape(str(k))}</dt><dd>{html.escape(str(v))}</dd>"
                            for k, v in items.items()) + "</dl>"


def _overlap_text(overlap: dict) -> str:
    return (f"{overlap['ranked_genes_in_sets']} of {overlap['ranked_genes']} ranked genes are in at least one "
            f"gene set; {overlap['gene_sets_tested']} of {overlap['gene_sets']} gene sets tested "
            f"({overlap['gene_sets_below_min_size']} below the minimum size {overlap['min_size']}, "
            f"{overlap['gene_sets_above_max_size']} above the maximum size {overlap['max_size']})")


def _run_and_inputs(attrs: dict) -> str:
    """The Run (version, options set) and Inputs (where from, SHA-256) sections of a report."""
    parameters = {k: v for k, v in attrs["parameters"].items() if v is not None}
    inputs = {}
    for role, record in attrs["inputs"].items():
        where = record.get("path") or record.get("collection") or "in memory"
        inputs[role] = f"{where} (SHA-256 {record['sha256']})"
    return (f'<h2>Run</h2>\n{_definition_list({"quenfa version": attrs["version"], **parameters})}\n'
            f"<h2>Inputs</h2>\n{_definition_list(inputs)}")


def overlap_summary(frame: pd.DataFrame) -> str:
    return _overlap_text(frame.attrs["overlap"])


def write_index_html(frame: pd.DataFrame, path, plots: dict[str, str], has_table_plot: bool) -> None:
    attrs = frame.attrs
    described = dict(zip(frame["pathway"], frame["description"])) if "description" in frame else {}
    figures = "".join(
        f'<figure id="plot-{html.escape(file)}"><img src="enrichment/{html.escape(file)}" '
        f'alt="enrichment plot of {html.escape(name)}"><figcaption>{html.escape(name)} '
        f'{html.escape(described.get(name, ""))}</figcaption></figure>' for name, file in plots.items())
    page = f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>quenfa report</title><style>{_STYLE}</style></head>
<body>
<h1>Gene set enrichment report</h1>
<p>{html.escape(_overlap_text(attrs["overlap"]))}.</p>
{_run_and_inputs(attrs)}
{'<h2>Top gene sets</h2><img class="table-plot" src="table.png" alt="table plot of the top gene sets">'
 if has_table_plot else ''}
<h2>All gene sets</h2>
<p><input id="filter" type="search" placeholder="Filter by name, description or gene" aria-label="filter">
<span id="count"></span> &middot; click a column header to sort; results.tsv has the full table.</p>
{_html_table(frame, plots)}
<h2>Enrichment plots</h2>
<div class="plots">{figures}</div>
<script>{_SCRIPT}</script>
</body></html>
"""
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(page)


def write_report(frame: pd.DataFrame, ranks, gene_sets, folder, top: int = 10, stage=None) -> None:
    """results.tsv, params.json, table.png and enrichment/<pathway>.png of the first
    ``top`` rows, and index.html, into ``folder`` (which exists and is empty)."""
    write_results_tsv(frame, folder / "results.tsv")
    with open(folder / "params.json", "w", encoding="utf-8") as handle:
        json.dump(frame.attrs, handle, indent=2, sort_keys=True)
        handle.write("\n")
    best = frame.head(top)
    plots = plot_file_names(best["pathway"])
    if not best.empty:
        plot_table(frame, ranks, gene_sets, top=top, path=folder / "table.png")
        (folder / "enrichment").mkdir()
    for done, (name, file) in enumerate(plots.items()):
        if stage:
            stage("plotting", done, len(plots))
        plot_enrichment(ranks, gene_sets, pathway=name, path=folder / "enrichment" / file, dpi=150,
                        title=name)
    write_index_html(frame, folder / "index.html", plots, has_table_plot=not best.empty)


# ----------------------------------------------------------------------------------------------
# Many signatures: one long table, a file per signature, and a heat map of NES

HEATMAP_PATHWAYS = 40
HEATMAP_SIGNATURES = 500
SIGNIFICANT_PADJ = 0.05
_NES_SCALE = 3.0  # |NES| at which the colour saturates

_MANY_STYLE = """
.heatmap { border-collapse: collapse; font-size: 0.75em; }
.heatmap td { width: 1.6em; height: 1.4em; padding: 0; border: 1px solid #fff; text-align: center; }
.heatmap th { font-weight: normal; padding: 0 0.4em; white-space: nowrap; border-bottom: none; }
.heatmap thead th { writing-mode: vertical-rl; transform: rotate(180deg); text-align: left; max-height: 18em;
  overflow: hidden; }
.legend span { display: inline-block; width: 2em; height: 1em; vertical-align: middle; }
"""


def _nes_colour(nes: float) -> str:
    """Blue (negative) to white to red (positive), saturated at |NES| = _NES_SCALE; grey for NA."""
    if math.isnan(nes):
        return "#e0e0e0"
    t = min(abs(nes) / _NES_SCALE, 1.0)
    fade = round(255 * (1 - t))
    return f"rgb(255,{fade},{fade})" if nes > 0 else f"rgb({fade},{fade},255)"


def _heatmap_pathways(frame: pd.DataFrame) -> list[str]:
    """The pathways with the smallest adjusted P-value in any signature, best first."""
    best = frame.dropna(subset=["padj"]).groupby("pathway")["padj"].min()
    return best.sort_values(kind="stable").index[:HEATMAP_PATHWAYS].tolist() if len(best) else []


def _heatmap(frame: pd.DataFrame, signatures: list[str], files: dict[str, str]) -> str:
    pathways = _heatmap_pathways(frame)
    if not pathways:
        return "<p>No gene set has an adjusted P-value.</p>"
    cells = frame.set_index(["signature", "pathway"])[["nes", "padj"]]
    lookup = {key: (nes, padj) for key, nes, padj in zip(cells.index, cells["nes"], cells["padj"])}
    described = dict(zip(frame["pathway"], frame["description"])) if "description" in frame else {}
    head = "<th></th>" + "".join(f'<th title="{html.escape(described.get(p) or p)}">{html.escape(p)}</th>'
                                 for p in pathways)
    rows = []
    for name in signatures[:HEATMAP_SIGNATURES]:
        row = [f'<th><a href="signatures/{html.escape(files[name])}">{html.escape(name)}</a></th>']
        for pathway in pathways:
            nes, padj = lookup.get((name, pathway), (math.nan, math.nan))
            significant = not math.isnan(padj) and padj < SIGNIFICANT_PADJ
            row.append(f'<td style="background:{_nes_colour(nes)}" '
                       f'title="{html.escape(name)} / {html.escape(pathway)}: NES {_number(nes)}, padj {_number(padj)}"'
                       f'{" class=sig" if significant else ""}>{"&#9679;" if significant else ""}</td>')
        rows.append("<tr>" + "".join(row) + "</tr>")
    shown = min(len(signatures), HEATMAP_SIGNATURES)
    note = (f"<p>First {shown} of {len(signatures)} signatures; results.tsv has them all.</p>"
            if shown < len(signatures) else "")
    return (f'{note}<table class="heatmap"><thead><tr>{head}</tr></thead>\n<tbody>\n'
            + "\n".join(rows) + "\n</tbody></table>")


def write_many_report(frame: pd.DataFrame, folder) -> None:
    """results.tsv (all signatures), signatures/<name>.tsv, params.json and index.html into ``folder``."""
    attrs = frame.attrs
    write_results_tsv(frame, folder / "results.tsv")
    with open(folder / "params.json", "w", encoding="utf-8") as handle:
        json.dump(attrs, handle, indent=2, sort_keys=True)
        handle.write("\n")
    analysed = [name for name in attrs["signatures"] if name not in attrs["failed"]]
    files = {name: file[: -len(".png")] + ".tsv" for name, file in plot_file_names(analysed).items()}
    (folder / "signatures").mkdir()
    for name, rows in frame.groupby("signature", sort=False):
        write_results_tsv(rows.drop(columns="signature"), folder / "signatures" / files[name])
    failed = "".join(f"<li>{html.escape(name)}: {html.escape(reason)}</li>" for name, reason in attrs["failed"].items())
    links = "".join(f'<li><a href="signatures/{html.escape(files[name])}">{html.escape(name)}</a> '
                    f'({attrs["overlap"][name]["gene_sets_tested"]} gene sets tested, seed {attrs["seeds"][name]})</li>'
                    for name in analysed)
    legend = "".join(f'<span style="background:{_nes_colour(v)}"></span> {v:g} ' for v in (-3, -1.5, 0, 1.5, 3))
    where = "the local cores" if attrs["scheduler"] == "local" else f"the Dask cluster at {attrs['scheduler']}"
    page = f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>quenfa report: {len(attrs["signatures"])} signatures</title><style>{_STYLE}{_MANY_STYLE}</style></head>
<body>
<h1>Gene set enrichment of {len(attrs["signatures"])} signatures</h1>
<p>{len(analysed)} analysed, {len(attrs["failed"])} failed; run on {html.escape(where)}.</p>
{_run_and_inputs(attrs)}
{f'<h2>Failed signatures</h2><ul id="failed">{failed}</ul>' if failed else ''}
<h2>Normalised enrichment scores</h2>
<p>The {HEATMAP_PATHWAYS} gene sets with the smallest adjusted P-value in any signature; &#9679; marks
padj &lt; {SIGNIFICANT_PADJ}. NES colour: <span class="legend">{legend}</span></p>
{_heatmap(frame, analysed, files)}
<h2>Signatures</h2>
<ul id="signatures">{links}</ul>
</body></html>
"""
    with open(folder / "index.html", "w", encoding="utf-8") as handle:
        handle.write(page)
