// One session of the library per worker. The page sends {id, op, ...} and gets back
// {id, result} or {id, error}, and {id, progress} while Auto Colors searches. Every rule of the
// conversion is the library's; this file moves bytes in and out of it.
'use strict';

importScripts('vantrel.js');

let Module = null;
let session = null;
const loaded = VantrelModule().then((module) => {
  Module = module;
  session = new module.Session();
});

// Runs `use(address)` with `bytes` copied into the module's memory.
function withBytes(bytes, use) {
  const address = Module._malloc(Math.max(bytes.length, 1));
  try {
    Module.HEAPU8.set(bytes, address);
    return use(address);
  } finally {
    Module._free(address);
  }
}

// A picture of a format the library leaves to the browser, as RGBA bytes, upright.
async function browserPixels(bytes, file) {
  let bitmap;
  try {
    bitmap = await createImageBitmap(new Blob([bytes]), {
      colorSpaceConversion: 'none',
      imageOrientation: 'from-image',
      premultiplyAlpha: 'none',
    });
  } catch (failure) {
    throw new Error(`Cannot open file ${file}: not a picture this browser can read`);
  }
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  const context = canvas.getContext('2d', {colorSpace: 'srgb'});
  context.drawImage(bitmap, 0, 0);
  const pixels = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
  return {pixels, width: bitmap.width, height: bitmap.height};
}

// Calls `library(address, size)` for a picture the library decodes, else `browser(address,
// width, height)` with the browser's decode.
async function withPicture(bytes, file, library, browser) {
  const decodes = withBytes(bytes, (address) => Module.Session.decodesPicture(address, bytes.length));
  if (decodes) return withBytes(bytes, (address) => library(address, bytes.length));
  const {pixels, width, height} = await browserPixels(bytes, file);
  return withBytes(pixels, (address) => browser(address, width, height));
}

const operations = {
  async convert({bytes, file, options}) {
    return withPicture(
      bytes, file,
      (address, size) => Module.Session.convert(address, size, file, options),
      (address, width, height) => Module.Session.convertPixels(address, width, height, file, options));
  },
  palette() {
    return {palette: Module.Session.palette(), defaultRoles: Module.Session.defaultRoles(),
            options: Module.Session.options()};
  },
  async open({bytes, file, scale, adjustment}) {
    return withPicture(
      bytes, file,
      (address, size) => session.open(address, size, file, scale, adjustment),
      (address, width, height) => session.openPixels(address, width, height, file, scale, adjustment));
  },
  setScale: ({scale, adjustment}) => session.setScale(scale, adjustment),
  move: ({left, top, adjustment}) => session.move(left, top, adjustment),
  reconvert: ({adjustment}) => session.reconvert(adjustment),
  convertAgain: ({dither}) => session.convertAgain(dither),
  setRoles: ({roles}) => session.setRoles(roles),
  setModel: ({palette, mix}) => session.setModel(palette, mix),
  findRoles({dither, goal}, id) {
    let last = -1;
    return session.findRoles(dither, goal, (permille) => {
      if (permille === last) return;
      last = permille;
      postMessage({id, progress: permille});
    });
  },
  findCells({dither, goal}, id) {
    let last = -1;
    return session.findCells(dither, goal, (permille) => {
      if (permille === last) return;
      last = permille;
      postMessage({id, progress: permille});
    });
  },
  setCells: ({roles, cells}) => session.setCells(roles, cells),
  output: ({kind, machine, name, pack, syntax}) =>
    session.output(kind, machine, name, Boolean(pack), syntax),
  timeConversion: ({dither, runs}) => session.timeConversion(dither, runs),
};

// The Uint8Arrays of a result, handed over rather than copied.
function transferables(result) {
  if (result instanceof Uint8Array) return [result.buffer];
  if (!result || typeof result !== 'object') return [];
  return Object.values(result).filter((value) => value instanceof Uint8Array).map((value) => value.buffer);
}

onmessage = async ({data}) => {
  const {id, op} = data;
  try {
    await loaded;
    const result = await operations[op](data, id);
    if (result && typeof result === 'object' && typeof result.error === 'string') {
      postMessage({id, error: result.error});
    } else {
      postMessage({id, result}, transferables(result));
    }
  } catch (failure) {
    postMessage({id, error: failure instanceof Error ? failure.message : String(failure)});
  }
};
