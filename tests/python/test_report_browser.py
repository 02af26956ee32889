"""The HTML report of `quenfa demo` opened in headless Chromium."""

import os
import shutil

import png
import pytest

from browser import Browser

VISIBLE_NES = ("Array.from(document.querySelectorAll('#results tbody tr'))"
               ".filter(r => r.style.display !== 'none').map(r => parseFloat(r.cells[4].dataset.value))")


@pytest.fixture
def browser():
    page = Browser()
    yield page
    page.close()


def test_report_renders_sorts_and_filters(browser, demo_report, tmp_path):
    browser.open(demo_report / "index.html")
    images = browser.evaluate(
        "Array.from(document.images).map(i => [i.getAttribute('src'), i.complete, i.naturalWidth])")
    assert len(images) == 11  # the table plot and ten enrichment plots
    assert all(complete and width > 0 for _, complete, width in images), images
    assert browser.evaluate("document.querySelectorAll('#results tbody tr').length") == 300
    assert browser.evaluate("document.getElementById('count').textContent") == "300 of 300 gene sets"
    assert browser.evaluate("document.querySelector('#results th:nth-child(5)').textContent") == "nes"

    browser.click("#results th:nth-child(5)")
    ascending = browser.evaluate(VISIBLE_NES)
    assert ascending == sorted(ascending) and ascending[0] < ascending[-1]
    browser.click("#results th:nth-child(5)")
    assert browser.evaluate(VISIBLE_NES) == sorted(ascending, reverse=True)

    browser.type_into("#filter", "HLA-DRA")
    shown = browser.evaluate(
        "Array.from(document.querySelectorAll('#results tbody tr')).filter(r => r.style.display !== 'none')"
        ".map(r => r.textContent)")
    assert 0 < len(shown) < 300 and all("HLA-DRA" in text for text in shown)
    assert browser.evaluate("document.getElementById('count').textContent") == f"{len(shown)} of 300 gene sets"
    assert browser.errors() == []

    browser.evaluate("const f = document.getElementById('filter'); f.value = '';"
                     "f.dispatchEvent(new Event('input')); window.scrollTo(0, 0)")
    assert browser.evaluate("document.getElementById('count').textContent") == "300 of 300 gene sets"
    shot = tmp_path / "report.png"
    browser.screenshot(shot)
    width, height, rows, _ = png.Reader(filename=str(shot)).asRGBA8()
    colours = {tuple(row[i:i + 4]) for row in rows for i in range(0, len(row), 4 * 97)}
    assert (width, height) == (1280, 1400) and len(colours) > 20
    keep = os.environ.get("QUENFA_REPORT_SCREENSHOT")
    if keep:
        shutil.copy(shot, keep)


def test_broken_image_and_script_error_are_caught(browser, demo_report, tmp_path):
    copy = tmp_path / "report"
    shutil.copytree(demo_report, copy)
    (copy / "table.png").unlink()
    page = (copy / "index.html").read_text().replace("<script>", "<script>undefinedFunction();</script><script>")
    (copy / "index.html").write_text(page)
    browser.open(copy / "index.html")
    broken = browser.evaluate("Array.from(document.images).filter(i => i.naturalWidth === 0).length")
    assert broken == 1 and len(browser.errors()) >= 2
