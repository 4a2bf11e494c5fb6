// Runs a web build of a program under Node, on the host's files: the host's
// root is mounted at /host and the program starts in the host's working
// folder, so relative paths mean what they mean to the native program, and
// an absolute host path given as an argument is mapped under /host.
//   node --no-experimental-fetch tests/web/run_node.js build-web/demo_sw.js ARGS...
// Exits with the program's exit code.
'use strict';
const fs = require('fs');
const path = require('path');

const script = path.resolve(process.argv[2]);
const args = process.argv.slice(3).map((a) => (a.startsWith('/') && fs.existsSync(path.dirname(a)) ? '/host' + a : a));
const factory = require(script);
let exited = false;
factory({
  print: (text) => process.stdout.write(text + '\n'),
  printErr: (text) => process.stderr.write(text + '\n'),
  qvnExited: (code) => {
    exited = true;
    process.exitCode = code;
  },
}).then((module) => {
  module.FS.mkdir('/host');
  module.FS.mount(module.NODEFS, { root: '/' }, '/host');
  module.FS.chdir('/host' + process.cwd());
  try {
    module.callMain(args);
  } catch (e) {
    // exit() unwinds with an ExitStatus; anything else is a fault.
    if (!(e && e.name === 'ExitStatus')) throw e;
  }
});
process.on('exit', () => {
  if (!exited && process.exitCode === undefined) process.exitCode = 70;
});
