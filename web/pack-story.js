// pack-story.js [--glyphs KIRAKE_GLYPHS] DIR OUT.kpak: packs a story folder into one gzip-compressed file
// that the page loads in one request ("KPAK1\n", a JSON line {"files": [[name, length], ...]}, then the
// files' bytes in that order). Names as web/story-index.sh takes them: letters, digits, _ . - and / only;
// others are left out.
// A story in UTF-8 (data.txt, or one of its translations data.LANG.txt, begins with the byte order mark)
// needs the glyphs of its characters beyond ASCII (glyphs.kfnt): they are baked afresh by kirake-glyphs
// --story (the one named, or the one on the PATH), which takes every story text of the folder, and packed
// as glyphs.kfnt; without the tool the folder's own glyphs.kfnt is packed as it is.
// A story the page would refuse is not packed: more than 4096 files or 128 MiB in all, a name longer than
// 255 characters or more than 15 folders deep (the page's limits, in web/shell.js).
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const MARK = Buffer.from([0xEF, 0xBB, 0xBF]);
const STORY_MAX_BYTES = 128 << 20, STORY_MAX_FILES = 4096, NAME_MAX_LENGTH = 255, NAME_MAX_PARTS = 16;

// The story texts of the folder: data.txt and its translations (data.es.txt, data.pt-BR.txt, ...).
const STORY_TEXT = /^data(\.[A-Za-z0-9_-]+)?\.txt$/i;

// The story's glyphs baked now: their bytes, or null (no UTF-8 story, or no tool: then said why).
function bakeGlyphs(root, tool) {
  const marked = fs.readdirSync(root, { withFileTypes: true }).some((entry) =>
    entry.isFile() && STORY_TEXT.test(entry.name) && fs.readFileSync(path.join(root, entry.name)).subarray(0, 3).equals(MARK));
  if (!marked) return null;
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-glyphs-'));
  try {
    const out = path.join(work, 'glyphs.kfnt');
    const run = spawnSync(tool || 'kirake-glyphs', ['--story', root, out], { stdio: ['ignore', 'ignore', 'inherit'] });
    if (run.error || run.status !== 0) {
      const has = fs.existsSync(path.join(root, 'glyphs.kfnt'));
      console.error(`pack-story.js: could not run ${tool || 'kirake-glyphs'} (${run.error ? run.error.code : 'status ' + run.status}): ` +
                    (has ? 'packing the folder\'s glyphs.kfnt as it is' : 'the page draws none of the story\'s characters beyond ASCII'));
      return null;
    }
    return fs.existsSync(out) ? fs.readFileSync(out) : null;
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
}

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

function pack(root, glyphTool) {
  const files = [], bodies = [];
  const glyphs = bakeGlyphs(root, glyphTool);
  const names = listFiles(root);
  if (glyphs && !names.includes('glyphs.kfnt')) names.push('glyphs.kfnt'), names.sort((a, b) => (a < b ? -1 : a > b ? 1 : 0));
  const kept = names.filter((name) => /^[A-Za-z0-9_.\/-]+$/.test(name) ||
                                      void console.error(`pack-story.js: skipping ${name} (only letters, digits, _ . - /)`));
  // What the page refuses, checked before anything is read.
  const refuse = (why) => { throw new Error(`${root}: ${why}: the page would refuse it`); };
  const long = kept.find((name) => name.length > NAME_MAX_LENGTH || name.split('/').length > NAME_MAX_PARTS);
  if (long) {
    refuse(`${long.slice(0, 80)}${long.length > 80 ? '\u2026' : ''} is longer than ${NAME_MAX_LENGTH} characters or deeper than ` +
           `${NAME_MAX_PARTS - 1} folders`);
  }
  if (kept.length > STORY_MAX_FILES) refuse(`${kept.length} files, more than ${STORY_MAX_FILES}`);
  const sizeOf = (name) => (glyphs && name === 'glyphs.kfnt' ? glyphs.length : fs.statSync(path.join(root, name)).size);
  const bytes = kept.reduce((sum, name) => sum + sizeOf(name), 0);
  if (bytes > STORY_MAX_BYTES) refuse(`${bytes} bytes of files, more than ${STORY_MAX_BYTES >> 20} MiB`);
  for (const name of kept) {
    const body = glyphs && name === 'glyphs.kfnt' ? glyphs : fs.readFileSync(path.join(root, name));
    files.push([name, body.length]);
    bodies.push(body);
  }
  const header = Buffer.from('KPAK1\n' + JSON.stringify({ files }) + '\n');
  return zlib.gzipSync(Buffer.concat([header, ...bodies]), { level: 9 });
}

module.exports = { pack };

if (require.main === module) {
  const args = process.argv.slice(2);
  let glyphTool = null;
  if (args[0] === '--glyphs') glyphTool = args.splice(0, 2)[1];
  const [root, out] = args;
  if (!root || !out) { console.error('usage: node pack-story.js [--glyphs KIRAKE_GLYPHS] DIR OUT.kpak'); process.exit(2); }
  let packed;
  try { packed = pack(root, glyphTool); } catch (e) { console.error('pack-story.js: ' + e.message); process.exit(1); }
  // Written only when it changed, so that the build (and the service worker's version) stays the same.
  if (!fs.existsSync(out) || !fs.readFileSync(out).equals(packed)) fs.writeFileSync(out, packed);
}
