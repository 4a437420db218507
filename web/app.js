// The page: the canvas, the panel and the address, over the engine's worker
// (engine-worker.js). Every input becomes a message to the worker; a running
// picture is cancelled by the input itself (shared memory: the worker reads
// it between rows) or else by ending the worker and starting a new one on
// the view shown, with the files it had.
'use strict';
(function () {
  const $ = id => document.getElementById(id);
  const canvas = $('picture'), ctx = canvas.getContext('2d');
  const statusEl = $('status'), messageEl = $('message');
  const KEPT = 'nimbrel.kept';
  // The explorer's numbers (shell/explorer.h, shell/explorer_input.h).
  const A = {ZoomIn: 0, ZoomOut: 1, Pan: 2, ZoomRect: 3, Journey: 6, DrawMode: 8, ChoosePalette: 13, Power: 14, Resize: 18,
             Keep: 19};
  const G = {Key: 0, WheelUp: 1, WheelDown: 2, LeftDrag: 3, RightDrag: 4};
  const K = {Escape: 1, Backspace: 2, Home: 3, Tab: 4, PageDown: 5, PageUp: 6, F1: 7, F12: 8, j: 9, p: 10,
             s: 11, z: 12, '+': 13, '=': 13, '-': 14};

  const threaded = self.crossOriginIsolated === true && typeof SharedArrayBuffer === 'function';
  let moduleScript = 'nimbrel-web.js', wasmName = 'nimbrel-web.wasm';
  let wasmModule = null, files = [], worker = null, workerReady = false;
  let mailbox = null;
  let seqSent = 0, state = null, busy = false, link = '', fromAddress = false;
  let sceneSet = {file: '/site/gallery/scenes.mrp', index: 0};
  let userScenes = null;  // {file, bytes}
  const userPalettes = [];
  let size = {w: 0, h: 0};
  let image = null;       // the last picture, as ImageData
  let pictures = 0;       // the pictures the worker has sent
  let idleWaiters = [];
  let kept = loadKept();
  let readyResolve;
  const ready = new Promise(r => { readyResolve = r; });

  function loadKept() {
    const text = localStorage.getItem(KEPT) || '';
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i) & 255;
    return bytes;
  }
  function storeKept(bytes) {
    kept = bytes;
    let text = '';
    for (let i = 0; i < bytes.length; i++) text += String.fromCharCode(bytes[i]);
    localStorage.setItem(KEPT, text);
    updateDownload();
  }
  function keptLines() {
    if (!kept.length) return [];
    return new TextDecoder('shift_jis').decode(kept).split(/\r\n|\r|\n/)
      .filter(l => /^\s*t\s*=\s*(mandel|julia)\s*,/i.test(l));
  }
  let downloadUrl = null;
  function updateDownload() {
    if (downloadUrl) URL.revokeObjectURL(downloadUrl);
    downloadUrl = URL.createObjectURL(new Blob([kept], {type: 'application/octet-stream'}));
    $('download-kept').href = downloadUrl;
    $('download-kept').textContent = 'kept scenes (.mrp, ' + keptLines().length + ')';
  }

  function showMessage(text) { messageEl.textContent = text || ''; }

  function fitCanvas() {
    const dpr = window.devicePixelRatio || 1;
    const w = Math.max(1, Math.round(canvas.clientWidth * dpr)), h = Math.max(1, Math.round(canvas.clientHeight * dpr));
    if (w !== canvas.width || h !== canvas.height) {
      canvas.width = w;
      canvas.height = h;
      if (image) ctx.putImageData(image, 0, 0);
    }
    return {w, h};
  }

  // The message for the worker; cancels the running picture if Cancels.
  // Messages are numbered; the worker takes them in that order whichever way
  // they come.
  function send(message, cancels) {
    if (cancels) showMessage('');
    const ring = worker && mailbox ? encodeForMailbox(message) : null;
    // Without the shared ring (no isolation, a file's bytes, or no room in it)
    // a draw under way ends with its worker: the new one starts on the view
    // shown, and the message follows.
    if (worker && !ring && cancels && busy && workerReady) restart();
    message.seq = ++seqSent;
    if (!worker) return;
    if (ring && writeMailbox(ring(message.seq))) {
      // The worker reads the ring between rows; the note wakes it when it
      // is not drawing.
      worker.postMessage({type: 'wake'});
      return;
    }
    worker.postMessage(message);
  }

  // The ring takes plain messages as JSON lines; a file's bytes go as a
  // message of their own.
  function encodeForMailbox(message) {
    if (message.bytes !== undefined) return null;
    return seq => new TextEncoder().encode(JSON.stringify(Object.assign({}, message, {seq})) + '\n');
  }

  // Uint32 [0] = bytes written, [1] = bytes taken (both counting on past 2^32),
  // then the bytes. False when the message does not fit in the room left.
  function writeMailbox(bytes) {
    const head = new Uint32Array(mailbox, 0, 2), data = new Uint8Array(mailbox, 8);
    let written = Atomics.load(head, 0);
    if (((written - Atomics.load(head, 1)) >>> 0) + bytes.length > data.length) return false;
    for (const b of bytes) { data[written % data.length] = b; written = (written + 1) >>> 0; }
    Atomics.store(head, 0, written);
    return true;
  }

  // The worker starts on First, a link (the view shown when it is empty).
  function startWorker(first = link) {
    worker = new Worker('engine-worker.js');
    workerReady = false;
    busy = true;
    worker.onmessage = onWorker;
    if (threaded) mailbox = new SharedArrayBuffer(8 + 65536);
    const init = {type: 'init', script: moduleScript, module: wasmModule, width: size.w, height: size.h,
                  files: files.concat(userPalettes), kept: kept.slice().buffer, link: first, seq: seqSent,
                  mailbox, scenes: userScenes && sceneSet.file === userScenes.file
                    ? {file: sceneSet.file, index: sceneSet.index, bytes: userScenes.bytes}
                    : {file: sceneSet.file, index: sceneSet.index}};
    worker.postMessage(init);
  }
  function restart() {
    worker.terminate();
    startWorker();
  }

  function onWorker(event) {
    const m = event.data;
    switch (m.type) {
      case 'ready': workerReady = true; break;
      case 'picture':
        ++pictures;
        image = new ImageData(new Uint8ClampedArray(m.rgba), m.width, m.height);
        draw();
        break;
      case 'state': onState(m); break;
      case 'error': showMessage(m.text); if (m.link !== undefined && fromAddress) restoreAddress(); break;
      case 'kept': storeKept(new Uint8Array(m.bytes)); break;
    }
  }

  function onState(s) {
    state = s;
    busy = s.busy;
    if (s.link && s.link !== link) {
      const first = !link;
      link = s.link;
      // The show's scenes follow each other in one entry of the history.
      if (first || fromAddress || showing) history.replaceState(null, '', '#' + link);
      else history.pushState(null, '', '#' + link);
      fromAddress = false;
    }
    sceneSet.index = s.sceneIndex >= 0 ? s.sceneIndex : sceneSet.index;
    updatePanel(s);
    if (!s.busy && s.seq === seqSent) {
      const waiters = idleWaiters;
      idleWaiters = [];
      waiters.forEach(r => r());
      if (showing) showNext();
    }
  }

  function restoreAddress() {
    if (link) history.replaceState(null, '', '#' + link);
    fromAddress = false;
  }

  function updatePanel(s) {
    const st = s.stats;
    // The explorer counts its own scenes (one: the view it was given); the
    // page names the scene of the set instead, when the view is one.
    const scene = s.sceneIndex >= 0 && s.sceneCount > 0 ? `scene ${s.sceneIndex + 1}/${s.sceneCount}` : '';
    const status = s.status.replace(/ {2}scene \d+\/\d+/, scene ? '  ' + scene : '');
    statusEl.textContent = status + '\n' + (s.complete
      ? `${Math.round(st.milliseconds)} ms, ${st.iterations} iterations, ${st.threads} thread${st.threads > 1 ? 's' : ''}`
      : 'drawing…');
    const pal = $('palette');
    const names = [''].concat(s.palettes);
    if (pal.options.length !== names.length || names.some((n, i) => pal.options[i].value !== n)) {
      pal.innerHTML = '';
      for (const n of names) pal.add(new Option(n || 'built-in', n));
    }
    pal.value = s.palette;
    $('mode').value = String(s.mode);
    $('power').value = String(s.power);
    if (document.activeElement !== $('iterations')) $('iterations').value = String(s.maxIter);
  }

  // The picture, moved while a drag moves it.
  let dragOffset = null;
  function draw() {
    if (!image) return;
    if (dragOffset) {
      ctx.fillStyle = '#000';
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      ctx.putImageData(image, dragOffset.x, dragOffset.y);
    } else {
      ctx.putImageData(image, 0, 0);
    }
  }

  function pixel(e) {
    const r = canvas.getBoundingClientRect(), dpr = window.devicePixelRatio || 1;
    return {x: Math.floor((e.clientX - r.left) * dpr), y: Math.floor((e.clientY - r.top) * dpr)};
  }

  // Input on the picture.
  canvas.addEventListener('wheel', e => {
    e.preventDefault();
    if (showing) return;
    const p = pixel(e);
    showMessage('');
    send({type: 'input', gesture: e.deltaY < 0 ? G.WheelUp : G.WheelDown, shift: e.shiftKey, x: p.x, y: p.y}, true);
  }, {passive: false});
  let drag = null;
  // Two fingers: every doubling (or halving) of their distance zooms in (or
  // out) by 2 at the point between them, as a wheel notch there would.
  const touches = new Map();
  let pinch = null;
  function pinchState() {
    const [a, b] = [...touches.values()];
    return {distance: Math.hypot(a.x - b.x, a.y - b.y), x: Math.floor((a.x + b.x) / 2), y: Math.floor((a.y + b.y) / 2)};
  }
  function endTouch(e) {
    if (!touches.delete(e.pointerId)) return false;
    if (pinch) {
      if (touches.size === 0) pinch = null;
      return true;
    }
    return false;
  }
  canvas.addEventListener('pointerdown', e => {
    if (showing) return;
    if (e.pointerType === 'touch') {
      touches.set(e.pointerId, pixel(e));
      if (touches.size === 2) {
        // The first finger's drag becomes the pinch.
        drag = null;
        dragOffset = null;
        draw();
        pinch = pinchState();
        return;
      }
      if (touches.size > 2 || pinch) return;
    }
    if (e.button !== 0 && e.button !== 2) return;
    try { canvas.setPointerCapture(e.pointerId); } catch (error) { /* a pointer that is gone already */ }
    drag = {start: pixel(e), shift: e.shiftKey, button: e.button, client: {x: e.clientX, y: e.clientY}};
  });
  canvas.addEventListener('pointermove', e => {
    if (touches.has(e.pointerId)) touches.set(e.pointerId, pixel(e));
    if (pinch && touches.size === 2) {
      const now = pinchState();
      const ratio = now.distance / Math.max(pinch.distance, 1);
      if (ratio >= 2 || ratio <= 0.5) {
        showMessage('');
        send({type: 'input', gesture: ratio >= 2 ? G.WheelUp : G.WheelDown, shift: false, x: now.x, y: now.y}, true);
        pinch = now;
      }
      return;
    }
    if (!drag) return;
    const p = pixel(e);
    if (drag.shift || drag.button === 2) {
      const r = $('rect');
      r.hidden = false;
      r.style.left = Math.min(e.clientX, drag.client.x) + 'px';
      r.style.top = Math.min(e.clientY, drag.client.y) + 'px';
      r.style.width = Math.abs(e.clientX - drag.client.x) + 'px';
      r.style.height = Math.abs(e.clientY - drag.client.y) + 'px';
    } else {
      dragOffset = {x: p.x - drag.start.x, y: p.y - drag.start.y};
      draw();
    }
  });
  canvas.addEventListener('pointercancel', e => { endTouch(e); drag = null; dragOffset = null; $('rect').hidden = true; draw(); });
  canvas.addEventListener('pointerup', e => {
    if (endTouch(e)) return;
    if (!drag) return;
    const p = pixel(e), d = drag;
    drag = null;
    $('rect').hidden = true;
    dragOffset = null;
    if (p.x === d.start.x && p.y === d.start.y) { draw(); return; }
    showMessage('');
    send({type: 'input', gesture: d.button === 2 ? G.RightDrag : G.LeftDrag, shift: d.shift,
          x: d.start.x, y: d.start.y, x2: p.x, y2: p.y}, true);
  });
  canvas.addEventListener('contextmenu', e => e.preventDefault());
  window.addEventListener('keydown', e => {
    if (showing) { endShow(); e.preventDefault(); return; }
    if (e.target instanceof HTMLInputElement || e.target instanceof HTMLSelectElement) return;
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    let key = K[e.key] || K[e.key.toLowerCase()] || 0;
    if (e.key === 'Backspace') { history.back(); e.preventDefault(); return; }
    if (/^Digit[0-9]$/.test(e.code)) key = 15 + Number(e.code.slice(5));
    else if (/^Numpad[0-9]$/.test(e.code)) key = 15 + Number(e.code.slice(6));
    if (key === K.PageDown || key === K.PageUp) { stepScene(key === K.PageDown ? 1 : -1); e.preventDefault(); return; }
    if (!key || key === K.F12 || key === K.Escape) return;
    e.preventDefault();
    showMessage('');
    send({type: 'input', gesture: G.Key, key, shift: e.shiftKey}, true);
  });

  // The panel.
  $('mode').addEventListener('change', e => send({type: 'post', action: A.DrawMode, value: Number(e.target.value)}, true));
  $('power').addEventListener('change', e => send({type: 'post', action: A.Power, value: Number(e.target.value)}, true));
  $('palette').addEventListener('change', e => send({type: 'post', action: A.ChoosePalette, path: e.target.value}, true));
  $('iterations').addEventListener('change', e => {
    const n = e.target.value.trim();
    const fields = link.split('&').filter(f => !/^I=/i.test(f));
    fields.splice(1, 0, 'I=' + encodeURIComponent(n));
    showMessage('');
    send({type: 'link', fragment: fields.join('&')}, true);
  });
  $('back').addEventListener('click', () => history.back());
  $('keep').addEventListener('click', () => send({type: 'post', action: A.Keep}, false));
  $('save-png').addEventListener('click', () => {
    canvas.toBlob(blob => {
      const a = document.createElement('a');
      a.href = URL.createObjectURL(blob);
      a.download = 'nimbrel.png';
      a.click();
      setTimeout(() => URL.revokeObjectURL(a.href), 10000);
    }, 'image/png');
  });
  // The scene Step away in the set; with Journey, reached by a zoom.
  function stepScene(step, journey = false) {
    showMessage('');
    send({type: 'step-scene', step, journey}, true);
  }
  $('prev-scene').addEventListener('click', () => stepScene(-1));
  $('next-scene').addEventListener('click', () => stepScene(1));
  $('scene-set').addEventListener('change', e => {
    sceneSet = {file: e.target.value, index: 0};
    showMessage('');
    send({type: 'scenes', file: sceneSet.file, index: 0}, true);
  });
  function fileName(name) { return name.replace(/[\/\\]/g, '_'); }
  $('open-scenes').addEventListener('change', async e => {
    const f = e.target.files[0];
    if (!f) return;
    const bytes = await f.arrayBuffer();
    const file = '/user/' + fileName(f.name);
    userScenes = {file, bytes};
    sceneSet = {file, index: 0};
    const option = new Option(f.name, file);
    $('scene-set').add(option);
    $('scene-set').value = file;
    showMessage('');
    send({type: 'scenes', file, index: 0, bytes: bytes.slice(0)}, true);
    e.target.value = '';
  });
  $('open-palette').addEventListener('change', async e => {
    const f = e.target.files[0];
    if (!f) return;
    const bytes = await f.arrayBuffer();
    const name = fileName(f.name).replace(/\.mcf$/i, '');
    userPalettes.push({path: '/site/palettes/' + name + '.mcf', bytes: bytes.slice(0)});
    showMessage('');
    send({type: 'palette', name, bytes}, true);
    e.target.value = '';
  });

  // The show: the scenes full screen, each for a while once drawn; with
  // journeys, each reached by a zoom from the whole set into it.
  let showing = false, showTimer = 0;
  const JOURNEYS = 'nimbrel.journeys';
  const journeys = $('journeys');
  journeys.checked = localStorage.getItem(JOURNEYS) === '1';
  journeys.addEventListener('change', () => localStorage.setItem(JOURNEYS, journeys.checked ? '1' : '0'));
  function showNext() {
    clearTimeout(showTimer);
    showTimer = setTimeout(() => { if (showing) stepScene(1, journeys.checked); }, 4000);
  }
  function startShow() {
    showing = true;
    document.body.classList.add('show');
    if (document.documentElement.requestFullscreen) document.documentElement.requestFullscreen().catch(() => {});
    stepScene(1, journeys.checked);
  }
  function endShow() {
    if (!showing) return;
    showing = false;
    clearTimeout(showTimer);
    document.body.classList.remove('show');
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  }
  $('show').addEventListener('click', e => { e.stopPropagation(); startShow(); });
  window.addEventListener('pointerdown', () => { if (showing) endShow(); }, true);

  // The address.
  function fragment() { return decodeURIComponent(location.hash.replace(/^#/, '')) === '' ? '' : location.hash.slice(1); }
  window.addEventListener('hashchange', onAddress);
  window.addEventListener('popstate', onAddress);
  function onAddress() {
    const f = fragment();
    if (!f || f === link) return;
    fromAddress = true;
    showMessage('');
    send({type: 'link', fragment: f}, true);
  }

  // Size.
  let resizeTimer = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => {
      const s = fitCanvas();
      if (s.w === size.w && s.h === size.h) return;
      size = s;
      send({type: 'post', action: A.Resize, x: s.w, y: s.h}, true);
    }, 100);
  });

  async function start() {
    if (threaded) {
      try {
        const probe = await fetch('nimbrel-web-mt.wasm', {method: 'HEAD'});
        if (probe.ok) { moduleScript = 'nimbrel-web-mt.js'; wasmName = 'nimbrel-web-mt.wasm'; }
      } catch (e) { /* the one-thread module */ }
    }
    const [compiled, list] = await Promise.all([
      WebAssembly.compileStreaming ? WebAssembly.compileStreaming(fetch(wasmName))
        : fetch(wasmName).then(r => r.arrayBuffer()).then(b => WebAssembly.compile(b)),
      fetch('files.json').then(r => r.json())]);
    wasmModule = compiled;
    files = await Promise.all(list.map(async f => ({path: f.path, bytes: await (await fetch(f.url)).arrayBuffer()})));
    size = fitCanvas();
    const f = fragment();
    if (f) { link = ''; fromAddress = true; }
    updateDownload();
    // The first view: the address's, or the first scene of the set. The
    // worker takes the address before it draws anything, so that no other
    // view comes into the address or the history first.
    startWorker(f);
    readyResolve();
  }

  window.nimbrel = {
    ready,
    idle() {
      return ready.then(() => new Promise(resolve => {
        if (state && !busy && state.seq === seqSent) resolve(); else idleWaiters.push(resolve);
      }));
    },
    keptLines,
    get isolated() { return moduleScript === 'nimbrel-web-mt.js'; },
    get pictures() { return pictures; },
    stats() { return state ? Object.assign({}, state.stats) : null; },
  };

  if ('serviceWorker' in navigator && location.protocol !== 'file:')
    navigator.serviceWorker.register('sw.js').catch(() => {});
  start().catch(error => showMessage('The page could not start: ' + error));
})();
