// make-site.js SITE_DIR: writes SITE_DIR/sw.js from web/sw.js, listing the site's files for offline play and
// naming its cache by a digest of them (a new build, a new cache).
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

const site = path.resolve(process.argv[2] || '.');
const files = fs.readdirSync(site).filter((name) => name !== 'sw.js' && fs.statSync(path.join(site, name)).isFile()).sort();
const template = fs.readFileSync(path.join(__dirname, 'sw.js'), 'utf8');
const digest = crypto.createHash('sha256').update(template);
for (const name of files) digest.update(name + '\0').update(fs.readFileSync(path.join(site, name)));
const version = digest.digest('hex').slice(0, 16);
const worker = template.replace('@VERSION@', version).replace('@FILES@', JSON.stringify(files));
const out = path.join(site, 'sw.js');
if (!fs.existsSync(out) || fs.readFileSync(out, 'utf8') !== worker) fs.writeFileSync(out, worker);
console.log(`make-site.js: ${files.length} files, version ${version}`);
