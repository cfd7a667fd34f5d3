// What the browser tests share: the published page opened in headless
// Chromium, the checks and their count, and the player's moves.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {execFileSync} = require('child_process');

const [publish, storyDir] = process.argv.slice(2);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'ostrel-browser-'));
const counts = {passes: 0, failures: 0};

function check(ok, what, detail) {
  if (ok) {
    counts.passes++;
  } else {
    counts.failures++;
    console.log(`FAILED: ${what}${detail !== undefined ? `\n  ${detail}` : ''}`);
  }
}

function publishPage(dir, extra) {
  const out = path.join(work, path.basename(dir) + '.html');
  execFileSync(publish, ['-o', out, ...extra, dir], {stdio: 'pipe'});
  return out;
}

// The C library's rand() as on Linux, which the web build's is too: the
// computer's move for a clock fixed at `seconds`.
function computerMove(seconds, moves) {
  const r = new Array(31);
  let word = seconds | 0 || 1;
  r[0] = word;
  for (let i = 1; i < 31; i++) {
    const hi = Math.trunc(word / 127773);
    const lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    r[i] = word;
  }
  let front = 3;
  let rear = 0;
  let value = 0;
  for (let i = 0; i <= 310; i++) {
    value = (r[front] + r[rear]) >>> 0;
    r[front] = value | 0;
    front = (front + 1) % 31;
    rear = (rear + 1) % 31;
  }
  return (value >>> 1) % moves + 1;
}

// Counts the times the page asks for input, and keeps the times at which the
// screen's rows change, for the test to read.
function instrument(fixedSeconds, fast) {
  window.__asks = 0;
  window.__rows = [];
  if (fixedSeconds !== null) Date.now = () => fixedSeconds * 1000;
  if (fast) {
    const realTimeout = window.setTimeout;
    window.setTimeout = (f, ms, ...rest) => realTimeout(f, 0, ...rest);
  }
  // Watched from the document itself: the page may ask before it has loaded.
  new MutationObserver(() => {
    if (document.body.dataset.input) window.__asks++;
  }).observe(document, {subtree: true, attributes: true, attributeFilter: ['data-input']});
  document.addEventListener('DOMContentLoaded', () => {
    const watchRows = () => {
      const rows = document.querySelector('.xterm-rows');
      if (!rows) return void requestAnimationFrame(watchRows);
      new MutationObserver(() => {
        window.__rows.push([performance.now(), rows.innerText]);
      }).observe(rows, {childList: true, subtree: true, characterData: true});
    };
    watchRows();
  });
}

// Opens a page with the clock fixed at `fixedSeconds` (null: the real one)
// and, with `fast`, every timer at once. The reader's system asks for
// `scheme` (dark unless said), at the size `viewport` (puppeteer's default
// unless given); `init` runs in the page before anything else, at every load.
// The saves of the pages opened from file:// go first, unless `keepSaves`:
// the story starts at its title.
async function openPage(browser, file, fixedSeconds, fast, {scheme = 'dark', viewport, init, keepSaves} = {}) {
  const page = await browser.newPage();
  if (!keepSaves) await clearSaves(page);
  const requests = [];
  const errors = [];
  page.on('request', (r) => requests.push(r.url()));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(e.message));
  await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]);
  if (viewport) await page.setViewport(viewport);
  if (init) await page.evaluateOnNewDocument(init);
  await page.evaluateOnNewDocument(instrument, fixedSeconds, fast);
  await page.goto('file://' + file);
  return {page, requests, errors};
}

// Removes every save of the pages opened from file:// (their IndexedDB).
async function clearSaves(page) {
  const cdp = await page.createCDPSession();
  await cdp.send('Storage.clearDataForOrigin', {origin: 'file://', storageTypes: 'indexeddb'});
  await cdp.detach();
}

const screenText = (page) => page.evaluate(() => document.querySelector('.xterm-rows').innerText);

// True once the screen shows `text` (the terminal draws a little after the
// engine writes).
async function screenShows(page, text) {
  try {
    await page.waitForFunction((t) => document.querySelector('.xterm-rows').innerText.includes(t),
                               {timeout: 5000}, text);
    return true;
  } catch (e) {
    return false;
  }
}

// Waits until the page asks for input again, and says what for.
async function nextAsk(page, asksBefore) {
  try {
    await page.waitForFunction((n) => window.__asks > n && document.body.dataset.input,
                               {timeout: 20000}, asksBefore);
  } catch (e) {
    const state = await page.evaluate(() => [document.body.dataset.input, window.__asks]);
    throw new Error(`no new question after ${asksBefore} (${state}); the screen:\n` +
                    await screenText(page));
  }
  return page.evaluate(() => [document.body.dataset.input, window.__asks]);
}

async function typeLine(page, text) {
  await page.keyboard.type(text);
  await page.keyboard.press('Enter');
}

// The longest line of a file, to know it by on the screen.
function longestLine(file) {
  const text = fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
  return text.split('\n').reduce((a, b) => (b.trim().length > a.length ? b.trim() : a), '');
}

// Clicks "Save transcript" and returns the text downloaded into a new
// directory `name`, or null if none came.
async function saveTranscript(page, name) {
  const downloads = path.join(work, name);
  fs.mkdirSync(downloads);
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads});
  await page.click('#save');
  for (let i = 0; i < 100; i++) {
    const names = fs.readdirSync(downloads).filter((n) => n.endsWith('.txt'));
    if (names.length > 0) return fs.readFileSync(path.join(downloads, names[0]), 'utf8');
    await new Promise((r) => setTimeout(r, 50));
  }
  return null;
}

module.exports = {publish, storyDir, work, counts, check, publishPage, computerMove, openPage, clearSaves,
                  screenText, screenShows, nextAsk, typeLine, longestLine, saveTranscript};
