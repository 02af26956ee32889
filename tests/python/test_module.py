"""The module's contract: registration, signatures, argument binding and the
conversion of every parameter kind."""

import ast
import inspect
import os
import pathlib

import numpy as np
import pytest

import quenfamod

P = inspect.Parameter
ROOT = pathlib.Path(__file__).resolve().parents[2]

SIGNATURES = {
    "run_gsea_py": [
        ("ranks", P.empty), ("gmt_path", P.empty), ("nPermSimple", 1000), ("seed", None),
        ("nproc", 0), ("minSize", None), ("maxSize", None), ("eps", 1e-50),
        ("scoreType", "std"), ("gseaParam", 1.0), ("mode", "kelda"), ("nperm", None),
        ("sampleSize", 101), ("gpu", False), ("method", "classic"), ("decor_cache", None),
        ("decor_expression", None), ("decor_preset", None), ("decor_stringency", None),
        ("decor_weight_formula", None), ("decor_alpha", None), ("decor_threshold", None),
        ("decor_gamma", None), ("decor_penalty_floor", None), ("decor_scale_epsilon", 1e-12),
        ("decor_cache_mode", "auto"), ("decor_correlation", "pearson"),
        ("decor_redundancy", "positive_mean"), ("blitz_anchors", 40),
        ("blitz_symmetric", False), ("blitz_center", True), ("blitz_accuracy", 40),
        ("blitz_deep_accuracy", 50), ("blitz_signature_cache", True), ("progress", None),
    ],
    "run_gsea_sets_py": None,  # as run_gsea_py, with pathways in place of gmt_path
    "write_enrichment_plot_png_py": [
        ("ranks", P.empty), ("pathway_genes", P.empty), ("output_path", P.empty),
        ("pathway_name", "pathway"), ("scoreType", "std"), ("gseaParam", 1.0),
        ("width_inches", 3.0), ("height_inches", 2.2), ("dpi", 300),
        ("transparent_background", False), ("title", None),
    ],
    "write_gsea_table_plot_png_py": [
        ("ranks", P.empty), ("pathways", P.empty), ("results", P.empty),
        ("output_path", P.empty), ("gseaParam", 1.0), ("width_inches", 5.6),
        ("height_inches", None), ("dpi", 300), ("transparent_background", False),
    ],
}
SIGNATURES["run_gsea_sets_py"] = [("ranks", P.empty), ("pathways", P.empty),
                                  *SIGNATURES["run_gsea_py"][2:]]


def test_module_registers_four_functions_in_order():
    assert quenfamod.__all__ == list(SIGNATURES)
    for name in SIGNATURES:
        assert callable(getattr(quenfamod, name))


@pytest.mark.parametrize("name", list(SIGNATURES))
def test_help_follows_the_text_signature_and_the_stub_matches_it(name):
    function = getattr(quenfamod, name)
    assert function.__doc__.strip() and "Returns" in function.__doc__
    stub = ast.parse((ROOT / "python" / "quenfamod" / "quenfamod.pyi").read_text())
    declared = next(node for node in stub.body
                    if isinstance(node, ast.FunctionDef) and node.name == name)
    parameters = inspect.signature(function).parameters
    assert [a.arg for a in declared.args.args] == list(parameters)
    defaults = [ast.literal_eval(d) for d in declared.args.defaults]
    assert defaults == [p.default for p in parameters.values() if p.default is not P.empty]


@pytest.mark.parametrize("name", SIGNATURES)
def test_signature_is_the_documented_text_signature(name):
    expected = inspect.Signature(
        [P(param, P.POSITIONAL_OR_KEYWORD, default=default) for param, default in SIGNATURES[name]]
    )
    function = getattr(quenfamod, name)
    assert inspect.signature(function) == expected
    # The documented signatures quote strings with double quotes.
    assert function.__text_signature__ == str(expected).replace("'", '"')


def test_binding_errors_use_cpythons_wording(ranks, gmt_path):
    cases = [
        (lambda: quenfamod.run_gsea_py(ranks),
         "run_gsea_py() missing 1 required positional argument: 'gmt_path'"),
        (lambda: quenfamod.run_gsea_py(),
         "run_gsea_py() missing 2 required positional arguments: 'ranks' and 'gmt_path'"),
        (lambda: quenfamod.write_gsea_table_plot_png_py(),
         "write_gsea_table_plot_png_py() missing 4 required positional arguments: "
         "'ranks', 'pathways', 'results', and 'output_path'"),
        (lambda: quenfamod.run_gsea_py(ranks, gmt_path, bogus=1),
         "run_gsea_py() got an unexpected keyword argument 'bogus'"),
        (lambda: quenfamod.run_gsea_py(ranks, gmt_path, ranks=ranks),
         "run_gsea_py() got multiple values for argument 'ranks'"),
        (lambda: quenfamod.run_gsea_py(*([ranks, gmt_path] + [None] * 34)),
         "run_gsea_py() takes from 2 to 35 positional arguments but 36 were given"),
        (lambda: quenfamod.run_gsea_sets_py(ranks),
         "run_gsea_sets_py() missing 1 required positional argument: 'pathways'"),
    ]
    for call, message in cases:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def _run(ranks, gmt_path, kwargs):
    return quenfamod.run_gsea_py(**({"ranks": ranks, "gmt_path": gmt_path} | kwargs))


def _enrichment(ranks, gmt_path, kwargs):
    output = os.path.join(os.path.dirname(gmt_path), "x.png")
    args = {"ranks": ranks, "pathway_genes": ["g0"], "output_path": output} | kwargs
    return quenfamod.write_enrichment_plot_png_py(**args)


def _table(ranks, gmt_path, kwargs):
    output = os.path.join(os.path.dirname(gmt_path), "x.png")
    args = {"ranks": ranks, "pathways": [("p", ["g0"])], "results": [],
            "output_path": output} | kwargs
    return quenfamod.write_gsea_table_plot_png_py(**args)


BAD_CONVERSIONS = [
    # (entry, parameter, value, exception)
    (_run, "ranks", [("g0", 1.0)], TypeError),
    (_run, "ranks", {1: 1.0}, TypeError),
    (_run, "ranks", {"g0": "high"}, TypeError),
    (_run, "ranks", {"g0": None}, TypeError),
    (_run, "ranks", {"g0": 10**400}, OverflowError),
    (_run, "ranks", {"\ud800": 1.0}, UnicodeEncodeError),
    (_run, "gmt_path", b"sets.gmt", TypeError),
    (_run, "nPermSimple", -1, OverflowError),
    (_run, "nPermSimple", 2**64, OverflowError),
    (_run, "nPermSimple", 1.0, TypeError),
    (_run, "nPermSimple", "10", TypeError),
    (_run, "seed", -5, OverflowError),
    (_run, "minSize", 2.5, TypeError),
    (_run, "eps", "tiny", TypeError),
    (_run, "eps", None, TypeError),
    (_run, "scoreType", None, TypeError),
    (_run, "gpu", 1, TypeError),
    (_run, "gpu", None, TypeError),
    (_run, "decor_cache", 3, TypeError),
    (_run, "decor_alpha", "x", TypeError),
    (_run, "blitz_symmetric", "yes", TypeError),
    (_enrichment, "pathway_genes", "g0", TypeError),
    (_enrichment, "pathway_genes", ["g0", 7], TypeError),
    (_enrichment, "pathway_genes", {"g0": 1}, TypeError),
    (_enrichment, "dpi", 2**32, OverflowError),
    (_enrichment, "dpi", -1, OverflowError),
    (_enrichment, "title", 5, TypeError),
    (_table, "pathways", ["p"], TypeError),
    (_table, "pathways", [("p", ["g0"], "extra")], ValueError),
    (_table, "pathways", [("p", "g0")], TypeError),
    (_table, "pathways", [(1, ["g0"])], TypeError),
    (_table, "results", [["pathway", "p"]], TypeError),
    (_table, "results", [{1: "p"}], TypeError),
    (_table, "height_inches", "tall", TypeError),
]


@pytest.mark.parametrize("entry,parameter,value,exception", BAD_CONVERSIONS)
def test_failed_conversion_raises_its_own_exception_with_a_note(
    ranks, gmt_path, entry, parameter, value, exception
):
    with pytest.raises(exception) as info:
        entry(ranks, gmt_path, {parameter: value})
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


class RankDict(dict):
    pass


def test_accepted_forms_of_each_parameter_kind(ranks, gmt_path):
    # Each call converts successfully and runs (without permutations).
    accepted = [
        {"ranks": RankDict(ranks)},
        {"ranks": {"g0": 1, "g1": True, "g2": np.float32(0.5), "g3": Index(3)}},
        {"nPermSimple": Index(5), "seed": np.uint64(2**64 - 1), "nproc": True},
        {"minSize": np.int16(3), "maxSize": 2**64 - 1, "eps": 0, "gseaParam": Index(2)},
        {"gpu": np.bool_(False), "blitz_center": np.False_},
        {"decor_alpha": 1, "decor_preset": "anything", "decor_stringency": None},
    ]
    for kwargs in accepted:
        kwargs = {"ranks": ranks, "gmt_path": gmt_path, "mode": "simple", "nperm": 0} | kwargs
        assert isinstance(quenfamod.run_gsea_py(**kwargs), list)
