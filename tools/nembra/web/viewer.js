// The live view of nembra serve: draws the frames the server sends (32-bit floats behind an
// 80-byte header) and sends the controls back as JSON messages over the same WebSocket.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

const FRAME_MAGIC = 0x52424d4e;
const HEADER_BYTES = 80;
const MOST_HISTORY = 4000;

const view = {
  state: null,      // the latest "state" message: model, case, mesh, quantities, controls
  frame: null,      // the latest decoded frame
  quantity: null,   // what this page shows
  colormap: null,   // null: the quantity's own
  history: [],      // {step, time, dt, change} per frame received
  hover: null,      // node under the pointer {i, j}
  socket: null,
};

// ---- frames ---------------------------------------------------------------------------------

function decodeFrame(buffer) {
  const d = new DataView(buffer);
  if (buffer.byteLength < HEADER_BYTES || d.getUint32(0, true) !== FRAME_MAGIC) {
    return null;
  }
  const nx = d.getUint32(8, true);
  const ny = d.getUint32(12, true);
  const extraRows = d.getUint32(28, true);
  if (buffer.byteLength !== HEADER_BYTES + 4 * nx * (ny + extraRows)) {
    return null;
  }
  return {
    kind: d.getUint32(4, true), nx, ny, quantity: d.getUint32(16, true),
    calls: d.getUint32(20, true), steps: d.getUint32(24, true),
    time: d.getFloat64(32, true), dt: d.getFloat64(40, true),
    dx: d.getFloat64(48, true), dy: d.getFloat64(56, true),
    change: d.getFloat64(64, true),
    values: new Float32Array(buffer, HEADER_BYTES, nx * ny),
    // The shock tube: the middle row, then the exact solution along it.
    centreline: extraRows === 2 ? new Float32Array(buffer, HEADER_BYTES + 4 * nx * ny, 2 * nx) : null,
  };
}

function recordHistory(frame) {
  const h = view.history;
  if (h.length > 0 && frame.steps < h[h.length - 1].step) {
    h.length = 0;  // a reset or a new model
  }
  if (h.length === 0 || frame.steps !== h[h.length - 1].step) {
    h.push({ step: frame.steps, time: frame.time, dt: frame.dt, change: frame.change });
  }
  if (h.length > MOST_HISTORY) {  // keep every other sample: the charts keep their whole span
    view.history = h.filter((_, k) => k % 2 === 0 || k === h.length - 1);
  }
}

// ---- colour scale ---------------------------------------------------------------------------

function quantityInfo() {
  const list = view.state ? view.state.quantities : [];
  return list.find((q) => q.name === view.quantity) || list[0] || { name: '', unit: '' };
}

function colorTable() {
  const maps = view.state ? view.state.colormaps : {};
  const name = view.colormap || quantityInfo().colormap || 'viridis';
  return maps[name] || maps.viridis || [];
}

// The range of the finite values shown: symmetric about zero for signed quantities, over the
// positive values only on a logarithmic scale.
function valueRange(values, log, signed) {
  let min = Infinity;
  let max = -Infinity;
  for (const v of values) {
    if (Number.isFinite(v) && (!log || v > 0)) {
      if (v < min) min = v;
      if (v > max) max = v;
    }
  }
  if (min > max) return null;
  if (signed && !log) {
    const m = Math.max(Math.abs(min), Math.abs(max));
    return { min: -m, max: m };
  }
  return { min, max };
}

function scaled(v, range, log) {
  if (!Number.isFinite(v) || (log && v <= 0)) return NaN;
  const a = log ? Math.log10(v) : v;
  const lo = log ? Math.log10(range.min) : range.min;
  const hi = log ? Math.log10(range.max) : range.max;
  return hi > lo ? (a - lo) / (hi - lo) : 0.5;
}

function colorOf(t, table) {
  if (Number.isNaN(t) || table.length === 0) return [150, 150, 150];
  const c = table[Math.max(0, Math.min(255, Math.round(t * 255)))];
  return [(c >>> 16) & 255, (c >>> 8) & 255, c & 255];
}

function formatNumber(v) {
  if (v === null || v === undefined || !Number.isFinite(v)) return String(v);
  if (v === 0) return '0';
  const a = Math.abs(v);
  return a >= 1e-3 && a < 1e5 ? v.toPrecision(5).replace(/\.?0+$/, '') : v.toExponential(3);
}

// ---- heat map -------------------------------------------------------------------------------

// Fits the mesh's real aspect ratio into the canvas's box.
function fieldBox(frame, canvas) {
  const width = Math.max((frame.nx - 1) * frame.dx, 1e-300);
  const height = Math.max((frame.ny - 1) * frame.dy, 1e-300);
  const scale = Math.min(canvas.width / width, canvas.height / height);
  const w = Math.max(1, Math.round(width * scale));
  const h = Math.max(1, Math.round(height * scale));
  return { x: Math.round((canvas.width - w) / 2), y: Math.round((canvas.height - h) / 2), w, h };
}

function drawField(frame) {
  const canvas = $('field');
  const ctx = canvas.getContext('2d');
  ctx.fillStyle = '#fff';
  ctx.fillRect(0, 0, canvas.width, canvas.height);
  const log = $('log-scale').checked;
  const range = valueRange(frame.values, log, quantityInfo().signed);
  const table = colorTable();
  const image = new ImageData(frame.nx, frame.ny);
  for (let j = 0; j < frame.ny; ++j) {
    const row = frame.ny - 1 - j;  // y up
    for (let i = 0; i < frame.nx; ++i) {
      const v = frame.values[i + frame.nx * j];
      const [r, g, b] = range ? colorOf(scaled(v, range, log), table) : [150, 150, 150];
      const p = 4 * (i + frame.nx * row);
      image.data[p] = r;
      image.data[p + 1] = g;
      image.data[p + 2] = b;
      image.data[p + 3] = 255;
    }
  }
  const bitmap = document.createElement('canvas');
  bitmap.width = frame.nx;
  bitmap.height = frame.ny;
  bitmap.getContext('2d').putImageData(image, 0, 0);
  const box = fieldBox(frame, canvas);
  ctx.imageSmoothingEnabled = false;
  ctx.drawImage(bitmap, box.x, box.y, box.w, box.h);
  drawColorBar(range, log, table);
}

function drawColorBar(range, log, table) {
  const canvas = $('colorbar');
  const ctx = canvas.getContext('2d');
  ctx.clearRect(0, 0, canvas.width, canvas.height);
  const top = 10;
  const height = canvas.height - 40;
  for (let y = 0; y < height; ++y) {
    const [r, g, b] = colorOf(1 - y / (height - 1), table);
    ctx.fillStyle = `rgb(${r},${g},${b})`;
    ctx.fillRect(0, top + y, 18, 1);
  }
  ctx.fillStyle = '#222';
  ctx.font = '11px sans-serif';
  const info = quantityInfo();
  ctx.fillText(`${info.name}${info.unit ? ' [' + info.unit + ']' : ''}`, 0, canvas.height - 12);
  if (!range) {
    ctx.fillText('no finite value', 22, top + 10);
    return;
  }
  for (let k = 0; k <= 4; ++k) {
    const t = k / 4;
    const value = log
      ? Math.pow(10, Math.log10(range.min) + t * (Math.log10(range.max) - Math.log10(range.min)))
      : range.min + t * (range.max - range.min);
    ctx.fillText(formatNumber(value), 22, top + (1 - t) * (height - 1) + 4);
  }
}

// ---- line plots -----------------------------------------------------------------------------

// series: [{points: [[x, y], ...], color, label}]; points with non-finite or (log) non-positive
// y are left out.
function drawChart(canvas, series, options = {}) {
  const ctx = canvas.getContext('2d');
  const w = canvas.width;
  const h = canvas.height;
  ctx.clearRect(0, 0, w, h);
  const pad = { left: 62, right: 8, top: 8, bottom: 22 };
  const usable = (y) => Number.isFinite(y) && (!options.logY || y > 0);
  const ty = (y) => (options.logY ? Math.log10(y) : y);
  let xmin = Infinity, xmax = -Infinity, ymin = Infinity, ymax = -Infinity;
  for (const s of series) {
    for (const [x, y] of s.points) {
      if (!usable(y)) continue;
      xmin = Math.min(xmin, x); xmax = Math.max(xmax, x);
      ymin = Math.min(ymin, ty(y)); ymax = Math.max(ymax, ty(y));
    }
  }
  ctx.font = '10px sans-serif';
  ctx.fillStyle = '#555';
  if (xmin > xmax) {
    ctx.fillText('no data yet', pad.left, h / 2);
    return;
  }
  if (xmax === xmin) xmax = xmin + 1;
  if (ymax === ymin) { ymax += Math.abs(ymax) * 0.05 || 1; ymin -= Math.abs(ymin) * 0.05 || 1; }
  const px = (x) => pad.left + ((x - xmin) / (xmax - xmin)) * (w - pad.left - pad.right);
  const py = (y) => h - pad.bottom - ((ty(y) - ymin) / (ymax - ymin)) * (h - pad.top - pad.bottom);
  ctx.strokeStyle = '#999';
  ctx.strokeRect(pad.left, pad.top, w - pad.left - pad.right, h - pad.top - pad.bottom);
  const label = (v) => formatNumber(options.logY ? Math.pow(10, v) : v);
  ctx.fillText(label(ymax), 2, pad.top + 8);
  ctx.fillText(label(ymin), 2, h - pad.bottom);
  ctx.fillText(formatNumber(xmin), pad.left, h - 6);
  ctx.fillText(formatNumber(xmax), w - pad.right - 40, h - 6);
  series.forEach((s, k) => {
    ctx.strokeStyle = s.color;
    ctx.beginPath();
    let started = false;
    for (const [x, y] of s.points) {
      if (!usable(y)) { started = false; continue; }
      if (started) ctx.lineTo(px(x), py(y)); else ctx.moveTo(px(x), py(y));
      started = true;
    }
    ctx.stroke();
    ctx.fillStyle = s.color;
    ctx.fillText(s.label, pad.left + 6 + 110 * k, pad.top + 10);
  });
}

// Model time and time step have different units: each is drawn on its own scale, normalised.
function drawHistory() {
  const h = view.history;
  const normalised = (key) => {
    const values = h.map((p) => p[key]).filter(Number.isFinite);
    const max = Math.max(...values.map(Math.abs), 0);
    return h.map((p) => [p.step, max > 0 ? p[key] / max : p[key]]);
  };
  const last = h[h.length - 1];
  drawChart($('chart-time'), [
    { points: normalised('dt'), color: '#c62828', label: `Δt (max ${formatNumber(Math.max(...h.map((p) => p.dt)))} s)` },
    { points: normalised('time'), color: '#1565c0', label: `t (${last ? formatNumber(last.time) : '–'} s)` },
  ]);
  const converging = last && Number.isFinite(last.change);
  $('convergence').hidden = !converging;
  $('density-change-figure').hidden = !converging;
  if (converging) {
    drawChart($('chart-convergence'),
      [{ points: h.map((p) => [p.step, p.change]), color: '#2e7d32', label: 'max |Δρ|' }],
      { logY: true });
  }
}

function drawCentreline(frame) {
  $('centreline').hidden = !frame.centreline;
  if (!frame.centreline) return;
  const computed = [];
  const exact = [];
  for (let i = 0; i < frame.nx; ++i) {
    computed.push([i * frame.dx, frame.centreline[i]]);
    exact.push([i * frame.dx, frame.centreline[frame.nx + i]]);
  }
  drawChart($('chart-centreline'), [
    { points: exact, color: '#212121', label: 'exact' },
    { points: computed, color: '#1565c0', label: quantityInfo().name },
  ]);
}

function drawProfiles(frame) {
  const n = frame.nx;
  const x = (k) => k * frame.dx;
  const current = [];
  const initial = [];
  for (let k = 0; k < n; ++k) {
    current.push([x(k), frame.values[k]]);
    initial.push([x(k), frame.values[n + k]]);
  }
  const canvas = $('field');
  drawChart(canvas, [
    { points: initial, color: '#9e9e9e', label: 'initial' },
    { points: current, color: '#1565c0', label: `t = ${formatNumber(frame.time)}` },
  ], { logY: $('log-scale').checked });
  $('colorbar').getContext('2d').clearRect(0, 0, $('colorbar').width, $('colorbar').height);
}

function draw() {
  const frame = view.frame;
  if (!frame) return;
  $('step').textContent = frame.steps;
  $('model-time').textContent = formatNumber(frame.time);
  $('time-step').textContent = formatNumber(frame.dt);
  $('density-change').textContent = formatNumber(frame.change);
  if (frame.kind === 2) drawProfiles(frame); else drawField(frame);
  drawCentreline(frame);
  drawHistory();
  showHover();
}

// ---- pointer --------------------------------------------------------------------------------

function nodeAt(event) {
  const frame = view.frame;
  if (!frame) return null;
  const canvas = $('field');
  const rect = canvas.getBoundingClientRect();
  const cx = ((event.clientX - rect.left) * canvas.width) / rect.width;
  const cy = ((event.clientY - rect.top) * canvas.height) / rect.height;
  if (frame.kind === 2) {
    const left = 62;
    const right = canvas.width - 8;
    const i = Math.round(((cx - left) / (right - left)) * (frame.nx - 1));
    return i >= 0 && i < frame.nx ? { i, j: 0 } : null;
  }
  const box = fieldBox(frame, canvas);
  const i = Math.floor(((cx - box.x) / box.w) * frame.nx);
  const j = frame.ny - 1 - Math.floor(((cy - box.y) / box.h) * frame.ny);
  return i >= 0 && i < frame.nx && j >= 0 && j < frame.ny ? { i, j } : null;
}

function showHover() {
  const frame = view.frame;
  const node = view.hover;
  if (!frame || !node || node.i >= frame.nx || node.j >= frame.ny) return;
  const v = frame.values[node.i + frame.nx * node.j];
  const info = quantityInfo();
  const where = frame.kind === 2 ? `point ${node.i}, x = ${formatNumber(node.i * frame.dx)}`
    : `node (${node.i}, ${node.j}), x = ${formatNumber(node.i * frame.dx)} m, y = ${formatNumber(node.j * frame.dy)} m`;
  $('hover').dataset.shown = `${where}\n${info.name} = ${formatNumber(v)} ${info.unit || ''}`;
  $('hover').textContent = $('hover').dataset.shown + ($('hover').dataset.probe || '');
}

let lastProbe = 0;
function onPointer(event) {
  view.hover = nodeAt(event);
  showHover();
  const now = performance.now();
  if (view.hover && now - lastProbe > 100) {
    lastProbe = now;
    send({ type: 'probe', i: view.hover.i, j: view.hover.j });
  }
}

function showProbe(message) {
  if (message.error || !message.values) return;
  const parts = Object.entries(message.values).map(([k, v]) => `${k} ${formatNumber(v)}`);
  $('hover').dataset.probe = '\n' + parts.join(', ');
  showHover();
}

// ---- messages -------------------------------------------------------------------------------

function send(message) {
  if (view.socket && view.socket.readyState === WebSocket.OPEN) {
    view.socket.send(JSON.stringify(message));
  }
}

function fillSelect(select, names, chosen) {
  const current = [...select.options].map((o) => o.value).join('\n');
  if (current !== names.join('\n')) {
    select.replaceChildren(...names.map((n) => new Option(n, n)));
  }
  if (chosen !== undefined && names.includes(chosen)) select.value = chosen;
}

function applyState(state) {
  const previous = view.state;
  view.state = state;
  if (!previous || previous.model !== state.model || previous.case !== state.case ||
      previous.nodes_x !== state.nodes_x || previous.nodes_y !== state.nodes_y) {
    view.history = [];
  }
  document.body.className = state.model;
  $('model-name').textContent = `${state.model}: ${state.case}, ${state.nodes_x}` +
    (state.model === 'flow' ? ` × ${state.nodes_y} nodes` : ' points');
  $('run').textContent = state.running ? 'Pause' : 'Run';
  $('steps-per-frame').value = state.steps_per_frame;
  const names = state.quantities.map((q) => q.name);
  if (!names.includes(view.quantity)) view.quantity = names[0];
  fillSelect($('quantity'), names, view.quantity);
  fillSelect($('colormap'), ['(the quantity\'s own)', ...Object.keys(state.colormaps)]);
  fillSelect($('case'), state.cases, state.model === 'flow' ? state.case : undefined);
  fillSelect($('initial'), state.initial_profiles, state.model === 'diffusion' ? state.case : undefined);
  if (!previous || previous.model !== state.model) $('model').value = state.model;
}

function onMessage(event) {
  if (typeof event.data !== 'string') {
    const frame = decodeFrame(event.data);
    if (frame) {
      view.frame = frame;
      recordHistory(frame);
      requestAnimationFrame(draw);
    }
    return;
  }
  const message = JSON.parse(event.data);
  if (message.type === 'state') applyState(message);
  else if (message.type === 'probe') showProbe(message);
  else if (message.type === 'error') {
    $('message').textContent = message.message;
    setTimeout(() => { $('message').textContent = ''; }, 8000);
  }
}

function connect() {
  const socket = new WebSocket(`ws://${location.host}/live?token=${encodeURIComponent(token)}`);
  socket.binaryType = 'arraybuffer';
  socket.onopen = () => {
    $('connection').textContent = 'live';
    $('connection').classList.add('online');
    if (view.quantity) send({ type: 'view', quantity: view.quantity });
  };
  socket.onclose = () => {
    $('connection').textContent = 'offline';
    $('connection').classList.remove('online');
    setTimeout(connect, 2000);
  };
  socket.onmessage = onMessage;
  view.socket = socket;
}

// ---- controls -------------------------------------------------------------------------------

function wholeNumber(id) {
  return Math.trunc(Number($(id).value));
}

function configure() {
  const model = $('model').value;
  const settings = model === 'flow'
    ? { case: $('case').value, nx: wholeNumber('nx'), ny: wholeNumber('ny') }
    : { initial: $('initial').value, segments: wholeNumber('segments') };
  send({ type: 'configure', model, settings });
}

function savePicture() {
  const frame = view.frame;
  const name = `nembra-${view.quantity || 'view'}-${frame ? frame.steps : 0}.png`;
  $('field').toBlob((blob) => {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  });
}

function wireControls() {
  $('run').onclick = () => send({ type: view.state && view.state.running ? 'pause' : 'run' });
  $('step-once').onclick = () => send({ type: 'step', count: 1 });
  $('step-n').onclick = () => send({ type: 'step', count: wholeNumber('step-count') });
  $('steps-per-frame').onchange = () => send({ type: 'steps_per_frame', value: wholeNumber('steps-per-frame') });
  $('reset').onclick = () => send({ type: 'reset' });
  $('apply').onclick = configure;
  $('model').onchange = () => { document.body.className = $('model').value; };
  $('quantity').onchange = () => {
    view.quantity = $('quantity').value;
    send({ type: 'view', quantity: view.quantity });
  };
  $('colormap').onchange = () => {
    view.colormap = $('colormap').selectedIndex === 0 ? null : $('colormap').value;
    draw();
  };
  $('log-scale').onchange = draw;
  $('save').onclick = savePicture;
  $('field').addEventListener('mousemove', onPointer);
}

wireControls();
connect();
