"""The ``quenfa-cli-help`` directive: the help text of the command line, taken from its parser.

``quenfa-cli-help`` with no argument renders ``quenfa --help``; with a subcommand name
(``run``, ``run-many``, ``demo``, ``collections``) that subcommand's help.
"""

import argparse

from docutils import nodes
from sphinx.util.docutils import SphinxDirective


def _subparser(parser: argparse.ArgumentParser, name: str) -> argparse.ArgumentParser:
    for action in parser._actions:
        if isinstance(action, argparse._SubParsersAction) and name in action.choices:
            return action.choices[name]
    raise ValueError(f"quenfa has no subcommand {name!r}")


class CliHelp(SphinxDirective):
    optional_arguments = 1

    def run(self):
        from quenfa.cli import build_parser

        parser = build_parser()
        if self.arguments:
            try:
                parser = _subparser(parser, self.arguments[0])
            except ValueError as error:
                raise self.error(str(error)) from None
        text = parser.format_help()
        block = nodes.literal_block(text, text)
        block["language"] = "text"
        return [block]


def setup(app):
    app.add_directive("quenfa-cli-help", CliHelp)
    return {"parallel_read_safe": True, "version": "1"}
