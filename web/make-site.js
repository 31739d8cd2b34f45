// make-site.js SITE_DIR: writes SITE_DIR/sw.js from web/sw.js, listing the site's files for offline play
// with the SHA-256 of each (the worker keeps only those bytes) and naming its cache by a digest of them (a
// new build, a new cache). The host's configuration (data-origins.json) is not a build file: it is neither
// listed nor part of the version, so a host may edit it without a new build.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

const HOST_FILES = ['sw.js', 'data-origins.json'];
const site = path.resolve(process.argv[2] || '.');
const files = fs.readdirSync(site).filter((name) => HOST_FILES.indexOf(name) < 0 && fs.statSync(path.join(site, name)).isFile()).sort();
const template = fs.readFileSync(path.join(__dirname, 'sw.js'), 'utf8');
const version = crypto.createHash('sha256').update(template);
const digests = {};
for (const name of files) {
  const bytes = fs.readFileSync(path.join(site, name));
  digests[name] = crypto.createHash('sha256').update(bytes).digest('hex');
  version.update(name + '\0' + digests[name] + '\0');
}
const versionText = version.digest('hex').slice(0, 16);
const worker = template.replace('@VERSION@', versionText).replace('@DIGESTS@', JSON.stringify(digests, null, 1));
const out = path.join(site, 'sw.js');
if (!fs.existsSync(out) || fs.readFileSync(out, 'utf8') !== worker) fs.writeFileSync(out, worker);
console.log(`make-site.js: ${files.length} files, version ${versionText}`);
