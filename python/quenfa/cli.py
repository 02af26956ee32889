"""The command line: ``quenfa run``, ``quenfa demo``, ``quenfa collections``.

Bad input ends the command with one line on standard error and exit status 2;
Ctrl-C with exit status 130. The output folder is built beside its final place
and renamed into it, so it appears whole or not at all.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import pathlib
import shutil
import sys
import tempfile

from .analysis import ENGINE_OPTIONS, gsea, load_gene_sets, sha256_file
from .main_sets import with_main_pathways
from .many import ERROR_RULES, gsea_many
from .bundled import DEMO_GENE_SETS, DEMO_RANKS, collections
from .readers import DUPLICATE_RULES, InputError, read_ranks
from .report import overlap_summary, write_many_report, write_report

EXIT_BAD_INPUT = 2
EXIT_SOME_FAILED = 3  # run-many: the report holds the signatures that did not fail
EXIT_INTERRUPTED = 130
_CHOICES = {
    "mode": ("kelda", "multilevel", "simple", "blitz"),
    "method": ("classic", "decor"),
    "score_type": ("std", "pos", "neg"),
}
DEMO_SEED = 42


class UsageError(Exception):
    """A command-line mistake, reported in one line."""


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        raise UsageError(message)


def _add_engine_options(parser: argparse.ArgumentParser) -> None:
    group = parser.add_argument_group("analysis options (unset: the engine's defaults)")
    for name, (_, kind, help_text) in ENGINE_OPTIONS.items():
        flag = "--" + name.replace("_", "-")
        if kind is bool:
            group.add_argument(flag, dest=name, action=argparse.BooleanOptionalAction, default=None, help=help_text)
        elif name in _CHOICES:
            group.add_argument(flag, dest=name, type=str.lower, choices=_CHOICES[name], default=None,
                               help=help_text)
        else:
            group.add_argument(flag, dest=name, type=kind, default=None, metavar=name.upper(), help=help_text)


def _add_output_options(parser: argparse.ArgumentParser, required: bool, plots: bool = True) -> None:
    parser.add_argument("-o", "--outdir", required=required, default=None if required else "quenfa-demo",
                        help="output folder" + ("" if required else " (default: quenfa-demo)"))
    if plots:
        parser.add_argument("--top", type=int, default=10, metavar="N", help="gene sets plotted (default 10)")
    parser.add_argument("--force", action="store_true", help="replace an existing non-empty output folder")
    parser.add_argument("-q", "--quiet", action="store_true", help="print nothing but errors")


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(prog="quenfa", description="Gene set enrichment analysis with an HTML report.")
    commands = parser.add_subparsers(dest="command", required=True, parser_class=_Parser)
    run = commands.add_parser("run", help="analyse a ranked list against gene sets")
    run.add_argument("ranks", help="ranked list: .rnk, .tsv, .txt or .csv (gene, score), optionally gzipped")
    run.add_argument("gmt", help="gene sets: a GMT file or a bundled collection (" + ", ".join(collections()) + ")")
    run.add_argument("--duplicates", choices=DUPLICATE_RULES, default="error",
                     help="what to do with genes listed twice in RANKS (default: error)")
    run.add_argument("--main-pathways", type=float, nargs="?", const=0.01, default=None, metavar="PADJ",
                     help="mark each set with padj below PADJ (default 0.01) as main or as depending on a "
                          "stronger set it overlaps")
    _add_output_options(run, required=True)
    _add_engine_options(run)
    many = commands.add_parser(
        "run-many", help="analyse many ranked lists (columns of a table) against gene sets",
        epilog=f"Exit status {EXIT_SOME_FAILED}: some signatures failed (named on standard error); "
               "the report holds the others.")
    many.add_argument("table", help="genes x signatures: .tsv, .csv (optionally gzipped) or .parquet; "
                                    "the first column names the genes, empty cells are genes not measured")
    many.add_argument("gmt", help="gene sets: a GMT file or a bundled collection (" + ", ".join(collections()) + ")")
    many.add_argument("--scheduler", metavar="ADDRESS",
                      help="address of a running Dask scheduler (default: the local cores)")
    many.add_argument("--connect-timeout", type=float, default=30, metavar="SECONDS",
                      help="how long to wait for the scheduler (default 30)")
    many.add_argument("--errors", choices=ERROR_RULES, default="report",
                      help="a failing signature: report it and keep the others (default), or stop")
    _add_output_options(many, required=True, plots=False)
    _add_engine_options(many)
    demo = commands.add_parser("demo", help="the bundled demo: T-ALL versus B-ALL against 300 GO sets")
    _add_output_options(demo, required=False)
    commands.add_parser("collections", help="list the bundled gene set collections")
    return parser


class _Progress:
    """A progress bar on a terminal; silent otherwise or with --quiet."""

    def __init__(self, enabled: bool):
        self.bar = None
        if enabled:
            from tqdm import tqdm
            self.bar = tqdm(total=1, file=sys.stderr, leave=False, dynamic_ncols=True,
                            bar_format="{desc:<12} {bar} {n_fmt}/{total_fmt} {elapsed}")

    def __call__(self, stage: str, done: int, total: int) -> None:
        if self.bar is None:
            return
        if self.bar.desc != stage or self.bar.total != total:
            self.bar.set_description_str(stage, refresh=False)
            self.bar.reset(total=total)
        self.bar.n = done
        self.bar.refresh()

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def _check_outdir(outdir: pathlib.Path, force: bool) -> None:
    if outdir.exists() and not outdir.is_dir():
        raise UsageError(f"{outdir} exists and is not a folder")
    if outdir.is_dir() and any(outdir.iterdir()) and not force:
        raise UsageError(f"{outdir} exists and is not empty; pass --force to replace it")


def _publish(staging: pathlib.Path, outdir: pathlib.Path) -> None:
    """Move the finished folder into place, replacing an old one only once the new one is complete."""
    if outdir.is_dir() and any(outdir.iterdir()):
        retired = pathlib.Path(tempfile.mkdtemp(prefix=f".{outdir.name}.old-", dir=outdir.parent))
        os.rename(outdir, retired / "old")
        os.rename(staging, outdir)
        shutil.rmtree(retired, ignore_errors=True)
    else:
        os.rename(staging, outdir)  # also replaces an empty folder


@contextlib.contextmanager
def _output_folder(args):
    """The folder to write into, renamed to OUTDIR once the body has filled it; with the
    run's temporary files inside it, and the progress bar. Removed when the body fails."""
    outdir = pathlib.Path(args.outdir).resolve()
    _check_outdir(outdir, args.force)
    progress = _Progress(enabled=not args.quiet and sys.stderr.isatty())
    outdir.parent.mkdir(parents=True, exist_ok=True)
    staging = pathlib.Path(tempfile.mkdtemp(prefix=f".{outdir.name}.tmp-", dir=outdir.parent))
    umask = os.umask(0)
    os.umask(umask)
    os.chmod(staging, 0o777 & ~umask)  # mkdtemp makes it private; the report is an ordinary folder
    previous_tempdir = tempfile.tempdir
    tempfile.tempdir = str(staging / ".work")  # temporary files of the run go with the folder
    try:
        os.mkdir(tempfile.tempdir)
        yield staging, progress
        progress("writing", 1, 1)
        os.rmdir(tempfile.tempdir)
        tempfile.tempdir = previous_tempdir
        _publish(staging, outdir)
    except BaseException:
        tempfile.tempdir = previous_tempdir
        shutil.rmtree(staging, ignore_errors=True)
        raise
    finally:
        progress.close()


def _run(ranks_source, gmt, options: dict, args, duplicates: str = "error") -> None:
    if args.top < 0:
        raise UsageError("--top must be 0 or more")
    with _output_folder(args) as (staging, progress):
        progress("reading", 0, 1)
        ranks = read_ranks(ranks_source, duplicates=duplicates)
        frame = gsea(ranks, gmt, progress=progress, **options)
        frame.attrs["inputs"]["ranks"] = {"path": os.fspath(ranks_source), "sha256": sha256_file(ranks_source)}
        if getattr(args, "main_pathways", None) is not None:
            frame = with_main_pathways(frame, ranks, gmt, args.main_pathways, progress)
        write_report(frame, ranks, load_gene_sets(gmt), staging, top=args.top, stage=progress)
    if not args.quiet:
        print(f"quenfa: {overlap_summary(frame)}")
        if "main_pathways" in frame.attrs:
            marked = frame.attrs["main_pathways"]
            print(f"quenfa: {marked['main']} main and {marked['dependent']} dependent gene sets "
                  f"at padj < {marked['padj']}")
        print(f"quenfa: seed {frame.attrs['seed']}; report {pathlib.Path(args.outdir).resolve() / 'index.html'}")


def _run_many(args, options: dict) -> int:
    client = None
    if args.scheduler:
        try:
            from distributed import Client
        except ImportError:
            raise UsageError("--scheduler needs dask.distributed: pip install 'quenfa[dask]'") from None
        try:
            client = Client(args.scheduler, timeout=args.connect_timeout)
        except OSError as error:
            raise UsageError(f"cannot reach the Dask scheduler at {args.scheduler}: {error}") from None
    try:
        with _output_folder(args) as (staging, progress):
            progress("reading", 0, 1)
            frame = gsea_many(args.table, args.gmt, client=client, errors=args.errors, progress=progress,
                              **options)
            write_many_report(frame, staging)
    finally:
        if client is not None:
            client.close()
    failed = frame.attrs["failed"]
    for name, reason in failed.items():
        print(f"quenfa: signature {name} failed: {reason}", file=sys.stderr)
    if not args.quiet:
        done = len(frame.attrs["signatures"]) - len(failed)
        print(f"quenfa: {done} of {len(frame.attrs['signatures'])} signatures analysed; seed {frame.attrs['seed']}; "
              f"report {pathlib.Path(args.outdir).resolve() / 'index.html'}")
    return EXIT_SOME_FAILED if failed else 0


def main(argv=None) -> int:
    try:
        args = build_parser().parse_args(argv)
        if args.command == "collections":
            for name, about in collections().items():
                print(f"{name}\t{about}")
            return 0
        if args.command == "demo":
            _run(DEMO_RANKS, str(DEMO_GENE_SETS), {"seed": DEMO_SEED}, args)
            return 0
        options = {name: getattr(args, name) for name in ENGINE_OPTIONS if getattr(args, name) is not None}
        if args.command == "run-many":
            return _run_many(args, options)
        _run(args.ranks, args.gmt, options, args, duplicates=args.duplicates)
        return 0
    except KeyboardInterrupt:
        print("quenfa: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    except (UsageError, InputError, ValueError, OSError, RuntimeError) as error:
        message = " ".join(str(error).split()) or type(error).__name__
        print(f"quenfa: error: {message}", file=sys.stderr)
        return EXIT_BAD_INPUT
