"""The two plot functions, read back from the PNG files they write."""

import math

import png
import pytest

import quenfamod

BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
RED = (220, 40, 40, 255)
HIT_GREY = (70, 70, 70, 255)


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.raw = f.read()
        width, height, rows, info = png.Reader(bytes=self.raw).read()
        self.width, self.height, self.info = width, height, info
        self.rows = [bytes(r) for r in rows]

    def __getitem__(self, xy):
        x, y = xy
        return tuple(self.rows[y][4 * x : 4 * x + 4])

    def colour_type(self):
        return self.raw[25]  # IHDR: bit depth at 24, colour type at 25

    def dark_pixels(self, x_range, y_range):
        return [(x, y) for y in y_range for x in x_range if self[x, y][0] < 128]


def greenish(pixel):
    r, g, b, _ = pixel
    return g - max(r, b) >= 100


TEN_ONES = {f"g{i}": 1.0 for i in range(10)}


def enrichment(tmp_path, genes=("g0",), name="plot.png", ranks=TEN_ONES, **kwargs):
    path = str(tmp_path / name)
    assert quenfamod.write_enrichment_plot_png_py(ranks, list(genes), path, **kwargs) is None
    return Image(path)


def table(tmp_path, ranks, pathways, results=None, name="table.png", **kwargs):
    if results is None:
        results = [{"pathway": n, "nes": 1.5, "pval": 0.01, "padj": 0.02} for n, _ in pathways]
    path = str(tmp_path / name)
    assert quenfamod.write_gsea_table_plot_png_py(ranks, pathways, results, path, **kwargs) is None
    return Image(path)


# ---- enrichment plot -------------------------------------------------------


@pytest.mark.parametrize(
    "kwargs, size",
    [({}, (900, 660)), ({"width_inches": 3.2, "height_inches": 2.4, "dpi": 100}, (320, 240))],
)
def test_enrichment_plot_size(tmp_path, kwargs, size):
    image = enrichment(tmp_path, **kwargs)
    assert (image.width, image.height) == size
    assert image.colour_type() == 6 and image.info["bitdepth"] == 8


@pytest.mark.parametrize(
    "dpi, width_inches, height_inches, ppm", [(300, 3.0, 2.2, 11811), (72, 4.5, 3.4, 2835)]
)
def test_resolution_is_recorded_in_pixels_per_metre(tmp_path, dpi, width_inches, height_inches, ppm):
    image = enrichment(tmp_path, dpi=dpi, width_inches=width_inches, height_inches=height_inches)
    assert tuple(image.info["physical"]) == (ppm, ppm, True)
    names = [c[0] for c in png.Reader(bytes=image.raw).chunks()]
    assert set(names) == {b"IHDR", b"pHYs", b"IDAT", b"IEND"}


def test_background_alpha(tmp_path):
    clear = enrichment(tmp_path, transparent_background=True, name="clear.png")
    opaque = enrichment(tmp_path, name="opaque.png")
    assert clear[0, 0] == (255, 255, 255, 0) and clear[899, 659] == (255, 255, 255, 0)
    assert opaque[0, 0] == WHITE
    # Drawn pixels are opaque on either background.
    assert clear[300, 580] == BLACK


def test_enrichment_plot_pixels_at_default_size(tmp_path):
    # Plot box: left 122, top 90, right 880, bottom 580; x(p) = p / 10 * 758 + 122.
    top = enrichment(tmp_path, ["g0"], name="top.png")
    assert top[300, 580] == BLACK  # bottom axis
    # The single hit tick: 2 pixels wide at round(x(1)) = 198, from 24 above
    # the axis to 18 below it.
    for x in (197, 198):
        assert top[x, 557] == HIT_GREY and top[x, 597] == HIT_GREY
    assert top[196, 590] == WHITE and top[199, 590] == WHITE and top[197, 598] == WHITE
    # The curve's ends: from (x(0), y(0)) = (122, 580) to (x(10), y(~0)) = (880, 580).
    assert greenish(top[123, 579]) and greenish(top[880, 580])

    # Bottom gene only: ticks -1.5 .. 0, so y(v) = 90 - v / 1.5 * 490.
    bottom = enrichment(tmp_path, ["g9"], name="bottom.png")
    assert bottom[400, 90] == BLACK  # zero line at the top of the box
    # Red dashes of 12 pixels with gaps of 8 on the row of the enrichment
    # score (about -1: y = 416.7, three pixels thick); the gaps show the grid.
    for y in (416, 417, 418):
        assert bottom[128, y] == RED and bottom[148, y] == RED
    assert bottom[138, 417] == (230, 230, 230, 255)
    assert greenish(bottom[123, 90]) and greenish(bottom[880, 90])


@pytest.mark.parametrize(
    "dpi, grey, x_mid, y_inside", [(300, 230, 501, 482), (600, 207, 1002, 964), (1200, 160, 2004, 1928)]
)
def test_grid_grey_darkens_with_dpi(tmp_path, dpi, grey, x_mid, y_inside):
    image = enrichment(tmp_path, ["g9"], dpi=dpi)
    assert image[x_mid, y_inside] == (grey, grey, grey, 255)  # vertical grid at N / 2
    # Right border: the last vertical grid line is drawn over it.
    assert image[image.width - round(20 * dpi / 300), y_inside] == (grey, grey, grey, 255)


def test_title_is_drawn_only_when_given(tmp_path):
    band = (range(0, 900), range(24, 52))
    assert enrichment(tmp_path, name="plain.png").dark_pixels(*band) == []
    assert enrichment(tmp_path, name="titled.png", title="Cell cycle").dark_pixels(*band) != []


# ---- table plot ------------------------------------------------------------

TWENTY = {f"g{i}": 1.0 - i / 10 for i in range(20)}  # g0 = 1.0 ... g19 = -0.9


@pytest.mark.parametrize(
    "kwargs, size",
    [({}, (1680, 210)), ({"width_inches": 1.0}, (520, 210)), ({"height_inches": 0.6}, (1680, 180))],
)
def test_table_plot_size(tmp_path, kwargs, size):
    image = table(tmp_path, TWENTY, [("P", ["g1"])], **kwargs)
    assert (image.width, image.height) == size
    assert image.colour_type() == 6
    assert tuple(image.info["physical"]) == (11811, 11811, True)


def test_table_plot_widens_for_a_long_label(tmp_path):
    name = "A_VERY_LONG_PATHWAY_NAME_THAT_NEEDS_ROOM_FOR_ITS_LABEL_IN_THE_TABLE%SOURCE%V1"
    image = table(tmp_path, TWENTY, [(name, ["g1"])], width_inches=1.0)
    assert image.width > 1000
    assert image[0, 0] == WHITE and image[image.width - 1, 0] == WHITE


def test_table_bars_rise_for_positive_and_hang_for_negative_stats(tmp_path):
    # Row 0 spans y 46..93 with its middle at 70; g5 (+0.5) is left of the
    # strip's middle, g15 (-0.5) right of it.
    image = table(tmp_path, TWENTY, [("P", ["g5", "g15"])])
    dark = image.dark_pixels(range(image.width // 5, image.width * 3 // 4), range(46, 94))
    left = [y for x, y in dark if x < image.width // 2]
    right = [y for x, y in dark if x >= image.width // 2]
    assert left and right
    assert min(left) <= 60 and max(left) <= 70
    assert min(right) >= 70 and max(right) >= 80


def test_table_skips_pathways_without_ranked_genes_and_uses_the_last_result(tmp_path):
    results = [
        {"pathway": "P", "nes": float("nan"), "pval": 0.5, "padj": 0.5},
        {"pathway": "P", "nes": 1.0, "pval": 0.01, "padj": 0.02, "extra": None},
    ]
    pathways = [("P", ["g1"]), ("GONE", ["nope"])]
    both = table(tmp_path, TWENTY, pathways, results, name="both.png")
    assert both.height == 210  # one row
    last = table(tmp_path, TWENTY, pathways, results[1:], name="last.png")
    first = table(tmp_path, TWENTY, pathways, results[:1], name="first.png")
    assert both.rows == last.rows
    assert both.rows != first.rows


def test_transparent_table(tmp_path):
    image = table(tmp_path, TWENTY, [("P", ["g1", "g18"])], transparent_background=True)
    assert image[0, image.height - 1] == (255, 255, 255, 0)
    assert any(p[3] == 255 for p in (image[x, y] for y in range(0, 40) for x in range(0, 200)))


# ---- failures --------------------------------------------------------------

NAN_TOP = dict(TEN_ONES, g0=math.nan)

ENRICHMENT_FAILURES = [
    ({"scoreType": "BAD"}, ValueError, "Invalid scoreType 'bad'. Expected one of: std, pos, neg."),
    # The size is checked before the ranks.
    ({"ranks": {}, "dpi": 0}, RuntimeError, "plot size in inches and dpi must be finite positive values"),
    ({"width_inches": 3.19, "height_inches": 2.4, "dpi": 100}, RuntimeError,
     "plot dimensions must be at least 320x240 pixels"),
    ({"ranks": {}}, RuntimeError, "ranks must not be empty"),
    ({"gseaParam": -1.0}, RuntimeError, "gsea_param must be a finite value greater than or equal to 0"),
    ({"genes": ["nope"], "pathway_name": "P1"}, RuntimeError,
     "pathway 'P1' has no genes present in the ranked list"),
    ({"genes": list(TEN_ONES), "pathway_name": "ALL"}, RuntimeError,
     "pathway 'ALL' covers the full ranked list and cannot produce an enrichment curve"),
    ({"ranks": NAN_TOP, "genes": ["g0", "g4"], "scoreType": "pos"}, ValueError,
     "Invalid score nan for gene 'g0'. Every score in ranks must be finite."),
    ({"width_inches": 0.4, "dpi": 1000}, RuntimeError, "plot dimensions leave no drawable area"),
]


@pytest.mark.parametrize("kwargs, error, message", ENRICHMENT_FAILURES)
def test_enrichment_plot_failures(tmp_path, kwargs, error, message):
    kwargs = dict(kwargs)
    ranks = kwargs.pop("ranks", TEN_ONES)
    genes = kwargs.pop("genes", ["g0"])
    path = tmp_path / "out.png"
    with pytest.raises(error) as info:
        quenfamod.write_enrichment_plot_png_py(ranks, genes, str(path), **kwargs)
    assert str(info.value) == message
    assert type(info.value) is error
    assert not path.exists()


def test_saving_into_a_missing_directory(tmp_path):
    path = tmp_path / "missing" / "plot.png"
    with pytest.raises(RuntimeError) as info:
        quenfamod.write_enrichment_plot_png_py(TEN_ONES, ["g0"], str(path))
    assert str(info.value) == "No such file or directory (os error 2)"
    assert not (tmp_path / "missing").exists()


def ok_result(name="P"):
    return {"pathway": name, "nes": 1.0, "pval": 0.01, "padj": 0.02}


TABLE_FAILURES = [
    ({"results": [{"nes": 1.0}]}, ValueError, "Result row missing 'pathway'."),
    ({"results": [{"pathway": "P", "pval": 0.1, "padj": 0.1}]}, ValueError, "Result row missing 'nes'."),
    ({"results": [{"pathway": "P", "nes": 1.0, "padj": 0.1}]}, ValueError, "Result row missing 'pval'."),
    ({"results": [{"pathway": "P", "nes": 1.0, "pval": 0.1}]}, ValueError, "Result row missing 'padj'."),
    ({"width_inches": math.inf}, RuntimeError, "plot size in inches and dpi must be finite positive values"),
    ({"ranks": {}, "height_inches": -1.0}, RuntimeError,
     "plot size in inches and dpi must be finite positive values"),
    ({"ranks": {}}, RuntimeError, "ranks must not be empty"),
    ({"pathways": []}, RuntimeError, "pathways must not be empty"),
    ({"gseaParam": math.nan}, RuntimeError, "gsea_param must be a finite value greater than or equal to 0"),
    ({"ranks": dict(TWENTY, g3=-math.inf)}, ValueError,
     "Invalid score -inf for gene 'g3'. Every score in ranks must be finite."),
    ({"ranks": dict(TWENTY, g3=1e200), "gseaParam": 2.0}, ValueError,
     "gseaParam is too large: |score|^gseaParam is infinite for gene 'g3'."),
    ({"results": [ok_result("Q")]}, RuntimeError, "pathway 'P' missing from kelda results"),
    ({"pathways": [("P", ["nope"])], "results": []}, RuntimeError,
     "none of the requested pathways have genes present in the ranked list"),
    ({"height_inches": 0.5}, RuntimeError, "plot height must be at least 180 pixels"),
]


@pytest.mark.parametrize("kwargs, error, message", TABLE_FAILURES)
def test_table_plot_failures(tmp_path, kwargs, error, message):
    args = {"ranks": TWENTY, "pathways": [("P", ["g1", "g2"])], "results": [ok_result()]}
    args.update(kwargs)
    path = tmp_path / "out.png"
    with pytest.raises(error) as info:
        quenfamod.write_gsea_table_plot_png_py(output_path=str(path), **args)
    assert str(info.value) == message
    assert type(info.value) is error
    assert not path.exists()


@pytest.mark.parametrize(
    "pathways, results, error",
    [
        ([("P", ["g1"])], [dict(ok_result(), padj=None)], TypeError),  # as run_gsea_py gives it
        ([("P", ["g1"])], [dict(ok_result(), pathway=3)], TypeError),
        ([("P", ["g1"])], [dict(ok_result(), nes="high")], TypeError),
        ([["P", ["g1"]]], [ok_result()], TypeError),  # not a tuple
        ([("P", ["g1"], "x")], [ok_result()], ValueError),  # not a pair
        ([("P", ["g1"])], [[("pathway", "P")]], TypeError),  # not a dict
        ([("P", ["g1"])], [{**ok_result(), 1: 2}], TypeError),  # key not a str
    ],
)
def test_table_plot_conversion_failures(tmp_path, pathways, results, error):
    path = tmp_path / "out.png"
    with pytest.raises(error):
        quenfamod.write_gsea_table_plot_png_py(TWENTY, pathways, results, str(path))
    assert not path.exists()


def test_negative_dpi_overflows(tmp_path):
    with pytest.raises(OverflowError):
        quenfamod.write_enrichment_plot_png_py(TEN_ONES, ["g0"], str(tmp_path / "x.png"), dpi=-1)
