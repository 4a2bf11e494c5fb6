// The web build in headless Chromium, served from build-web/dist on
// 127.0.0.1:
//  - the live page: a click starts it, frames that are not black reach the
//    canvas, the sound context runs, Escape ends the show;
//  - capture in the page: spans of both halves captured at 15 fps give the
//    native capture's frames, CRC for CRC where the float maths agrees and at
//    40 dB or better where the C library's maths differs;
//  - your own files: a dropped data set with one picture replaced shows that
//    picture.
// Prints one line per check and "N passed, N failed" at the end.
//   node tests/web/page_test.js ROOT [--shots DIR]
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { execFileSync } = require('child_process');

const root = path.resolve(process.argv[2] || '.');
const shots = process.argv.indexOf('--shots') > 0 ? process.argv[process.argv.indexOf('--shots') + 1] : null;
const { serveDist, launchBrowser } = require('./serve_dist');

let passed = 0, failed = 0;
function check(ok, what, detail) {
  if (ok) ++passed;
  else ++failed;
  console.log((ok ? 'ok   ' : 'FAIL ') + what + (detail ? ': ' + detail : ''));
}

// ---- frames: PNG (our writer's: 8-bit RGB, filter 0) to pixels, PSNR ----
function readPng(file) {
  const data = fs.readFileSync(file);
  let at = 8, w = 0, h = 0;
  const idat = [];
  while (at < data.length) {
    const len = data.readUInt32BE(at), type = data.toString('latin1', at + 4, at + 8);
    if (type === 'IHDR') {
      w = data.readUInt32BE(at + 8);
      h = data.readUInt32BE(at + 12);
    } else if (type === 'IDAT') {
      idat.push(data.subarray(at + 8, at + 8 + len));
    }
    at += 12 + len;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const rgb = Buffer.alloc(w * h * 3);
  for (let y = 0; y < h; ++y) raw.copy(rgb, y * w * 3, y * (w * 3 + 1) + 1, (y + 1) * (w * 3 + 1));
  return { w, h, rgb };
}
function psnr(a, b) {
  let sum = 0;
  for (let i = 0; i < a.rgb.length; ++i) {
    const d = a.rgb[i] - b.rgb[i];
    sum += d * d;
  }
  if (sum === 0) return Infinity;
  return 10 * Math.log10((255 * 255) / (sum / a.rgb.length));
}
// The same after averaging 4 x 4 blocks: how far apart two pictures are in
// what they show rather than in their edges' pixels.
function blockPsnr(a, b) {
  const bw = a.w >> 2, bh = a.h >> 2;
  let sum = 0;
  for (let by = 0; by < bh; ++by) {
    for (let bx = 0; bx < bw; ++bx) {
      for (let c = 0; c < 3; ++c) {
        let sa = 0, sb = 0;
        for (let y = 0; y < 4; ++y) {
          for (let x = 0; x < 4; ++x) {
            const i = ((by * 4 + y) * a.w + bx * 4 + x) * 3 + c;
            sa += a.rgb[i];
            sb += b.rgb[i];
          }
        }
        const d = (sa - sb) / 16;
        sum += d * d;
      }
    }
  }
  if (sum === 0) return Infinity;
  return 10 * Math.log10((255 * 255) / (sum / (bw * bh * 3)));
}

function framesOf(text) {
  const rows = new Map();
  for (const line of text.split('\n')) {
    if (!line || line.startsWith('#')) continue;
    const f = line.split(/\s+/);
    rows.set(Number(f[0]), { crc: f[4], part: f[5] });
  }
  return rows;
}

async function main() {
  const { server, base } = await serveDist(root);
  const browser = await launchBrowser(root);
  try {
    await livePage(browser, base);
    await liveHw(browser, base, 'demo_hw', 'tube');
    await liveHw(browser, base, 'demo_hw', 'chromatunnel');
    await liveHw(browser, base, 'demo_sw', 'scroller');
    await looks(browser, base);
    // demo_sw: the same integer and float work as natively, but for the C
    // library's sinf, cosf, tanf, asinf and atan2f (musl's in the browser,
    // glibc's natively), which move a few frames by a pixel value here and there.
    const spans = [['titles', 3000], ['pillars', 3000], ['tube', 3000], ['metaballs', 3000], ['scroller', 3000]];
    await captureSpans(browser, base, 'demo_sw', spans, 40);
    // demo_hw: two OpenGL implementations (Mesa's natively, the browser's
    // WebGL 2, SwiftShader when headless) rasterise and filter the 3D scenes
    // each its own way, edge pixels apart; what the frames show agrees, as
    // the structure tests of the OpenGL renderer compare it (4 x 4 blocks).
    await captureSpans(browser, base, 'demo_hw', [['pillars', 2000], ['tube', 2000], ['metaballs', 2000]], 40, true);
    await ownFiles(browser, base);
  } finally {
    await browser.close();
    server.close();
  }
  console.log(passed + ' passed, ' + failed + ' failed');
  process.exitCode = failed ? 1 : 0;
}

async function newPage(browser) {
  const page = await browser.newPage();
  await page.setViewport({ width: 960, height: 720 });
  page.on('pageerror', (e) => console.log('page error: ' + e.message));
  return page;
}

// The canvas's mean brightness and how many of its pixels are not black.
function canvasLight(page) {
  return page.evaluate(() => {
    const c = document.getElementById('frame');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let lit = 0, sum = 0;
    for (let i = 0; i < d.length; i += 4) {
      const v = d[i] + d[i + 1] + d[i + 2];
      sum += v;
      if (v > 30) ++lit;
    }
    return { lit, mean: sum / (d.length / 4) / 3 };
  });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The page as the browser reports it when its tab is hidden or shown.
function setHidden(page, hidden) {
  return page.evaluate((hidden) => {
    Object.defineProperty(document, 'hidden', { configurable: true, get: () => hidden });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
}

async function livePage(browser, base) {
  const page = await newPage(browser);
  await page.goto(base, { waitUntil: 'load' });
  if (shots) await page.screenshot({ path: path.join(shots, 'web-start.png') });
  check(await page.$eval('#hint', (e) => e.textContent.includes('Click')), 'the page waits for a click');
  await page.click('#start');
  // The titles fade in over the first seconds of the first half.
  await page.waitForFunction(() => window.qvnPresented > 200, { timeout: 60000 });
  const light = await canvasLight(page);
  check(light.lit > 2000, 'frames that are not black reach the canvas', light.lit + ' lit pixels');
  const state = await page.evaluate(() => window.qvnAudioState());
  check(state === 'running', 'the sound context runs', state);
  if (shots) await page.screenshot({ path: path.join(shots, 'web-titles.png') });
  // The viewer's overlay comes and goes with Tab.
  await page.keyboard.press('Tab');
  await page.waitForFunction(() => document.getElementById('overlay').style.display === 'block', { timeout: 10000 })
    .then(() => check(true, 'Tab shows the overlay'), () => check(false, 'Tab shows the overlay'));
  if (shots) await page.screenshot({ path: path.join(shots, 'web-overlay.png') });
  // Hidden for two seconds: the sound pauses, and with it the show's clock
  // (the clock of what is heard); shown again, both go on together.
  const clock = () => page.evaluate(() => window.qvnModule.qvnTickMs());
  // How far the clock moves in ms, once the page has settled for a while.
  const moves = async (settle, ms) => {
    await sleep(settle);
    const from = await clock();
    await sleep(ms);
    return (await clock()) - from;
  };
  await setHidden(page, true);
  const hiddenMoved = await moves(300, 2000);
  await setHidden(page, false);
  const shownMoved = await moves(500, 1000);
  check(hiddenMoved < 100 && shownMoved > 700 && shownMoved < 1300,
    'a hidden page pauses the show with its sound, and both go on when it is shown',
    'clock moved ' + hiddenMoved.toFixed(0) + ' ms in 2 s hidden, ' + shownMoved.toFixed(0) + ' ms in 1 s shown');
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => window.qvnShowEnded === true, { timeout: 20000 })
    .then(() => check(true, 'Escape ends the show'), () => check(false, 'Escape ends the show'));
  await page.close();
}

// The sharp and crt looks on the page: the screen canvas takes the 4:3
// rectangle in device pixels, and the crt look darkens the last screen row
// of each frame row (3x here).
async function looks(browser, base) {
  for (const look of ['crt', 'sharp']) {
    const page = await newPage(browser);
    await page.goto(base + '?filter=' + look + '&start=pillars', { waitUntil: 'load' });
    await page.click('#start');
    await page.waitForFunction(() => window.qvnPresented > 120 || window.qvnShowEnded, { timeout: 60000 });
    const seen = await page.evaluate(() => {
      const c = document.getElementById('screen');
      if (c.style.display !== 'block') return { shown: false };
      const gl = c.getContext('webgl2');
      const d = new Uint8Array(c.width * c.height * 4);
      gl.readPixels(0, 0, c.width, c.height, gl.RGBA, gl.UNSIGNED_BYTE, d);
      // Rows from the top: GL reads from the bottom.
      const rows = [0, 0, 0];
      for (let y = 0; y < c.height; ++y) {
        let sum = 0;
        const at = (c.height - 1 - y) * c.width * 4;
        for (let x = 0; x < c.width * 4; x += 4) sum += d[at + x] + d[at + x + 1] + d[at + x + 2];
        rows[y % 3] += sum;
      }
      return { shown: true, w: c.width, h: c.height, rows, lit: rows[0] + rows[1] + rows[2] };
    });
    check(seen.shown && seen.w === 960 && seen.h === 720, 'the ' + look + ' look fills the page at 4:3',
      seen.shown ? seen.w + ' x ' + seen.h : 'no screen canvas');
    if (look === 'crt' && seen.shown)
      check(seen.lit > 0 && seen.rows[2] < 0.85 * seen.rows[0], 'the crt look darkens the scanline rows',
        'rows ' + seen.rows.map((r) => (r / seen.lit).toFixed(3)).join(' / '));
    if (shots) await page.screenshot({ path: path.join(shots, 'web-' + look + '.png') });
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => window.qvnShowEnded === true, { timeout: 20000 }).catch(() => {});
    await page.close();
  }
}

// A program live from a part (demo_hw's 3D on WebGL 2; the second half's
// parts): its frames reach the canvas, and Escape ends it.
async function liveHw(browser, base, program, where) {
  const page = await newPage(browser);
  await page.goto(base + '?program=' + program + '&start=' + where, { waitUntil: 'load' });
  await page.click('#start');
  await page.waitForFunction(() => window.qvnPresented > 120 || window.qvnShowEnded, { timeout: 60000 });
  const light = await canvasLight(page);
  check(light.lit > 20000, program + ' live from ' + where + ': its frames reach the canvas', light.lit + ' lit pixels');
  if (shots) await page.screenshot({ path: path.join(shots, 'web-' + program + '-' + where + '.png') });
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => window.qvnShowEnded === true, { timeout: 20000 })
    .then(() => check(true, program + ': Escape ends the show'), () => check(false, program + ': Escape ends the show'));
  await page.close();
}

// A span of the show captured natively and in the page, PNGs of every frame.
async function captureSpan(browser, base, program, where, ms, work) {
  const native = path.join(work, 'native-' + program + '-' + where), inPage = path.join(work, 'page-' + program + '-' + where);
  fs.mkdirSync(inPage, { recursive: true });
  execFileSync(path.join(root, 'build', program),
    ['--capture', native, '--fps', '15', '--start', where, '--quit-at', String(ms), '--frames', '0:'],
    { cwd: root, stdio: 'ignore' });
  const page = await newPage(browser);
  await page.goto(base + '?capture&program=' + program + '&fps=15&frames=0:&start=' + where + '&quitat=' + ms, { waitUntil: 'load' });
  await page.waitForFunction(() => document.title === 'done', { timeout: 300000 });
  const files = await page.evaluate(() => {
    const FS = window.qvnModule.FS;
    const out = {};
    for (const n of FS.readdir('/cap')) if (n.endsWith('.png')) out[n] = Array.from(FS.readFile('/cap/' + n));
    return { frames: window.qvnFrames, pngs: out };
  });
  fs.writeFileSync(path.join(inPage, 'frames.txt'), files.frames);
  for (const [n, bytes] of Object.entries(files.pngs)) fs.writeFileSync(path.join(inPage, n), Buffer.from(bytes));
  await page.close();
  return { native, inPage };
}

// floor: the least PSNR a frame that differs may have, over its pixels or,
// with byBlocks, over 4 x 4 blocks.
async function captureSpans(browser, base, program, spans, floor, byBlocks) {
  const work = fs.mkdtempSync('/tmp/qvn-web-');
  let same = 0, close = 0, all = 0, worst = Infinity, blockWorst = Infinity;
  for (const [part, ms] of spans) {
    const { native, inPage } = await captureSpan(browser, base, program, part, ms, work);
    const where = program + ' ' + part;
    const a = framesOf(fs.readFileSync(path.join(native, 'frames.txt'), 'utf8'));
    const b = framesOf(fs.readFileSync(path.join(inPage, 'frames.txt'), 'utf8'));
    check(a.size >= 25 && a.size === b.size, where + ': the page captures the native frames', b.size + ' of ' + a.size);
    let spanSame = 0, spanWorst = Infinity, spanBlockWorst = Infinity;
    for (const [n, row] of a) {
      const other = b.get(n);
      if (!other) continue;
      ++all;
      if (other.crc === row.crc) {
        ++same;
        ++spanSame;
        continue;
      }
      const name = 'frame_' + String(n).padStart(6, '0') + '.png';
      const pa = readPng(path.join(native, name)), pb = readPng(path.join(inPage, name));
      const p = psnr(pa, pb), pBlocks = blockPsnr(pa, pb);
      spanWorst = Math.min(spanWorst, p);
      spanBlockWorst = Math.min(spanBlockWorst, pBlocks);
      if ((byBlocks ? pBlocks : p) >= floor) ++close;
    }
    worst = Math.min(worst, spanWorst);
    blockWorst = Math.min(blockWorst, spanBlockWorst);
    const dB = (v) => (v === Infinity ? 'none differ' : v.toFixed(1) + ' dB');
    check((byBlocks ? spanBlockWorst : spanWorst) >= floor,
      where + ': frames that differ stay within ' + floor + ' dB' + (byBlocks ? ' over 4 x 4 blocks' : ''),
      spanSame + ' of ' + a.size + ' identical, worst ' + dB(spanWorst) + (byBlocks ? ', ' + dB(spanBlockWorst) + ' over blocks' : ''));
  }
  console.log('     ' + program + ' capture in the page: ' + same + ' of ' + all + ' frames CRC for CRC, ' + close +
    ' more within ' + floor + ' dB' + (byBlocks ? ' over blocks' : '') + ', worst ' + (worst === Infinity ? '-' : worst.toFixed(1) + ' dB') +
    (blockWorst === Infinity ? '' : ' (' + blockWorst.toFixed(1) + ' dB over 4 x 4 blocks)'));
  fs.rmSync(work, { recursive: true, force: true });
}

// A zip of files under datas/, each member deflated or stored (both as a
// zip writer would), with its central directory.
function zipOf(files) {
  const locals = [], centrals = [];
  let offset = 0;
  Object.entries(files).forEach(([name, bytes], index) => {
    const deflate = index % 2 === 0;
    const data = deflate ? zlib.deflateRawSync(bytes) : bytes;
    const nameBytes = Buffer.from('datas/' + name);
    const crc = zlib.crc32(bytes);
    const local = Buffer.alloc(30);
    local.writeUInt32LE(0x04034b50, 0);
    local.writeUInt16LE(20, 4);
    local.writeUInt16LE(deflate ? 8 : 0, 8);
    local.writeUInt32LE(crc, 14);
    local.writeUInt32LE(data.length, 18);
    local.writeUInt32LE(bytes.length, 22);
    local.writeUInt16LE(nameBytes.length, 26);
    const central = Buffer.alloc(46);
    central.writeUInt32LE(0x02014b50, 0);
    central.writeUInt16LE(20, 4);
    central.writeUInt16LE(20, 6);
    central.writeUInt16LE(deflate ? 8 : 0, 10);
    central.writeUInt32LE(crc, 16);
    central.writeUInt32LE(data.length, 20);
    central.writeUInt32LE(bytes.length, 24);
    central.writeUInt16LE(nameBytes.length, 28);
    central.writeUInt32LE(offset, 42);
    locals.push(local, nameBytes, data);
    centrals.push(central, nameBytes);
    offset += 30 + nameBytes.length + data.length;
  });
  const directory = Buffer.concat(centrals);
  const end = Buffer.alloc(22);
  end.writeUInt32LE(0x06054b50, 0);
  end.writeUInt16LE(Object.keys(files).length, 8);
  end.writeUInt16LE(Object.keys(files).length, 10);
  end.writeUInt32LE(directory.length, 12);
  end.writeUInt32LE(offset, 16);
  return Buffer.concat([...locals, directory, end]);
}

// The default data set with the loading screen's picture replaced by
// another of the same size (the generator's, with another seed), handed to
// the page as a drop hands it over: the loading screen shows the new one.
async function ownFiles(browser, base) {
  const url = base + '?capture&program=demo_sw&fps=15&frames=10:10&quitat=1000';
  const page = await newPage(browser);
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForFunction(() => document.title === 'done', { timeout: 120000 });
  const before = await page.evaluate(() => Array.from(window.qvnModule.FS.readFile('/cap/frame_000010.png')));
  await page.close();

  const work = fs.mkdtempSync('/tmp/qvn-web-');
  execFileSync(path.join(root, 'build', 'tools', 'mkdatas', 'mkdatas'), [work, '--seed', '7', '--only', 'loading.jpg'],
    { stdio: 'ignore' });
  const datas = path.join(root, 'datas');
  const raw = {};
  for (const n of fs.readdirSync(datas)) {
    if (fs.statSync(path.join(datas, n)).isFile()) raw[n] = fs.readFileSync(path.join(datas, n));
  }
  raw['loading.jpg'] = fs.readFileSync(path.join(work, 'loading.jpg'));
  fs.rmSync(work, { recursive: true, force: true });
  const files = {};
  for (const [n, bytes] of Object.entries(raw)) files[n] = bytes.toString('base64');

  // As a .zip of a datas folder, read by the page's own zip reader.
  const own = await newPage(browser);
  await own.evaluateOnNewDocument(() => { window.qvnHoldCapture = true; });
  await own.goto(url, { waitUntil: 'load' });
  const unpacked = await own.evaluate(async (zip) => {
    const bytes = Uint8Array.from(atob(zip), (c) => c.charCodeAt(0));
    const map = await window.qvnDatasFromZip(bytes.buffer);
    window.qvnUseFiles(map);
    window.qvnReleaseCapture();
    return map.size;
  }, zipOf(raw).toString('base64'));
  check(unpacked === Object.keys(raw).length, 'the page unpacks a zipped datas folder', unpacked + ' files');
  await own.waitForFunction(() => document.title === 'done', { timeout: 120000 });
  const after = await own.evaluate(() => Array.from(window.qvnModule.FS.readFile('/cap/frame_000010.png')));
  await own.close();
  check(Buffer.compare(Buffer.from(before), Buffer.from(after)) !== 0, 'a dropped data set plays its own picture');

  // The same set without the first track: the page says what the desktop
  // program says, and the show goes on to the second half.
  delete files['fantom.mp3'];
  const missing = await newPage(browser);
  await missing.evaluateOnNewDocument(() => { window.qvnHoldCapture = true; });
  await missing.goto(base + '?capture&program=demo_sw&fps=15&frames=none&quitat=2000', { waitUntil: 'load' });
  await missing.evaluate((files) => {
    const map = new Map();
    for (const [n, b64] of Object.entries(files)) map.set(n, Uint8Array.from(atob(b64), (c) => c.charCodeAt(0)));
    window.qvnUseFiles(map);
    window.qvnReleaseCapture();
  }, files);
  await missing.waitForFunction(() => document.title === 'done', { timeout: 120000 });
  const said = await missing.$eval('#message', (e) => e.textContent);
  check(/fantom\.mp3 is missing: half 1 is skipped/.test(said), 'a missing file is named on the page', said.slice(0, 90));
  await missing.close();
}

main().catch((e) => {
  console.log('FAIL ' + (e && e.stack || e));
  console.log(passed + ' passed, ' + (failed + 1) + ' failed');
  process.exitCode = 1;
});
