// The page: draws what the library's session hands back, turns the user's actions into its
// steps, and moves bytes. The library runs in Web Workers (worker.js), so the page never waits
// on a conversion or a search. window.vantrel is the page's API for scripts.
'use strict';

// A worker with its requests numbered: call(op, args, onProgress) gives a promise of the
// result, rejected with the library's message.
class Library {
  constructor() {
    this.start();
  }
  start() {
    this.worker = new Worker('worker.js');
    this.next = 0;
    this.waiting = new Map();
    this.worker.onmessage = ({data}) => {
      const request = this.waiting.get(data.id);
      if (!request) return;
      if ('progress' in data) {
        if (request.onProgress) request.onProgress(data.progress);
        return;
      }
      this.waiting.delete(data.id);
      if ('error' in data) request.reject(new Error(data.error));
      else request.resolve(data.result);
    };
    this.worker.onerror = (event) => {
      for (const request of this.waiting.values()) request.reject(new Error(event.message || 'The converter stopped'));
      this.waiting.clear();
    };
  }
  call(op, args = {}, onProgress = null, transfer = []) {
    const id = ++this.next;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, {resolve, reject, onProgress});
      this.worker.postMessage({id, op, ...args}, transfer);
    });
  }
  // Stops whatever the worker does and starts a fresh one.
  restart() {
    this.worker.terminate();
    for (const request of this.waiting.values()) request.reject(new Error('cancelled'));
    this.start();
  }
}

function asBytes(bytes) {
  if (bytes instanceof Uint8Array) return bytes.slice();
  if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes.slice(0));
  if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength));
  throw new TypeError('convert() takes the picture file as a Uint8Array or ArrayBuffer');
}

// --- The API: window.vantrel.convert(bytes, options) -------------------------------------

const api = new Library();
window.vantrel = {
  ready: api.call('palette').then(() => undefined),
  // Resolves to {exe, data, d64, png, asm, colours}; options as the command line's, named as
  // it names them without dashes, camelCase (scale, crop, offsets, colours, autoColours,
  // perCell, palette, mix, dither, noDither, machine, pack, asmSyntax), plus name: the file's
  // name on a disk, and file: the picture's file name for messages and the disk name.
  convert(bytes, options = {}) {
    const {file = 'picture', ...rest} = options || {};
    const copy = asBytes(bytes);
    return api.call('convert', {bytes: copy, file: String(file), options: rest}, null, [copy.buffer])
      .then(({exe, data, d64, png, asm, colours}) => ({exe, data, d64, png, asm, colours}));
  },
};

// --- The controls ----------------------------------------------------------------------

const $ = (id) => document.getElementById(id);
const ui = new Library();
const roleNames = ['Background', 'Bitmap 1', 'Sprite 1', 'Bitmap 2', 'Sprite 2'];
const channelNames = ['Red', 'Green', 'Blue'];
const state = {
  picture: null,        // {bytes, file}
  view: null,           // the session's last answer
  left: 0, top: 0,      // the window's corner in the scaled picture
  offsets: [0, 0, 0],
  dither: null,         // the option table's default until one is chosen
  model: null,          // {palette, mix}, the option table's defaults until chosen
  fitChosen: false,     // Fit holds for pictures opened later, until the scale is moved
  selectedRole: 0,
  palette: [],
  defaultRoles: [0, 2, 3, 7, 10],
  options: null,        // the library's option table: choices, ranges, defaults
};

function say(message) {
  $('status').textContent = message;
}

function rgbText([r, g, b]) {
  return `rgb(${r}, ${g}, ${b})`;
}

function adjustment() {
  return {offsets: state.offsets.slice(), dither: state.dither};
}

function draw(canvas, rgba, width, height, columns) {
  const context = canvas.getContext('2d');
  const image = new ImageData(columns, height);
  for (let y = 0; y < height; ++y) {
    image.data.set(rgba.subarray(y * width * 4, (y * width + columns) * 4), y * columns * 4);
  }
  context.putImageData(image, 0, 0);
}

// Shows the session's answer: both views, the roles and mixes, the scale and the crop.
function show(view) {
  state.view = view;
  state.left = view.left;
  state.top = view.top;
  draw($('source'), view.source, 192, 200, 192);
  showPalette(view.palette);
  draw($('preview'), view.preview, view.previewWidth, view.previewHeight, 192);
  showColours(view.roles, view.mixes);
  const scale = $('scale');
  scale.min = view.minScale;
  scale.max = view.maxScale;
  scale.value = view.scale;
  $('scale-value').textContent = view.fit ? `Fit (${view.scale} %)` : `${view.scale} %`;
  const left = $('crop-left');
  const top = $('crop-top');
  left.max = Math.max(0, view.pictureWidth - 192);
  top.max = Math.max(0, view.pictureHeight - 200);
  left.value = view.left;
  top.value = view.top;
}

// The palette swatches in the colours of the palette chosen.
function showPalette(colours) {
  colours.forEach((rgb, index) => {
    state.palette[index].rgb = rgb;
    const swatch = document.querySelector(`#palette button[data-index='${index}']`);
    if (swatch) swatch.style.background = rgbText(rgb);
  });
}

function showColours(roles, mixes) {
  roles.forEach((index, role) => {
    const swatch = $(`role-${role}`);
    swatch.style.background = rgbText(state.palette[index].rgb);
    swatch.title = state.palette[index].name;
    $(`role-label-${role}`).textContent = `${roleNames[role]}: ${state.palette[index].name}`;
  });
  mixes.forEach((rgb, code) => {
    const swatch = $(`mix-${code}`);
    swatch.style.background = rgbText(rgb);
    swatch.setAttribute('aria-label', `Mix ${code + 1}: ${rgb.join(', ')}`);
  });
}

// The crop and the adjustment change often (a drag, a slider): only the latest of the changes
// made while the worker converts is sent next.
let syncing = false;
let syncWanted = false;
async function sync() {
  if (!state.picture) return;
  if (syncing) {
    syncWanted = true;
    return;
  }
  syncing = true;
  try {
    do {
      syncWanted = false;
      show(await ui.call('move', {left: state.left, top: state.top, adjustment: adjustment()}));
    } while (syncWanted);
  } catch (failure) {
    say(failure.message);
  } finally {
    syncing = false;
  }
}

function enable(on) {
  for (const id of ['crop-left', 'crop-top', 'scale', 'auto', 'default', 'convert']) $(id).disabled = !on;
  for (const button of document.querySelectorAll('.downloads button')) button.disabled = !on;
}

// Every control waits while Auto Colors searches, but Cancel.
function busy(on) {
  for (const control of document.querySelectorAll('main input, main button, main select')) {
    if (control.id !== 'cancel') control.disabled = on;
  }
  if (!on) enable(Boolean(state.picture));
}

async function openFile(file) {
  say(`Opening ${file.name}…`);
  const bytes = new Uint8Array(await file.arrayBuffer());
  const scale = state.fitChosen ? 'fit' : String(state.view && !state.view.fit ? state.view.scale : 100);
  try {
    const view = await ui.call('open', {bytes: bytes.slice(), file: file.name, scale, adjustment: adjustment()});
    state.picture = {bytes, file: file.name};
    show(view);
    enable(true);
    say(view.warning || `${file.name}: ${view.pictureWidth} x ${view.pictureHeight} at ${view.scale} %`);
  } catch (failure) {
    say(failure.message);
  }
}

async function setScale(scale) {
  if (!state.picture) return;
  try {
    show(await ui.call('setScale', {scale, adjustment: adjustment()}));
  } catch (failure) {
    say(failure.message);
  }
}

async function setRole(role, index) {
  const roles = (state.view ? state.view.roles : state.defaultRoles).slice();
  roles[role] = index;
  try {
    const view = await ui.call('setRoles', {roles});
    if (state.picture) show(view);
    else showColours(view.roles, view.mixes);
  } catch (failure) {
    say(failure.message);
  }
}

// Another palette or mix: the swatches and mixes follow, and the picture is converted again.
async function setModel() {
  state.model = {palette: $('palette-name').value, mix: $('mix').value};
  try {
    const view = await ui.call('setModel', state.model);
    showPalette(view.palette);
    if (state.picture) {
      show(view);
      sync();
    } else {
      showColours(view.roles, view.mixes);
    }
  } catch (failure) {
    say(failure.message);
  }
}

// Auto Colors in a worker of its own, which opens the picture as shown and searches; the
// controls wait, and Cancel stops the search at once.
let search = null;
async function autoColours() {
  if (!state.picture || search) return;
  const goal = $('goal').value;
  search = new Library();
  busy(true);  // the search reads the window as it is now
  $('cancel').hidden = false;
  $('progress').value = 0;
  say(`Auto Colors (${goal})…`);
  try {
    const view = state.view;
    await search.call('open', {bytes: state.picture.bytes.slice(), file: state.picture.file,
                               scale: String(view.scale), adjustment: adjustment()});
    await search.call('setModel', state.model);
    await search.call('move', {left: view.left, top: view.top, adjustment: adjustment()});
    const progress = (permille) => { $('progress').value = permille; };
    let roles;
    if ($('per-cell').checked) {
      // Every cell's own colours; the roles shown beside them carry the sprite colours.
      const found = await search.call('findCells', {dither: state.dither, goal}, progress);
      roles = found.roles;
      await ui.call('setCells', {roles, cells: found.cells});
    } else {
      roles = await search.call('findRoles', {dither: state.dither, goal}, progress);
      await ui.call('setRoles', {roles});
    }
    show(await ui.call('convertAgain', {dither: state.dither}));
    const names = roles.map((index) => state.palette[index].name);
    say($('per-cell').checked
      ? `Auto Colors (${goal}) per cell: sprite colours ${names[2]}, ${names[4]}`
      : `Auto Colors (${goal}): ${names.join(', ')}`);
  } catch (failure) {
    say(failure.message === 'cancelled' ? 'Auto Colors cancelled' : failure.message);
  } finally {
    search.worker.terminate();
    search = null;
    $('cancel').hidden = true;
    busy(false);
    $('progress').value = 0;
  }
}

async function download(kind) {
  const machine = $('machine').value;
  try {
    const bytes = await ui.call('output', {kind, machine, name: '', pack: $('pack').checked,
                                           syntax: $('asm-syntax').value});
    const base = state.picture.file.replace(/\.[^.]*$/, '') || 'picture';
    const extension = {exe: '.prg', d64: '.d64', data: '.bin', png: '.png', asm: '.asm'}[kind];
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], {type: kind === 'png' ? 'image/png' : 'application/octet-stream'}));
    link.download = base + extension;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    say(`Saved ${link.download} (${bytes.length} bytes)`);
  } catch (failure) {
    say(failure.message);
  }
}

function setOffset(channel, value) {
  const {min, max} = state.options.offsets;
  const number = Math.max(min, Math.min(max, Math.trunc(Number(value)) || 0));
  state.offsets[channel] = number;
  $(`offset-${channel}`).value = number;
  $(`offset-box-${channel}`).value = number;
  sync();
}

function buildControls() {
  const roles = $('roles');
  roleNames.forEach((name, role) => {
    const label = document.createElement('label');
    label.innerHTML = `<input type="radio" name="role" value="${role}"${role ? '' : ' checked'}>` +
      `<span class="swatch" id="role-${role}"></span><span id="role-label-${role}">${name}</span>`;
    label.querySelector('input').addEventListener('change', () => { state.selectedRole = role; });
    roles.append(label);
  });
  const palette = $('palette');
  state.palette.forEach(({rgb, name}, index) => {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'swatch';
    button.style.background = rgbText(rgb);
    button.setAttribute('aria-label', `${index} ${name}`);
    button.title = `${index} ${name}`;
    button.dataset.index = index;
    button.addEventListener('click', () => setRole(state.selectedRole, index));
    palette.append(button);
  });
  const mixes = $('mixes');
  for (let code = 0; code < 9; ++code) {
    const swatch = document.createElement('span');
    swatch.className = 'swatch';
    swatch.id = `mix-${code}`;
    swatch.setAttribute('role', 'listitem');
    mixes.append(swatch);
  }
  const offsets = $('offsets');
  const {min, max} = state.options.offsets;
  channelNames.forEach((name, channel) => {
    const row = document.createElement('p');
    const range = `min="${min}" max="${max}" value="0"`;
    row.innerHTML = `<label for="offset-${channel}">${name}</label>` +
      `<input type="range" id="offset-${channel}" ${range}>` +
      `<input type="number" id="offset-box-${channel}" ${range} aria-label="${name} offset">`;
    offsets.append(row);
    row.querySelector('input[type=range]').addEventListener('input', (event) => setOffset(channel, event.target.value));
    row.querySelector('input[type=number]').addEventListener('change', (event) => setOffset(channel, event.target.value));
  });
  // The choices of the dithering, the Auto Colors goal and the target, as the library names them.
  const {dither, machine} = state.options;
  state.dither = dither.defaultValue;
  for (const {name, caption} of dither.choices) {
    const label = document.createElement('label');
    label.innerHTML = `<input type="radio" name="dither" value="${name}"${name === dither.defaultValue ? ' checked' : ''}> ${caption}`;
    $('ditherings').append(label);
  }
  fillSelect($('goal'), state.options['auto-colours'].choices, '');
  fillSelect($('machine'), machine.choices, machine.defaultValue);
  const syntax = state.options['asm-syntax'];
  fillSelect($('asm-syntax'), syntax.choices, syntax.defaultValue);
  const palettes = state.options.palette;
  const mixRules = state.options.mix;
  fillSelect($('palette-name'), palettes.choices, palettes.defaultValue);
  fillSelect($('mix'), mixRules.choices, mixRules.defaultValue);
  state.model = {palette: palettes.defaultValue, mix: mixRules.defaultValue};
}

function fillSelect(select, choices, chosen) {
  for (const {name, caption} of choices) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = caption;
    option.selected = name === chosen;
    select.append(option);
  }
}

function wireControls() {
  $('file').addEventListener('change', (event) => {
    if (event.target.files.length) openFile(event.target.files[0]);
  });
  document.addEventListener('dragover', (event) => { event.preventDefault(); });
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    if (event.dataTransfer.files.length) openFile(event.dataTransfer.files[0]);
  });
  $('crop-left').addEventListener('input', (event) => { state.left = Number(event.target.value); sync(); });
  $('crop-top').addEventListener('input', (event) => { state.top = Number(event.target.value); sync(); });
  // Dragging the picture moves the crop the other way, as a hand moves paper.
  const source = $('source');
  let drag = null;
  source.addEventListener('pointerdown', (event) => {
    if (!state.picture) return;
    const pixel = source.getBoundingClientRect().width / 192;
    drag = {x: event.clientX, y: event.clientY, left: state.left, top: state.top, pixel};
    source.setPointerCapture(event.pointerId);
  });
  source.addEventListener('pointermove', (event) => {
    if (!drag) return;
    state.left = clampCrop(drag.left - Math.round((event.clientX - drag.x) / drag.pixel), 'crop-left');
    state.top = clampCrop(drag.top - Math.round((event.clientY - drag.y) / drag.pixel), 'crop-top');
    sync();
  });
  source.addEventListener('pointerup', () => { drag = null; });
  source.addEventListener('keydown', (event) => {
    const step = event.shiftKey ? 10 : 1;
    const moves = {ArrowLeft: [-step, 0], ArrowRight: [step, 0], ArrowUp: [0, -step], ArrowDown: [0, step]};
    if (!state.picture || !moves[event.key]) return;
    event.preventDefault();
    state.left = clampCrop(state.left + moves[event.key][0], 'crop-left');
    state.top = clampCrop(state.top + moves[event.key][1], 'crop-top');
    sync();
  });
  $('scale').addEventListener('change', (event) => {
    state.fitChosen = false;
    setScale(String(event.target.value));
  });
  $('scale').addEventListener('input', (event) => {
    $('scale-value').textContent = `${event.target.value} %`;
  });
  $('fit').addEventListener('click', () => {
    state.fitChosen = true;
    if (state.picture) setScale('fit');
    else $('scale-value').textContent = 'Fit';
  });
  for (const radio of document.querySelectorAll('input[name=dither]')) {
    radio.addEventListener('change', () => { state.dither = radio.value; sync(); });
  }
  $('default').addEventListener('click', async () => {
    state.offsets = [0, 0, 0];
    for (let channel = 0; channel < 3; ++channel) {
      $(`offset-${channel}`).value = 0;
      $(`offset-box-${channel}`).value = 0;
    }
    state.dither = state.options.dither.defaultValue;
    document.querySelector(`input[name=dither][value="${state.dither}"]`).checked = true;
    try {
      await ui.call('setRoles', {roles: state.defaultRoles});
    } catch (failure) {
      say(failure.message);
    }
    sync();
  });
  $('convert').addEventListener('click', async () => {
    try {
      show(await ui.call('convertAgain', {dither: state.dither}));
    } catch (failure) {
      say(failure.message);
    }
  });
  $('auto').addEventListener('click', autoColours);
  $('palette-name').addEventListener('change', setModel);
  $('mix').addEventListener('change', setModel);
  $('cancel').addEventListener('click', () => { if (search) search.restart(); });
  for (const button of document.querySelectorAll('.downloads button')) {
    button.addEventListener('click', () => download(button.dataset.kind));
  }
}

function clampCrop(value, id) {
  return Math.max(0, Math.min(Number($(id).max), value));
}

async function start() {
  const {palette, defaultRoles, options} = await ui.call('palette');
  state.palette = palette;
  state.defaultRoles = defaultRoles;
  state.options = options;
  buildControls();
  wireControls();
  const view = await ui.call('setRoles', {roles: defaultRoles});
  showColours(view.roles, view.mixes);
  document.body.dataset.ready = 'true';
}

start().catch((failure) => say(failure.message));
// Offline once loaded: the site's files kept by a service worker (where the browser allows one).
if ('serviceWorker' in navigator) navigator.serviceWorker.register('offline.js').catch(() => {});
