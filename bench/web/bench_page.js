// Frame pacing of the live page in headless Chromium: for each part asked
// for, the page plays from the part's start and the intervals between frames
// reaching the canvas are measured over eight seconds (after the first 60
// frames). A frame is late when its interval passes 25 ms (one and a half
// refreshes at 60 Hz).
//   node bench/web/bench_page.js ROOT [PART ...]     (default: titles tube chromatunnel metaballs scroller)
'use strict';
const path = require('path');

const root = path.resolve(process.argv[2] || '.');
const parts = process.argv.length > 3 ? process.argv.slice(3) : ['titles', 'tube', 'chromatunnel', 'metaballs', 'scroller'];
const { serveDist, launchBrowser } = require(path.join(root, 'tests', 'web', 'serve_dist'));

(async () => {
  const { server, base } = await serveDist(root);
  const browser = await launchBrowser(root);
  console.log('part              frames  median ms  p99 ms  worst ms  late');
  for (const part of parts) {
    const page = await browser.newPage();
    await page.setViewport({ width: 960, height: 720 });
    await page.goto(base + '?start=' + part, { waitUntil: 'load' });
    await page.click('#start');
    await page.waitForFunction(() => window.qvnPresented > 60, { timeout: 120000 });
    await page.evaluate(() => { window.qvnPresentTimes.length = 0; });
    await new Promise((r) => setTimeout(r, 8000));
    const t = await page.evaluate(() => window.qvnPresentTimes.slice());
    const d = t.slice(1).map((x, i) => x - t[i]).sort((a, b) => a - b);
    const at = (q) => d[Math.min(d.length - 1, Math.floor(d.length * q))].toFixed(1);
    console.log(part.padEnd(16) + String(t.length).padStart(8) + at(0.5).padStart(11) + at(0.99).padStart(8) +
      d[d.length - 1].toFixed(1).padStart(10) + String(d.filter((x) => x > 25).length).padStart(6));
    await page.close();
  }
  await browser.close();
  server.close();
})();
