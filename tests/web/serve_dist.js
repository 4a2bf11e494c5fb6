// The built folder (build-web/dist) on 127.0.0.1 at a free port, for the
// page's test and benchmark; and headless Chromium from Debian, driven by
// puppeteer-core from build-web/node.
'use strict';
const fs = require('fs');
const path = require('path');
const http = require('http');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.json': 'application/json' };

// Resolves to { server, base } with base the page's address.
function serveDist(root) {
  const dist = path.join(root, 'build-web', 'dist');
  const server = http.createServer((req, res) => {
    const url = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(dist, url === '/' ? 'index.html' : url);
    if (!file.startsWith(dist) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) =>
    server.listen(0, '127.0.0.1', () => resolve({ server, base: 'http://127.0.0.1:' + server.address().port + '/' })));
}

function launchBrowser(root) {
  const executablePath = ['/usr/bin/chromium-headless-shell', '/usr/bin/chromium'].find((p) => fs.existsSync(p));
  if (!executablePath) throw new Error('no headless Chromium (chromium-headless-shell) installed');
  const puppeteer = require(path.join(root, 'build-web', 'node', 'node_modules', 'puppeteer-core'));
  return puppeteer.launch({
    executablePath,
    headless: true,
    // Root runs need no sandbox; sound without a click; WebGL 2 on the CPU.
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--use-gl=swiftshader', '--enable-unsafe-swiftshader'],
  });
}

module.exports = { serveDist, launchBrowser };
