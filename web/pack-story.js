// pack-story.js DIR OUT.kpak: packs a story folder into one gzip-compressed file that the page loads in one
// request ("KPAK1\n", a JSON line {"files": [[name, length], ...]}, then the files' bytes in that order).
// Names as web/story-index.sh takes them: letters, digits, _ . - and / only; others are left out.
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

function listFiles(root) {
  const names = [];
  const walk = (dir, prefix) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      const name = prefix + entry.name;
      if (entry.isDirectory()) walk(path.join(dir, entry.name), name + '/');
      else if (entry.isFile() && name !== 'index.json') names.push(name);
    }
  };
  walk(root, '');
  return names.sort((a, b) => (a < b ? -1 : a > b ? 1 : 0));
}

function pack(root) {
  const files = [], bodies = [];
  for (const name of listFiles(root)) {
    if (!/^[A-Za-z0-9_.\/-]+$/.test(name)) { console.error(`pack-story.js: skipping ${name} (only letters, digits, _ . - /)`); continue; }
    const bytes = fs.readFileSync(path.join(root, name));
    files.push([name, bytes.length]);
    bodies.push(bytes);
  }
  const header = Buffer.from('KPAK1\n' + JSON.stringify({ files }) + '\n');
  return zlib.gzipSync(Buffer.concat([header, ...bodies]), { level: 9 });
}

module.exports = { pack };

if (require.main === module) {
  const [root, out] = process.argv.slice(2);
  if (!root || !out) { console.error('usage: node pack-story.js DIR OUT.kpak'); process.exit(2); }
  const packed = pack(root);
  // Written only when it changed, so that the build (and the service worker's version) stays the same.
  if (!fs.existsSync(out) || !fs.readFileSync(out).equals(packed)) fs.writeFileSync(out, packed);
}
