// The engine's worker: the WebAssembly module of the explorer (nimbrel-web.js,
// or nimbrel-web-mt.js with threads), the files it reads, and the loop that
// runs it. The page sends input as messages; the worker answers with the
// picture as it grows and the state after every step.
'use strict';

let M = null;          // the module
let rgba = 0;          // the module's buffer for the picture
let rgbaBytes = 0;
let lastPost = 0;
let firstYield = true;
let seq = 0;           // the last message taken
let running = false;
let mailbox = null;    // shared with the page when it is cross-origin isolated
const pending = [];

function str(ptr) { return M.UTF8ToString(ptr); }
function withString(text, fn) {
  const n = M.lengthBytesUTF8(text) + 1;
  const p = M._malloc(n);
  M.stringToUTF8(text, p, n);
  try { return fn(p); } finally { M._free(p); }
}

function postPicture() {
  const w = M._nw_picture_width(), h = M._nw_picture_height();
  if (w <= 0 || h <= 0) return;
  const bytes = w * h * 4;
  if (bytes > rgbaBytes) {
    if (rgba) M._free(rgba);
    rgba = M._malloc(bytes);
    rgbaBytes = bytes;
  }
  M._nw_picture_rgba(rgba, w, h);
  const copy = M.HEAPU8.slice(rgba, rgba + bytes);
  postMessage({type: 'picture', width: w, height: h, rgba: copy.buffer}, [copy.buffer]);
  lastPost = performance.now();
}

function state(busy, withLink = true) {
  postMessage({
    type: 'state', busy, seq,
    complete: !!M._nw_complete(),
    link: withLink ? str(M._nw_link()) : '',
    status: str(M._nw_status()),
    message: str(M._nw_message()),
    palette: str(M._nw_palette()),
    palettes: str(M._nw_palette_names()).split('\n').filter(s => s),
    mode: M._nw_draw_mode(), power: M._nw_power(), maxIter: M._nw_max_iter(),
    sceneIndex: M._nw_scene_index(), sceneCount: M._nw_scene_count(),
    stats: {milliseconds: M._nw_seconds() * 1000, iterations: M._nw_iterations(), threads: M._nw_threads(),
            pictures: M._nw_completed()},
  });
}

// Between the rows of a draw: the input that came meanwhile (shared memory
// only), and the picture at most about 30 times a second.
self.nimbrelYield = function () {
  if (firstYield) {
    firstYield = false;
    state(true);
  }
  if (mailbox) takeMailbox();
  if (performance.now() - lastPost > 33) postPicture();
};

// The page writes messages as JSON into a shared ring while a draw runs:
// Uint32 [0] = bytes written, [1] = bytes taken, then the bytes.
function takeMailbox() {
  const head = new Uint32Array(mailbox, 0, 2);
  const data = new Uint8Array(mailbox, 8);
  let taken = Atomics.load(head, 1);
  const written = Atomics.load(head, 0);
  if (taken === written) return;
  const bytes = new Uint8Array((written - taken) >>> 0);
  for (let i = 0; taken !== written; ++i, taken = (taken + 1) >>> 0) bytes[i] = data[taken % data.length];
  Atomics.store(head, 1, taken);
  const text = new TextDecoder().decode(bytes);
  for (const line of text.split('\n')) if (line) deliver(JSON.parse(line));
}

// The page's messages in the order of their numbers: the ring and the
// messages too big for it may overtake each other.
const early = new Map();
function deliver(m) {
  if (!m.seq) { handle(m); return; }
  if (m.seq <= seq) return;
  early.set(m.seq, m);
  while (early.has(seq + 1)) {
    const next = early.get(seq + 1);
    early.delete(seq + 1);
    handle(next);
  }
}

function write(path, bytes) {
  const dir = path.substring(0, path.lastIndexOf('/'));
  M.FS.mkdirTree(dir);
  M.FS.writeFile(path, new Uint8Array(bytes));
}

function sendKept() {
  let bytes = new Uint8Array(0);
  try { bytes = M.FS.readFile('/work/kept.mrp'); } catch (e) { /* nothing kept yet */ }
  postMessage({type: 'kept', bytes: bytes.slice().buffer});
}

// A failure the module did not answer itself ends as a message, never as a
// worker that stops answering.
function handle(m) {
  try {
    take(m);
  } catch (error) {
    postMessage({type: 'error', text: 'internal error: ' + (error && error.message || error)});
  }
  schedule();
}

function take(m) {
  if (m.seq) seq = m.seq;
  switch (m.type) {
    case 'wake':
      if (mailbox) takeMailbox();
      return;
    case 'input':
      M._nw_input(m.gesture, m.key || 0, m.shift ? 1 : 0, m.x | 0, m.y | 0, m.x2 | 0, m.y2 | 0);
      break;
    case 'post':
      withString(m.path || '', p => M._nw_post(m.action, m.x | 0, m.y | 0, m.x2 | 0, m.y2 | 0, m.value | 0, p));
      if (m.action === 19) afterStep.push(sendKept);
      break;
    case 'link': {
      const error = withString(m.fragment, p => str(M._nw_show_link(p)));
      if (error) postMessage({type: 'error', text: error, link: m.fragment});
      break;
    }
    case 'scenes': {
      if (m.bytes) write(m.file, m.bytes);
      const error = withString(m.file, p => str(M._nw_open_scenes(p, m.index | 0)));
      if (error) postMessage({type: 'error', text: error});
      break;
    }
    case 'step-scene': {
      const error = str(M._nw_step_scene(m.step));
      if (error) postMessage({type: 'error', text: error});
      else if (m.journey) withString('', p => M._nw_post(6, 0, 0, 0, 0, 0, p));  // the journey into it
      break;
    }
    case 'palette': {
      write('/site/palettes/' + m.name + '.mcf', m.bytes);
      withString(m.name, p => M._nw_post(13, 0, 0, 0, 0, 0, p));
      afterStep.push(() => {
        if (str(M._nw_palette()) !== m.name)
          postMessage({type: 'error', text: str(M._nw_message()) || ('not opened: ' + m.name)});
      });
      break;
    }
  }
}

const afterStep = [];

function schedule() {
  if (running) return;
  running = true;
  setTimeout(loop, 0);
}

function loop() {
  running = false;
  if (!M._nw_has_work()) {
    while (afterStep.length) afterStep.shift()();
    postPicture();
    state(false);
    return;
  }
  firstYield = true;
  // Busy, before the commands queued are taken: the view is still the one
  // before them, so no link goes with it.
  state(true, false);
  M._nw_step();
  postPicture();
  while (afterStep.length) afterStep.shift()();
  state(M._nw_has_work() !== 0);
  schedule();
}

onmessage = async (event) => {
  const m = event.data;
  if (m.type !== 'init') {
    if (M) deliver(m); else pending.push(m);
    return;
  }
  mailbox = m.mailbox || null;
  importScripts(m.script);
  M = await NimbrelModule({
    instantiateWasm(imports, done) {
      WebAssembly.instantiate(m.module, imports).then(instance => done(instance, m.module));
      return {};
    },
    print: () => {}, printErr: () => {},
    mainScriptUrlOrBlob: m.script,
  });
  for (const f of m.files) write(f.path, f.bytes);
  M.FS.mkdirTree('/work');
  if (m.kept && m.kept.byteLength) write('/work/kept.mrp', m.kept);
  M._nw_start(m.width, m.height);
  if (m.scenes) {
    if (m.scenes.bytes) write(m.scenes.file, m.scenes.bytes);
    withString(m.scenes.file, p => M._nw_open_scenes(p, m.scenes.index | 0));
  }
  if (m.link) {
    const error = withString(m.link, p => str(M._nw_show_link(p)));
    if (error) postMessage({type: 'error', text: error, link: m.link});
  }
  seq = m.seq || 0;
  postMessage({type: 'ready'});
  for (const p of pending.splice(0)) deliver(p);
  schedule();
};
