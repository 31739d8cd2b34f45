// The page's cost while the story waits, against the native window's (bench/idle.sh), in one run:
//   node bench/web-idle.js NATIVE_BUILD SITE_DIR [SITE_DIR...]      (ROUNDS=N in the environment: 2)
// Each site is served by web/serve.js at ?continue=0&start=opening (the opening scene, whose first page is
// typed and then waits for a key) in a visible tab of Chromium (headless), Firefox ESR (headless) and
// WebKitGTK's MiniBrowser (on a private virtual X screen as large as idle.sh's), each on a fresh profile
// with an 800x600 window. After SETTLE_S seconds (8: start-up, the fade, the page typed) the CPU time of
// the browser's whole process tree (utime + stime of it and every descendant) over ten seconds, as a share
// of one core; WebKit once more without its compositing (see below). A browser that is not installed is
// left out. The wait was checked once by screenshots at 8 and 18 s: the page typed, only its falling
// petals and the key prompt moving.
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { serve } = require('../web/serve');

const [nativeBuild, ...sites] = process.argv.slice(2);
if (!nativeBuild || !sites.length) {
  console.error('usage: node bench/web-idle.js NATIVE_BUILD SITE_DIR [SITE_DIR...]');
  process.exit(2);
}
const rounds = parseInt(process.env.ROUNDS || '2', 10);
const settleMs = 1000 * parseFloat(process.env.SETTLE_S || '8');
const MEASURE_MS = 10000;
const TICKS = parseInt(execFileSync('getconf', ['CLK_TCK'], { encoding: 'utf8' }), 10);
const WEBKIT = ['/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.0/MiniBrowser']
  .find((file) => fs.existsSync(file));
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Every process's parent and CPU ticks, from /proc.
function processes() {
  const table = new Map();
  for (const name of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    let stat;
    try { stat = fs.readFileSync(`/proc/${name}/stat`, 'utf8'); } catch (e) { continue; }
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');  // from the state on: the name may hold spaces
    table.set(Number(name), { parent: Number(fields[1]), ticks: Number(fields[11]) + Number(fields[12]) });
  }
  return table;
}
// The ticks of root and its descendants, by process.
function treeTicks(root) {
  const table = processes();
  const ticks = new Map();
  const visit = [root];
  while (visit.length) {
    const pid = visit.pop();
    if (!table.has(pid) || ticks.has(pid)) continue;
    ticks.set(pid, table.get(pid).ticks);
    for (const [child, entry] of table) if (entry.parent === pid) visit.push(child);
  }
  return ticks;
}
// A share of one core over the window: what every process of the tree spent in it (one that started in the
// window counts from nothing).
function share(before, after, ms) {
  let spent = 0;
  for (const [pid, ticks] of after) spent += ticks - (before.get(pid) || 0);
  return 100 * spent / TICKS / (ms / 1000);
}

function freshDir(name) { return fs.mkdtempSync(path.join(os.tmpdir(), `kirake-idle-${name.replace(/\W.*/, '')}-`)); }

// A private X screen of idle.sh's size, for the MiniBrowser.
async function startX() {
  const dir = freshDir('x');
  const displayFile = path.join(dir, 'display');
  const fd = fs.openSync(displayFile, 'w');
  const server = spawn('Xvfb', ['-displayfd', '3', '-nolisten', 'tcp', '-screen', '0', '800x600x24'],
    { stdio: ['ignore', 'ignore', 'ignore', fd] });
  fs.closeSync(fd);
  for (let i = 0; i < 100; ++i) {
    const text = fs.readFileSync(displayFile, 'utf8').trim();
    if (text) return { server, display: ':' + text, dir };
    await sleep(100);
  }
  server.kill();
  throw new Error('Xvfb did not start');
}

const browsers = {
  chromium: {
    present: () => fs.existsSync('/usr/bin/chromium'),
    start(url, dir) {
      return spawn('/usr/bin/chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-extensions',
        '--mute-audio', '--window-size=800,600', `--user-data-dir=${dir}`, url], { stdio: 'ignore' });
    },
  },
  firefox: {
    present: () => fs.existsSync('/usr/bin/firefox-esr'),
    start(url, dir) {
      const prefs = { 'browser.shell.checkDefaultBrowser': false, 'datareporting.policy.dataSubmissionEnabled': false,
        'toolkit.telemetry.enabled': false, 'app.update.enabled': false, 'extensions.update.enabled': false,
        'browser.aboutwelcome.enabled': false, 'browser.startup.homepage_override.mstone': 'ignore' };
      fs.writeFileSync(path.join(dir, 'user.js'),
        Object.keys(prefs).map((key) => `user_pref("${key}", ${JSON.stringify(prefs[key])});\n`).join(''));
      return spawn('/usr/bin/firefox-esr', ['--headless', '--no-remote', '--profile', dir, '--window-size', '800,600', url],
        { stdio: 'ignore', env: Object.assign({}, process.env, { HOME: dir, MOZ_DISABLE_AUTO_SAFE_MODE: '1' }) });
    },
  },
  webkit: {
    present: () => !!WEBKIT,
    start: (url, dir, x) => startWebKit(url, dir, x, {}),
  },
  // On the virtual screen WebKit composites with OpenGL in software (llvmpipe), which costs it some 10 ms of
  // CPU for every change of the canvas; without its compositing it paints as the others do.
  'webkit (WEBKIT_DISABLE_COMPOSITING_MODE=1)': {
    present: () => !!WEBKIT,
    start: (url, dir, x) => startWebKit(url, dir, x, { WEBKIT_DISABLE_COMPOSITING_MODE: '1' }),
  },
};
function startWebKit(url, dir, x, more) {
  return spawn(WEBKIT, ['--private', '--full-screen', url], {
    stdio: 'ignore',
    env: Object.assign({}, process.env, { DISPLAY: x.display, HOME: dir, XDG_CACHE_HOME: path.join(dir, 'cache'),
      XDG_DATA_HOME: path.join(dir, 'data'), XDG_CONFIG_HOME: path.join(dir, 'config'), NO_AT_BRIDGE: '1' }, more),
  });
}

async function measure(browser, url, x) {
  const dir = freshDir(browser);
  const child = browsers[browser].start(url, dir, x);
  let exited = false;
  child.on('exit', () => { exited = true; });
  try {
    await sleep(settleMs);
    const before = treeTicks(child.pid);
    await sleep(MEASURE_MS);
    const after = treeTicks(child.pid);
    if (exited) throw new Error(browser + ' exited early');
    return share(before, after, MEASURE_MS);
  } finally {
    // The tree by its process group would take the bench too; each process of it by its id.
    for (const pid of treeTicks(child.pid).keys()) { try { process.kill(pid, 'SIGKILL'); } catch (e) { /* gone */ } }
    await sleep(300);
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

function nativeFigure() {
  const text = execFileSync('bash', [path.join(__dirname, 'idle.sh'), nativeBuild],
    { encoding: 'utf8', env: Object.assign({}, process.env, { ROUNDS: '1' }) });
  const found = /([\d.]+)% of a core/.exec(text);
  if (!found) throw new Error('idle.sh said: ' + text);
  return parseFloat(found[1]);
}

async function main() {
  const servers = await Promise.all(sites.map((site) => serve(path.resolve(site), 0)));
  const x = WEBKIT ? await startX() : null;
  const figures = { native: [] };
  const names = Object.keys(browsers).filter((name) => browsers[name].present());
  try {
    for (let round = 0; round < rounds; ++round) {
      figures.native.push(nativeFigure());
      for (const name of names) {
        for (let s = 0; s < sites.length; ++s) {
          const url = `http://127.0.0.1:${servers[s].address().port}/?continue=0&start=opening`;
          const key = `${name} ${sites[s]}`;
          (figures[key] = figures[key] || []).push(await measure(name, url, x));
        }
      }
    }
  } finally {
    servers.forEach((server) => server.close());
    if (x) { x.server.kill(); fs.rmSync(x.dir, { recursive: true, force: true }); }
  }
  const mean = (list) => list.reduce((a, b) => a + b, 0) / list.length;
  const native = mean(figures.native);
  const shown = (list) => list.map((v) => v.toFixed(1)).join(', ');
  console.log(`native window (${nativeBuild}): ${shown(figures.native)} % of a core`);
  for (const key of Object.keys(figures)) {
    if (key === 'native') continue;
    const m = mean(figures[key]);
    console.log(`${key}: ${shown(figures[key])} % of a core = ${(m / native).toFixed(1)}x the native window`);
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
