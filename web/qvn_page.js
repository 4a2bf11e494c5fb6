// The page around the show: it fetches the data files into the program's
// file system, starts the program on a click (browsers start sound only
// after one), and gives the web backend its hooks: the frame on the canvas,
// the sound through Web Audio on the clock of what is heard, the keys, and
// a message box. With ?capture it runs the capture mode on the virtual clock
// instead, and hands its frames.txt to whoever asked (window.qvnFrames).
'use strict';

(function () {
  const params = new URLSearchParams(location.search);
  const programs = ['demo_sw', 'demo_hw'];
  const program = programs.includes(params.get('program')) ? params.get('program') : 'demo_sw';
  const capture = params.has('capture');
  const filters = ['nearest', 'sharp', 'crt'];
  let filter = filters.includes(params.get('filter')) ? params.get('filter') : 'nearest';
  const $ = (id) => document.getElementById(id);
  const frameCanvas = $('frame'), overlayCanvas = $('overlay');
  const frameContext = frameCanvas.getContext('2d');
  let frameImage = frameContext.createImageData(320, 240);
  let overlayImage = null;
  let audio = null;          // the AudioContext, made on the click
  let tickOrigin = 0;        // heard time (s) when the program started
  let lastTick = 0;
  let userFiles = null;      // a dropped datas folder: Map name -> Uint8Array
  let running = false;
  const keys = [];

  $('program').value = program;
  $('filter').value = filter;
  $('filter').addEventListener('change', () => { filter = $('filter').value; layout(); });
  window.qvnFrames = undefined;
  window.qvnAudioState = () => (audio ? audio.state : 'none');

  function status(text) { $('status').textContent = text || ''; }
  function progress(fraction) {
    $('bar').style.visibility = fraction === null ? 'hidden' : 'visible';
    $('bar').firstElementChild.style.width = Math.round(100 * Math.max(0, Math.min(1, fraction || 0))) + '%';
  }
  function message(caption, text, error) {
    const box = $('message');
    box.className = error ? 'error' : '';
    box.innerHTML = '';
    const b = document.createElement('b');
    b.textContent = caption;
    box.appendChild(b);
    box.appendChild(document.createTextNode(text));
    box.style.display = 'block';
    clearTimeout(message.timer);
    message.timer = setTimeout(() => { box.style.display = 'none'; }, error ? 15000 : 6000);
  }

  // ---- the sharp and crt looks: the desktop's shaders on a WebGL 2 canvas ----
  // The frame goes up as a 5-6-5 texture; the canvas has the screen's device
  // pixels of the 4:3 rectangle, and the shader makes each of them.
  const screenCanvas = $('screen');
  const looks = { gl: null, program: null, texture: null, uniforms: {}, failed: false };
  let lastFrame = null;
  async function prepareLooks() {
    if (looks.gl || looks.failed) return !looks.failed;
    try {
      const [vert, frag] = await Promise.all(['qvn_PictureFilter.vert', 'qvn_PictureFilter.frag'].map(
        (f) => fetch(f).then((r) => { if (!r.ok) throw new Error(f + ': ' + r.status); return r.text(); })));
      const gl = screenCanvas.getContext('webgl2', { antialias: false, preserveDrawingBuffer: true });
      if (!gl) throw new Error('this browser has no WebGL 2');
      const head = '#version 300 es\nprecision highp float;\nprecision highp int;\n';
      const shader = (kind, text) => {
        const s = gl.createShader(kind);
        gl.shaderSource(s, head + text);
        gl.compileShader(s);
        if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
        return s;
      };
      const program = gl.createProgram();
      gl.attachShader(program, shader(gl.VERTEX_SHADER, vert));
      gl.attachShader(program, shader(gl.FRAGMENT_SHADER, frag));
      gl.linkProgram(program);
      if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
      for (const u of ['uFrame', 'uFrameSize', 'uRect', 'uOut', 'uPrescale', 'uKind', 'uCrt'])
        looks.uniforms[u] = gl.getUniformLocation(program, u);
      looks.texture = gl.createTexture();
      gl.bindTexture(gl.TEXTURE_2D, looks.texture);
      gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGB565, 320, 240, 0, gl.RGB, gl.UNSIGNED_SHORT_5_6_5, null);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
      looks.vao = gl.createVertexArray();
      looks.gl = gl;
      looks.program = program;
      return true;
    } catch (e) {
      looks.failed = true;
      message('The ' + filter + ' look is not available', String(e && e.message || e) + '; the picture is shown nearest.', false);
      return false;
    }
  }
  function drawLook(pixels) {
    const gl = looks.gl;
    if (!gl || !pixels || pixels.length !== 320 * 240) return;
    const w = screenCanvas.width, h = screenCanvas.height;
    gl.viewport(0, 0, w, h);
    gl.useProgram(looks.program);
    gl.activeTexture(gl.TEXTURE0);
    gl.bindTexture(gl.TEXTURE_2D, looks.texture);
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 2);
    gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, 320, 240, gl.RGB, gl.UNSIGNED_SHORT_5_6_5, pixels);
    const u = looks.uniforms;
    // The same pre-scale and constants as the desktop's presenter.
    const prescale = (out, inside) => (out <= inside ? 1 : Math.ceil(out / inside));
    gl.uniform1i(u.uFrame, 0);
    gl.uniform2i(u.uFrameSize, 320, 240);
    gl.uniform4f(u.uRect, 0, 0, w, h);
    gl.uniform2f(u.uOut, w, h);
    gl.uniform2i(u.uPrescale, prescale(w, 320), prescale(h, 240));
    gl.uniform1i(u.uKind, filter === 'sharp' ? 1 : 2);
    gl.uniform3f(u.uCrt, 0.6, 0.85, 1.2);
    gl.bindVertexArray(looks.vao);
    gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
  }
  function looking() { return filter !== 'nearest' && !!looks.gl; }

  // ---- the frame: 320 x 240 scaled by a whole number at 4:3, letterboxed ----
  function layout() {
    const w = window.innerWidth, h = window.innerHeight;
    const ratio = window.devicePixelRatio || 1;
    frameCanvas.style.display = looking() ? 'none' : 'block';
    screenCanvas.style.display = looking() ? 'block' : 'none';
    if (looking()) {
      // The largest 4:3 rectangle, in whole device pixels.
      const dw = Math.floor(w * ratio), dh = Math.floor(h * ratio);
      const rw = dw * 240 <= dh * 320 ? dw : Math.floor(dh * 320 / 240);
      const rh = dw * 240 <= dh * 320 ? Math.floor(dw * 240 / 320) : dh;
      screenCanvas.width = rw;
      screenCanvas.height = rh;
      screenCanvas.style.width = rw / ratio + 'px';
      screenCanvas.style.height = rh / ratio + 'px';
      layout.frame = { w: rw / ratio, h: rh / ratio, scale: rw / ratio / 320 };
      drawLook(lastFrame);
      placeOverlay();
      return;
    }
    // Whole device pixels per frame pixel when the frame fits at least once;
    // a smaller window gets the largest 4:3 fit.
    let scale = Math.floor(Math.min(w * ratio / 320, h * ratio / 240));
    let cssW, cssH;
    if (scale >= 1) {
      cssW = 320 * scale / ratio;
      cssH = 240 * scale / ratio;
    } else {
      scale = Math.min(w / 320, h / 240);
      cssW = 320 * scale;
      cssH = 240 * scale;
    }
    for (const c of [frameCanvas]) {
      c.style.width = cssW + 'px';
      c.style.height = cssH + 'px';
    }
    layout.frame = { w: cssW, h: cssH, scale: cssW / 320 };
    placeOverlay();
  }
  function placeOverlay() {
    if (!overlayImage || !layout.frame) return;
    // The frame's own whole-number scale, at most 3, a margin in from its corner.
    const f = layout.frame;
    const s = Math.max(1, Math.min(3, Math.floor(f.scale)));
    overlayCanvas.style.width = overlayImage.width * s + 'px';
    overlayCanvas.style.height = overlayImage.height * s + 'px';
    const left = (window.innerWidth - f.w) / 2, top = (window.innerHeight - f.h) / 2;
    overlayCanvas.style.left = left + 8 * s + 'px';
    overlayCanvas.style.top = top + 8 * s + 'px';
  }
  window.addEventListener('resize', layout);
  layout();

  window.qvnPresented = 0;
  // When each of the last frames reached the canvas (for the page's test).
  window.qvnPresentTimes = [];
  function present(pixels, width, height) {
    ++window.qvnPresented;
    window.qvnPresentTimes.push(performance.now());
    if (window.qvnPresentTimes.length > 1200) window.qvnPresentTimes.splice(0, 600);
    if (looking()) {
      // The look draws from the 5-6-5 pixels as they are; the copy is for a
      // redraw when the window changes (the program's memory under the view
      // may move).
      if (!lastFrame) lastFrame = new Uint16Array(320 * 240);
      if (pixels.length === lastFrame.length) lastFrame.set(pixels);
      drawLook(lastFrame);
      return;
    }
    if (frameImage.width !== width || frameImage.height !== height) {
      frameCanvas.width = width;
      frameCanvas.height = height;
      frameImage = frameContext.createImageData(width, height);
    }
    const out = frameImage.data;
    for (let i = 0, o = 0; i < pixels.length; ++i, o += 4) {
      const p = pixels[i];
      const r = p >> 11, g = (p >> 5) & 63, b = p & 31;
      out[o] = (r << 3) | (r >> 2);
      out[o + 1] = (g << 2) | (g >> 4);
      out[o + 2] = (b << 3) | (b >> 2);
      out[o + 3] = 255;
    }
    frameContext.putImageData(frameImage, 0, 0);
  }
  function overlay(argb, width, height) {
    if (!argb) {
      overlayImage = null;
      overlayCanvas.style.display = 'none';
      return;
    }
    if (!overlayImage || overlayImage.width !== width || overlayImage.height !== height) {
      overlayCanvas.width = width;
      overlayCanvas.height = height;
      overlayImage = overlayCanvas.getContext('2d').createImageData(width, height);
    }
    const out = overlayImage.data;
    for (let i = 0, o = 0; i < argb.length; ++i, o += 4) {
      const p = argb[i];
      out[o] = (p >>> 16) & 255;
      out[o + 1] = (p >>> 8) & 255;
      out[o + 2] = p & 255;
      out[o + 3] = p >>> 24;
    }
    overlayCanvas.getContext('2d').putImageData(overlayImage, 0, 0);
    overlayCanvas.style.display = 'block';
    placeOverlay();
  }

  // ---- the clock of what is heard, and the sound scheduled on it ----
  function heardSeconds() {
    if (!audio) return performance.now() / 1000;
    if (audio.getOutputTimestamp) {
      const t = audio.getOutputTimestamp();
      if (t.contextTime !== undefined && t.performanceTime) {
        // Between the browser's updates the heard time runs on, while the
        // context runs; a suspended context (a hidden page) stops it.
        const since = audio.state === 'running' ? Math.max(0, performance.now() - t.performanceTime) / 1000 : 0;
        return t.contextTime + since;
      }
    }
    return Math.max(0, audio.currentTime - (audio.outputLatency || audio.baseLatency || 0));
  }
  function tickMs() {
    const t = (heardSeconds() - tickOrigin) * 1000;
    // Never backwards: a late timestamp update must not undo a step.
    if (t > lastTick) lastTick = t;
    return lastTick;
  }
  function audioOpen(rate) { return !!audio; }
  function audioQueue(pcm, rate, atTickMs) {
    if (!audio) return;
    const frames = pcm.length >> 1;
    const buffer = audio.createBuffer(2, frames, rate);
    const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    for (let i = 0; i < frames; ++i) {
      left[i] = pcm[2 * i] / 32768;
      right[i] = pcm[2 * i + 1] / 32768;
    }
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    // The context time that is heard at atTickMs, and how far behind it the
    // context's schedule is: data late to arrive starts part way in.
    const when = tickOrigin + atTickMs / 1000 + (audio.currentTime - heardSeconds());
    const late = audio.currentTime - when;
    if (late > 0) {
      if (late < buffer.duration) source.start(audio.currentTime, late);
    } else {
      source.start(when);
    }
    audioQueue.sources.add(source);
    source.onended = () => audioQueue.sources.delete(source);
  }
  audioQueue.sources = new Set();
  function audioStop() {
    for (const s of audioQueue.sources) {
      try { s.stop(); } catch (e) { /* not started */ }
    }
    audioQueue.sources.clear();
  }
  // A hidden page gets no animation frames, so the program waits; its sound
  // waits with it, and both go on together when the page is shown again.
  document.addEventListener('visibilitychange', () => {
    if (!audio) return;
    if (document.hidden) audio.suspend();
    else audio.resume();
  });

  // ---- keys ----
  const keyCodes = {
    Escape: 27, Tab: 9, ' ': 32, ArrowLeft: 0x101, ArrowRight: 0x102, PageUp: 0x103, PageDown: 0x104, F9: 0x105,
    F12: 0x106, l: 108, L: 108, '.': 46,
  };
  window.addEventListener('keydown', (e) => {
    if (!running) return;
    if (e.key === 'f' || e.key === 'F' || (e.key === 'Enter' && e.altKey)) {
      toggleFullscreen();
      e.preventDefault();
      return;
    }
    const code = keyCodes[e.key];
    if (code === undefined) return;
    // A held key repeats only the frame step, as on the desktop.
    if (e.repeat && code !== 46) return;
    keys.push(code);
    e.preventDefault();
  });
  function toggleFullscreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
  }
  $('full').addEventListener('click', toggleFullscreen);

  // ---- data files ----
  async function fetchDatas(module) {
    module.FS.mkdir('/datas');
    if (userFiles) {
      for (const [name, bytes] of userFiles) module.FS.writeFile('/datas/' + name, bytes);
      return;
    }
    const list = await (await fetch('datas/manifest.json')).json();
    const total = list.files.reduce((n, f) => n + f.bytes, 0);
    let done = 0;
    status('Loading the data files');
    progress(0);
    // A few at a time: the bar moves steadily and the connection stays busy.
    const queue = list.files.slice();
    async function worker() {
      for (let f = queue.shift(); f; f = queue.shift()) {
        const response = await fetch('datas/' + encodeURIComponent(f.name));
        if (!response.ok) continue;  // the program says which file is missing
        const bytes = new Uint8Array(await response.arrayBuffer());
        module.FS.writeFile('/datas/' + f.name, bytes);
        done += f.bytes;
        progress(done / total);
      }
    }
    await Promise.all([worker(), worker(), worker(), worker()]);
  }

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const s = document.createElement('script');
      s.src = src;
      s.onload = resolve;
      s.onerror = () => reject(new Error('cannot load ' + src));
      document.head.appendChild(s);
    });
  }

  function offerDownload(name, bytes, type) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([bytes], { type }));
    a.download = name;
    a.textContent = name;
    $('downloads').appendChild(a);
  }

  async function start() {
    if (running) return;
    running = true;
    $('hint').textContent = capture ? 'Capturing' : 'Loading';
    if (!capture) {
      const Context = window.AudioContext || window.webkitAudioContext;
      try {
        audio = Context ? new Context({ latencyHint: 'playback' }) : null;
        if (audio) await audio.resume();
      } catch (e) {
        audio = null;
      }
    }
    const chosen = $('program').value;
    status('Loading ' + chosen);
    await loadScript(chosen + '.js');
    const exited = new Promise((resolve) => { start.exit = resolve; });
    const module = await window['qvn_' + chosen]({
      print: (t) => console.log(t),
      // What the program tells its user (a missing or refused file, a half
      // skipped) goes on the page as on the desktop's terminal.
      printErr: (t) => {
        console.warn(t);
        const said = /^demo_(sw|hw): (.*)$/.exec(t);
        if (said) {
          message.said = (message.said ? message.said + '\n' : '') + said[2];
          message(chosen, message.said, true);
        }
      },
      qvnExited: (code) => start.exit(code),
      qvnTickMs: capture ? undefined : tickMs,
      qvnPresent: present,
      qvnOverlay: overlay,
      qvnWaitFrame: () => new Promise((resolve) => requestAnimationFrame(() => resolve())),
      qvnNextKey: () => (keys.length ? keys.shift() : 0),
      qvnAudioOpen: audioOpen,
      qvnAudioQueue: audioQueue,
      qvnAudioStop: audioStop,
      qvnMessage: message,
      qvnToggleFullscreen: toggleFullscreen,
    });
    window.qvnModule = module;
    if (filter !== 'nearest' && !capture && (await prepareLooks())) layout();
    await fetchDatas(module);
    progress(null);
    const args = ['--datas', '/datas'];
    if (capture) {
      args.push('--capture', '/cap', '--frames', params.get('frames') || 'none');
      args.push('--fps', String(parseInt(params.get('fps'), 10) || 60));
      if (params.get('quitat')) args.push('--quit-at', params.get('quitat'));
    }
    // The viewer's keys, as the desktop's --viewer gives them (off with ?viewer=0).
    if (!capture && params.get('viewer') !== '0') args.push('--viewer');
    if (params.get('start')) args.push('--start', params.get('start'));
    if (params.get('stop')) args.push('--stop', params.get('stop'));
    if (!capture) {
      $('start').style.display = 'none';
      if (audio) tickOrigin = heardSeconds();
      lastTick = 0;
    }
    status(capture ? 'Capturing' : '');
    try {
      module.callMain(args);
    } catch (e) {
      if (!(e && e.name === 'ExitStatus')) throw e;
    }
    const code = await exited;
    audioStop();
    $('start').style.display = 'flex';
    $('hint').textContent = capture ? 'Capture done' : 'The show has ended: click to play it again';
    if (capture) {
      let frames = '';
      try {
        frames = module.FS.readFile('/cap/frames.txt', { encoding: 'utf8' });
        offerDownload('frames.txt', frames, 'text/plain');
        offerDownload('audio.wav', module.FS.readFile('/cap/audio.wav'), 'audio/wav');
      } catch (e) {
        status('The capture wrote no frames.txt');
      }
      window.qvnFrames = frames;
      window.qvnExitCode = code;
      document.title = 'done';
    } else {
      window.qvnExitCode = code;
      window.qvnShowEnded = true;
      running = false;
      if (audio) audio.close();
      audio = null;
    }
  }

  $('start').addEventListener('click', (e) => {
    if (e.target.closest('select, a')) return;
    start().catch((e) => {
      message('The show could not start', String(e && e.message || e), true);
      running = false;
    });
  });
  // A capture needs no gesture: it plays no sound. A test that hands the
  // page files first holds it until they are there.
  if (capture) {
    if (window.qvnHoldCapture) window.qvnReleaseCapture = () => start();
    else start();
  }

  // ---- your own files: a datas folder or a .zip of one dropped on the page ----
  window.addEventListener('dragover', (e) => { e.preventDefault(); $('drop').style.display = 'block'; });
  window.addEventListener('dragleave', () => { $('drop').style.display = 'none'; });
  window.addEventListener('drop', async (e) => {
    e.preventDefault();
    $('drop').style.display = 'none';
    if (running) return;
    try {
      userFiles = await window.qvnDroppedDatas(e.dataTransfer);
      status(userFiles.size + ' files of your own: click to play them');
    } catch (err) {
      message('Those files cannot be used', String(err && err.message || err), true);
    }
  });
  window.qvnUseFiles = (map) => { userFiles = map; };
})();
