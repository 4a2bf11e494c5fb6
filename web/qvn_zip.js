// Files dropped on the page: a datas folder (or a folder holding one), loose
// files, or a .zip of any of these. The result maps each file's name within
// datas/ to its bytes. A zip is read from its central directory; stored and
// deflated members are taken (the browser inflates).
'use strict';

(function () {
  async function inflateRaw(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  async function readZip(buffer) {
    const view = new DataView(buffer);
    const bytes = new Uint8Array(buffer);
    // The end-of-central-directory record, within the last 64 KiB + 22 bytes.
    let end = -1;
    for (let i = bytes.length - 22; i >= Math.max(0, bytes.length - 65557); --i) {
      if (view.getUint32(i, true) === 0x06054b50) {
        end = i;
        break;
      }
    }
    if (end < 0) throw new Error('not a zip file (no central directory)');
    const count = view.getUint16(end + 10, true);
    let at = view.getUint32(end + 16, true);
    const files = [];
    for (let n = 0; n < count; ++n) {
      if (at + 46 > bytes.length || view.getUint32(at, true) !== 0x02014b50) throw new Error('damaged zip directory');
      const method = view.getUint16(at + 10, true);
      const packed = view.getUint32(at + 20, true);
      const nameLength = view.getUint16(at + 28, true), extra = view.getUint16(at + 30, true);
      const comment = view.getUint16(at + 32, true), local = view.getUint32(at + 42, true);
      const name = new TextDecoder().decode(bytes.subarray(at + 46, at + 46 + nameLength));
      at += 46 + nameLength + extra + comment;
      if (name.endsWith('/')) continue;
      if (local + 30 > bytes.length) throw new Error('damaged zip member ' + name);
      const start = local + 30 + view.getUint16(local + 26, true) + view.getUint16(local + 28, true);
      if (start + packed > bytes.length) throw new Error('damaged zip member ' + name);
      const data = bytes.subarray(start, start + packed);
      if (method === 0) files.push([name, data.slice()]);
      else if (method === 8) files.push([name, await inflateRaw(data)]);
      else throw new Error(name + ': packed by a method this page cannot unpack (' + method + ')');
    }
    return files;
  }

  function readEntry(entry, prefix, out) {
    return new Promise((resolve, reject) => {
      if (entry.isFile) {
        entry.file(async (file) => {
          out.push([prefix + entry.name, new Uint8Array(await file.arrayBuffer())]);
          resolve();
        }, reject);
      } else if (entry.isDirectory) {
        const reader = entry.createReader();
        const all = [];
        const more = () => reader.readEntries(async (batch) => {
          if (batch.length === 0) {
            for (const e of all) await readEntry(e, prefix + entry.name + '/', out);
            resolve();
          } else {
            all.push(...batch);
            more();
          }
        }, reject);
        more();
      } else {
        resolve();
      }
    });
  }

  // Paths as dropped to names within datas/: everything up to a "datas/"
  // folder goes, or the one top folder they all share.
  function withinDatas(files) {
    const map = new Map();
    const hasDatas = files.some(([p]) => /(^|\/)datas\//.test(p));
    const tops = new Set(files.map(([p]) => (p.includes('/') ? p.split('/')[0] : '')));
    for (const [path, bytes] of files) {
      let name = path;
      if (hasDatas) {
        const m = path.match(/(?:^|\/)datas\/(.*)$/);
        if (!m) continue;
        name = m[1];
      } else if (tops.size === 1 && path.includes('/')) {
        name = path.slice(path.indexOf('/') + 1);
      }
      if (name && !name.endsWith('/')) map.set(name, bytes);
    }
    if (map.size === 0) throw new Error('no files found in what was dropped');
    return map;
  }

  window.qvnDroppedDatas = async function (transfer) {
    const files = [];
    const entries = [];
    for (const item of transfer.items || []) {
      const entry = item.webkitGetAsEntry && item.webkitGetAsEntry();
      if (entry) entries.push(entry);
    }
    if (entries.length) {
      for (const e of entries) await readEntry(e, '', files);
    } else {
      for (const f of transfer.files || []) files.push([f.name, new Uint8Array(await f.arrayBuffer())]);
    }
    const zipped = [];
    for (const [name, bytes] of files) {
      if (/\.zip$/i.test(name)) zipped.push(...(await readZip(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength))));
    }
    return withinDatas(zipped.length ? zipped : files);
  };
  // A zip's bytes (an ArrayBuffer) to the same map as a drop gives.
  window.qvnDatasFromZip = async (buffer) => withinDatas(await readZip(buffer));
})();
