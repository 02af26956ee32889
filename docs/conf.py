"""Sphinx configuration of the quenfa documentation (MyST Markdown pages, autodoc)."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "_ext"))
# argparse wraps help text to the terminal width; fix it so the rendered help never changes.
os.environ["COLUMNS"] = "88"

project = "quenfa"
author = "the quenfa developers"
copyright = "the quenfa developers"
try:
    from quenfa import __version__ as release
except ImportError:  # the reference pages need the installed package; say so plainly
    raise SystemExit("docs: install quenfa first (make python-install)") from None
version = release

extensions = ["myst_parser", "sphinx.ext.autodoc", "quenfa_cli_help"]
source_suffix = {".md": "markdown"}
myst_enable_extensions = ["colon_fence", "deflist"]
myst_heading_anchors = 3
exclude_patterns = ["_build"]
autodoc_member_order = "bysource"
autodoc_typehints = "none"  # the docstrings say what each argument takes
autodoc_default_options = {"members": False}

html_theme = "furo"
html_title = f"quenfa {release}"
html_static_path = ["_static"]
html_show_sourcelink = False


def _extension_docstrings_as_text(app, what, name, obj, options, lines):
    # quenfamod's docstrings are plain text written for help(), with aligned columns
    # that reStructuredText would misread: show them as they are.
    if name.startswith("quenfamod.") and lines:
        lines[:] = ["::", ""] + [f"    {line}" if line else "" for line in lines] + [""]


def setup(app):
    app.connect("autodoc-process-docstring", _extension_docstrings_as_text)
