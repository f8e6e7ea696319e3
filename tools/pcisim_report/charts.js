// Draws the figures of the page's pcisim-figures block with Chart.js, then
// marks the page ready (body[data-ready], window.pcisimReadyAt: milliseconds
// since navigation). Each <canvas id=...> of a figure gets a box of the
// figure's height; the tooltips of each kind of figure and the timeline's zoom
// and pan are added here, since the figures' JSON cannot hold functions.
(function () {
  'use strict';
  var figures = JSON.parse(document.getElementById('pcisim-figures').textContent);
  Chart.defaults.font.family = "system-ui, -apple-system, 'Segoe UI', Roboto, 'DejaVu Sans', sans-serif";
  Chart.defaults.color = '#1f2933';
  // Numbers as 12,345.5, without Intl (its first use costs a tenth of a second).
  function fmt(n) {
    var parts = String(Math.round(n * 1e6) / 1e6).split('.');
    return parts[0].replace(/\B(?=(\d{3})+(?!\d))/g, ',') + (parts[1] ? '.' + parts[1] : '');
  }
  Chart.defaults.scales.linear.ticks.callback = fmt;
  Chart.defaults.scale.ticks.sampleSize = 16;  // label sizes estimated from a sample of the ticks

  // Tooltip callbacks by kind of figure.
  var tooltips = {
    histogram: function () {
      return {title: function (items) { return items[0].label + ' clocks'; },
              label: function (item) { return fmt(item.parsed.y); }};
    },
    bus: function (f) {
      return {title: function (items) {
                var i = items[0].dataIndex, start = f.config.data.labels[i];
                return 'cycles ' + fmt(start) + '..' + fmt(start + f.lengths[i] - 1);
              },
              label: function (item) {
                return item.dataset.label + ': ' + fmt(item.dataset.counts[item.dataIndex]) + ' cycles ('
                  + item.parsed.y.toFixed(1) + ' %)';
              }};
    },
    timeline: function () {
      return {title: function (items) { var h = items[0].raw.h; return h[0] + ' ' + h[1]; },
              label: function (item) {
                var h = item.raw.h, x = item.raw.x;
                return ['card ' + h[2] + ', ' + h[3] + ' data phases, initial wait ' + h[4],
                        'cycles ' + x[0] + '..' + (x[1] - 1) + ' (' + item.dataset.label + ')'];
              }};
    },
    metric: function (f) {
      return {title: function (items) { return f.setting + '=' + items[0].raw.x; },
              label: function (item) {
                var p = item.raw;
                return item.dataset.dots ? p.y + ' (run ' + p.run + ')' : 'mean ' + p.y;
              }};
    }
  };

  // A metric's line and its dots are one legend entry: the dots are not
  // listed, and a click hides or shows both.
  function groupedLegend(legend) {
    legend.labels = {filter: function (item, data) { return !data.datasets[item.datasetIndex].dots; }};
    legend.onClick = function (event, item, control) {
      var chart = control.chart, name = chart.data.datasets[item.datasetIndex].label;
      var show = !chart.isDatasetVisible(item.datasetIndex);
      chart.data.datasets.forEach(function (d, i) { if (d.label === name) { chart.setDatasetVisibility(i, show); } });
      chart.update('none');
    };
  }

  // The timeline's zoom and pan: the wheel zooms around the pointer, a drag
  // pans, a double-click or "whole run" resets, and a cycle range can be typed.
  // Every change sets the x scale's min and max, hands the chart only the bars
  // in view and redraws without animation, at most once per frame.
  function zoomable(chart, f) {
    var canvas = chart.canvas, span = f.cycles, smallest = 2, wanted = null;
    var all = chart.data.datasets.map(function (d) { return d.data; });  // every bar, by dataset
    var bar = document.createElement('div');
    bar.className = 'zoombar';
    bar.innerHTML = '<button type="button" data-k="0.5" title="zoom in">+</button>'
      + '<button type="button" data-k="2" title="zoom out">&minus;</button>'
      + '<button type="button" class="reset">whole run</button>'
      + '<label>cycles <input type="number" class="from" min="0" step="1"></label>'
      + '<label>to <input type="number" class="to" min="0" step="1"></label>'
      + '<button type="button" class="show">show</button>';
    canvas.parentNode.parentNode.insertBefore(bar, canvas.parentNode);
    var from = bar.querySelector('.from'), to = bar.querySelector('.to');
    function apply() {  // (the options object is rebuilt at every update: look it up each time)
      var scale = chart.options.scales.x, lo = wanted[0], hi = wanted[1];
      scale.min = lo;
      scale.max = hi;
      wanted = null;
      chart.data.datasets.forEach(function (d, i) {  // only the bars in view: a zoomed chart redraws few
        d.data = lo <= 0 && hi >= span ? all[i] : all[i].filter(function (p) { return p.x[1] > lo && p.x[0] < hi; });
      });
      from.value = Math.floor(scale.min);
      to.value = Math.ceil(scale.max) - 1;
      chart.update('none');
    }
    function show(lo, hi) {  // the cycles [lo, hi) as far as the run has them
      var width = Math.min(Math.max(hi - lo, smallest), span);
      lo = Math.min(Math.max(lo, 0), span - width);
      if (wanted === null) { requestAnimationFrame(apply); }
      wanted = [lo, lo + width];
    }
    function zoom(k, at) {
      var s = chart.scales.x;
      show(at - (at - s.min) * k, at + (s.max - at) * k);
    }
    function showTyped() { show(Number(from.value), Number(to.value) + 1); }
    chart.pcisimShow = show;
    bar.addEventListener('click', function (e) {
      var b = e.target.closest('button'), s = chart.scales.x;
      if (!b) { return; }
      if (b.dataset.k) { zoom(Number(b.dataset.k), (s.min + s.max) / 2); }
      if (b.className === 'reset') { show(0, span); }
      if (b.className === 'show') { showTyped(); }
    });
    bar.addEventListener('keydown', function (e) {
      if (e.key === 'Enter' && e.target.tagName === 'INPUT') { showTyped(); }
    });
    canvas.addEventListener('dblclick', function () { show(0, span); });
    canvas.addEventListener('wheel', function (e) {
      e.preventDefault();
      zoom(e.deltaY < 0 ? 0.8 : 1.25, chart.scales.x.getValueForPixel(e.offsetX));
    }, {passive: false});
    var drag = null;
    canvas.addEventListener('pointerdown', function (e) {
      if (e.button !== 0) { return; }
      drag = {x: e.clientX, min: chart.scales.x.min, max: chart.scales.x.max};
      canvas.setPointerCapture(e.pointerId);
    });
    canvas.addEventListener('pointermove', function (e) {
      if (!drag) { return; }
      var shift = (drag.max - drag.min) * (e.clientX - drag.x) / chart.chartArea.width;
      show(drag.min - shift, drag.max - shift);
    });
    canvas.addEventListener('pointerup', function () { drag = null; });
    canvas.addEventListener('pointercancel', function () { drag = null; });
    from.value = 0;
    to.value = span - 1;
  }

  // Boxes first, then their widths in one layout, then the charts at those
  // sizes: a responsive chart would lay the page out again for each chart.
  var boxes = figures.map(function (f) {
    var canvas = document.getElementById(f.id), box = document.createElement('div');
    box.className = 'chart';
    box.style.height = f.height + 'px';
    canvas.parentNode.insertBefore(box, canvas);
    box.appendChild(canvas);
    return box;
  });
  var widths = boxes.map(function (box) { return box.clientWidth; });
  var charts = figures.map(function (f, i) {
    var canvas = boxes[i].firstChild, plugins = f.config.options.plugins;
    canvas.width = widths[i];
    canvas.height = f.height;
    plugins.tooltip = {callbacks: tooltips[f.kind](f)};
    if (f.kind === 'metric') { groupedLegend(plugins.legend); }
    if (f.kind === 'bus') {  // window starts as 12,500
      f.config.options.scales.x.ticks.callback = function (v) { return fmt(this.getLabelForValue(v)); };
    }
    var chart = new Chart(canvas, f.config);
    if (f.kind === 'timeline') { zoomable(chart, f); }
    return chart;
  });
  window.addEventListener('resize', function () {
    var now = boxes.map(function (box) { return box.clientWidth; });
    charts.forEach(function (chart, i) { if (now[i] !== widths[i]) { chart.resize(now[i], figures[i].height); } });
    widths = now;
  });
  requestAnimationFrame(function () {
    window.pcisimReadyAt = performance.now();
    document.body.setAttribute('data-ready', 'yes');
  });
})();
