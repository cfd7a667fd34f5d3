// Puts the page template together: page.html with xterm.js, its fit addon,
// the engine and the page's scripts inlined. ostrel-publish later fills in
// the language, the title and the story.
//
//   node make_page.js ENGINE_JS OUT_HTML
'use strict';
const fs = require('fs');
const path = require('path');

const [enginePath, outPath] = process.argv.slice(2);
const web = __dirname;
const modules = path.join(web, 'node_modules', '@xterm');

// Inlined text must not end its <script> or <style> early, and must not
// point the browser at a source map to fetch.
function inline(file, text) {
  text = text.replace(/^\/\/# sourceMappingURL=.*$/mg, '').replace(/\/\*# sourceMappingURL=.*?\*\//g, '');
  if (/<\/(script|style)/i.test(text)) throw new Error(`${file} holds a closing tag`);
  return text;
}
const read = (file) => inline(file, fs.readFileSync(file, 'utf8'));

// The engine sees no fetch(), so that it takes its WebAssembly from the data
// it carries instead of asking for it as a request.
const engine = `var createOstrel = (function (fetch) {\n${read(enginePath)}\nreturn createOstrel;\n})(undefined);`;
const parts = {
  XTERM_CSS: read(path.join(modules, 'xterm', 'css', 'xterm.css')),
  XTERM_JS: read(path.join(modules, 'xterm', 'lib', 'xterm.js')),
  FIT_JS: read(path.join(modules, 'addon-fit', 'lib', 'addon-fit.js')),
  ENGINE_JS: engine,
  HOST_JS: read(path.join(web, 'host.js')),
  SAVES_JS: read(path.join(web, 'saves.js')),
  WRAP_JS: read(path.join(web, 'wrap.js')),
  PAGE_JS: read(path.join(web, 'page.js')),
};
let page = fs.readFileSync(path.join(web, 'page.html'), 'utf8');
for (const [name, text] of Object.entries(parts)) {
  const marker = `/*@${name}@*/`;
  if (page.split(marker).length !== 2) throw new Error(`page.html needs ${marker} once`);
  page = page.replace(marker, () => text);
}
for (const marker of ['@OSTREL_LANG@', '@OSTREL_TITLE@', '@OSTREL_STORY@']) {
  if (page.split(marker).length !== 2) throw new Error(`the page must hold ${marker} once`);
}
fs.writeFileSync(outPath, page);
