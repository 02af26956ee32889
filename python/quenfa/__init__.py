"""quenfa: gene set enrichment analysis on pandas objects, with plots and a command line.

The engine is the extension module ``quenfamod``; this package reads files,
checks input, runs the engine and shapes its results.
"""

from .analysis import ENGINE_OPTIONS, gsea, package_version
from .bundled import collections
from .main_sets import main_pathways
from .many import LostSignaturesError, SignatureError, gsea_many, read_signatures, signature_seed
from .plots import PngImage, plot_enrichment, plot_table
from .ranking import rank_genes
from .readers import GeneSets, InputError, gmt_text, read_gmt, read_ranks, write_gmt

__version__ = package_version()
__all__ = [
    "ENGINE_OPTIONS", "GeneSets", "InputError", "LostSignaturesError", "PngImage", "SignatureError", "collections",
    "gmt_text", "gsea", "gsea_many", "main_pathways", "plot_enrichment", "plot_table", "rank_genes", "read_gmt", "read_ranks",
    "read_signatures", "signature_seed", "write_gmt",
]
