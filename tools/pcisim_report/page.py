"""The HTML shell both pages share: styles, number formats, tables, and the
one embedded copy of Chart.js. Everything the page needs is inside the file;
the figures and the data sit in JSON script blocks the page's script
(charts.js beside this file) reads."""
import html
import json
import os

from . import ReportError

CHART_JS = "/usr/share/javascript/chart.js/chart.min.js"  # Debian's libjs-chart.js
PAGE_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "charts.js")

STYLE = """
:root { --ink:#1f2933; --muted:#5f6b7a; --line:#e3e7eb; --bg:#f5f7f9; --card:#fff; --accent:#3f6fb5; }
* { box-sizing: border-box; }
body { margin:0; background:var(--bg); color:var(--ink);
       font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif; }
header { background:#1f2d3d; color:#fff; padding:18px 32px 16px; }
header h1 { margin:0; font-size:21px; font-weight:600; letter-spacing:.2px; }
header .sub { color:#b9c4d0; margin-top:4px; font-size:13px; }
header code { color:#fff; background:rgba(255,255,255,.1); padding:1px 6px; border-radius:4px; }
nav { position:sticky; top:0; z-index:5; background:#fff; border-bottom:1px solid var(--line);
      padding:8px 32px; display:flex; gap:18px; flex-wrap:wrap; font-size:13px; }
nav a { color:var(--accent); text-decoration:none; }
nav a:hover { text-decoration:underline; }
main { max-width:1320px; margin:0 auto; padding:18px 32px 40px; }
section { background:var(--card); border:1px solid var(--line); border-radius:10px; padding:16px 20px 18px;
          margin:0 0 18px; }
h2 { font-size:17px; margin:0 0 10px; font-weight:600; }
h3 { font-size:14px; margin:16px 0 6px; font-weight:600; }
p.note { color:var(--muted); font-size:12.5px; margin:6px 0 0; max-width:980px; }
.tiles { display:grid; grid-template-columns:repeat(auto-fill,minmax(150px,1fr)); gap:10px; margin:0 0 18px; }
.tile { background:var(--card); border:1px solid var(--line); border-radius:10px; padding:10px 14px; }
.tile .v { font-size:20px; font-weight:600; font-variant-numeric:tabular-nums; }
.tile .k { color:var(--muted); font-size:12px; }
.tile.bad .v { color:#c8363d; } .tile.good .v { color:#3b8a5a; }
table { border-collapse:collapse; font-variant-numeric:tabular-nums; font-size:13px; }
table.wide { width:100%; }
th, td { padding:5px 10px; border-bottom:1px solid var(--line); text-align:left; vertical-align:top; }
th { background:#f0f3f6; font-weight:600; color:#334155; vertical-align:bottom; font-size:12.5px; }
td:first-child { white-space:nowrap; }
td.n { text-align:right; white-space:nowrap; }
th.n { text-align:right; }
tbody tr:nth-child(even) td { background:#fafbfc; }
tbody tr:hover td { background:#eef4fb; }
td.bad, span.bad { color:#c8363d; font-weight:600; }
.scroll { overflow-x:auto; }
.grid { display:grid; grid-template-columns:repeat(auto-fill,minmax(400px,1fr)); gap:6px 16px; }
.split { display:grid; grid-template-columns:minmax(380px,1fr) auto; gap:8px 36px; align-items:start; }
h3.first { margin-top:0; }
.kv { display:grid; grid-template-columns:max-content 1fr; gap:3px 16px; font-size:13px; }
.kv dt { color:var(--muted); } .kv dd { margin:0; overflow-wrap:anywhere; }
code, pre { font-family:"DejaVu Sans Mono",Menlo,Consolas,monospace; font-size:12px; }
pre { background:#f6f8fa; border:1px solid var(--line); border-radius:6px; padding:10px; max-height:360px;
      overflow:auto; }
details summary { cursor:pointer; color:var(--accent); margin-top:10px; }
.swatch { display:inline-block; width:10px; height:10px; border-radius:2px; margin-right:5px;
          vertical-align:baseline; }
th.sortable { cursor:pointer; user-select:none; }
th.sortable::after { content:" \\2195"; color:#9aa5b1; }
th.sortable[data-dir="asc"]::after { content:" \\2191"; color:var(--ink); }
th.sortable[data-dir="desc"]::after { content:" \\2193"; color:var(--ink); }
.chart { position:relative; min-width:0; }
.zoombar { display:flex; gap:6px; align-items:center; flex-wrap:wrap; font-size:12.5px; margin:0 0 6px; }
.zoombar button { font:inherit; padding:2px 9px; border:1px solid #c3c8ce; border-radius:5px; background:#fff;
                  cursor:pointer; }
.zoombar input { font:inherit; width:7em; padding:1px 4px; }
footer { color:var(--muted); font-size:12px; text-align:center; padding:0 0 24px; }
"""

def esc(value):
    return html.escape(str(value), quote=True)


def fmt_int(value):
    return "—" if value is None else f"{value:,}"


def fmt_num(value, digits=2):
    if value is None:
        return "—"
    if isinstance(value, int) and not isinstance(value, bool):
        return f"{value:,}"
    return f"{value:,.{digits}f}"


def fmt_share(value, digits=1):
    return "—" if value is None else f"{value * 100:.{digits}f} %"


def table(headers, rows, table_id=None, sortable=False, numeric=(), wide=True):
    """An HTML table: headers (text), rows of cells (already HTML), the indexes
    of numeric (right-aligned) columns; a wide table takes the section's width."""
    numeric = set(numeric)
    classes = " ".join(c for c, on in (("wide", wide), ("sortable-table", sortable)) if on)
    attrs = (f' id="{esc(table_id)}"' if table_id else "") + (f' class="{classes}"' if classes else "")
    head = "".join(
        f'<th class="{"n " if i in numeric else ""}{"sortable" if sortable else ""}">{esc(h)}</th>'
        for i, h in enumerate(headers))
    def cell(i, c):  # a cell is its HTML, or (HTML, the value a sort compares)
        sort = f' data-v="{esc(c[1])}"' if isinstance(c, tuple) else ""
        align = ' class="n"' if i in numeric else ""
        return f"<td{align}{sort}>{c[0] if isinstance(c, tuple) else c}</td>"

    body = "".join("<tr>" + "".join(cell(i, c) for i, c in enumerate(r)) + "</tr>" for r in rows)
    return f'<div class="scroll"><table{attrs}><thead><tr>{head}</tr></thead><tbody>{body}</tbody></table></div>'


def _json_block(element_id, value):
    """A JSON script block; '</' is written '<\\/' so no text ends the block early."""
    text = json.dumps(value, separators=(",", ":"), allow_nan=False).replace("</", "<\\/")
    return f'<script type="application/json" id="{element_id}">{text}</script>'


def chart_js():
    """Debian's Chart.js (libjs-chart.js), to be embedded once."""
    try:
        with open(CHART_JS, encoding="utf-8") as handle:
            return handle.read()
    except OSError as err:
        raise ReportError(f"the charts need Chart.js: cannot read {CHART_JS}: {err.strerror} "
                          "(apt-get install libjs-chart.js)") from err


def document(title, header_html, nav, body_html, data, figures, extra_script=""):
    """The whole page. nav: (anchor, text) pairs; data: the JSON of the
    page's figures (id pcisim-data); figures: the charts (see charts.py), each
    drawn on the page's <canvas> of its id."""
    with open(PAGE_SCRIPT, encoding="utf-8") as handle:
        script = handle.read()
    links = "".join(f'<a href="#{esc(a)}">{esc(t)}</a>' for a, t in nav)
    return "".join([
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">",
        '<meta name="viewport" content="width=device-width, initial-scale=1">',
        f"<title>{esc(title)}</title><style>{STYLE}</style></head><body>",
        f"<header>{header_html}</header><nav>{links}</nav><main>{body_html}</main>",
        "<footer>Made by tools/pcisim-report from pcisim's output files; the page needs no network.</footer>",
        _json_block("pcisim-data", data), _json_block("pcisim-figures", figures),
        f"<script>{chart_js()}</script><script>{script}{extra_script}</script>",
        "</body></html>\n"])
