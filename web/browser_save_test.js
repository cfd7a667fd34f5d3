// The page's save in headless Chromium: a reload continues at once (the
// screen as it was, then the prompt), in a duel too, and the transcript holds
// the game from its title; Undo takes back a word, or a duel whole; Start
// over asks first, then goes back to the title without the save; two stories
// keep two saves; a story published again after a change replays its save
// and says so once; storage refused, failing or full; a page opened on the
// same story in a second tab takes the save over; and the whole browser
// killed right after an answer, a new one continuing from that answer.
'use strict';
const fs = require('fs');
const path = require('path');
const {execFileSync} = require('child_process');
const puppeteer = require('puppeteer-core');
const {publish, work, check, publishPage, computerMove, openPage, clearSaves, nextAsk, typeLine, saveTranscript} =
  require('./browser_util.js');

const CLOCK = 1000;
const MOVES = 3;
const BLOCKED = computerMove(CLOCK, MOVES);  // the computer's move at every turn
const STRIKE = BLOCKED % MOVES + 1;
const TITLE_LINE = 'THE KEEP OF SAVES';
const HALL = 'The hall of the keep. A door leads north; a goblin waits east.';
const LIBRARY = 'The library: books, and dust. The hall is south.';
const UNKEPT = {
  refused: 'Progress will not be kept: this browser does not let the page store it.',
  full: 'Progress will not be kept: the browser\'s storage is full.',
  elsewhere: 'Progress here is no longer kept: this story was opened in another tab or window.',
};

// The test's story, in a directory `name`; `library` and `back` change the
// library's text and the word that leaves it.
function writeStory(name, {library = LIBRARY, back = 'south'} = {}) {
  const dir = path.join(work, 'stories', name);
  fs.mkdirSync(dir, {recursive: true});
  fs.writeFileSync(path.join(dir, 'title_screen.ostrel'), `${TITLE_LINE}\n`);
  fs.writeFileSync(path.join(dir, 'credits.ostrel'), 'The end.\n');
  fs.writeFileSync(path.join(dir, 'script.ostrel'), [
    '|start_location:', 'Hall',
    '|location=Hall', '/clear', HALL, '/get_input',
    '>>north', '/change_location:', 'Library', '/end',
    '>>east', '/change_battle:', 'Goblin', '/end',
    '|location=Library', '/clear', library, '/get_input',
    `>>${back}`, '/change_location:', 'Hall', '/end',
    '>>sleep', '/end_game', '/end',
    '|battle=Goblin',
    '*player_health:', '3', '*PC_health:', '3', '*number_of_moves:', String(MOVES),
    '*player_HP_label:', 'You: ', '*PC_HP_label:', ' Goblin: ',
    '*player_attacks_message:', 'Where do you strike?',
    '*player_attack_1:', '1 - high', '*player_attack_2:', '2 - middle', '*player_attack_3:', '3 - low',
    '*player_defends_message:', 'The goblin swings. Where do you guard?',
    '*player_defend_1:', '1 - high', '*player_defend_2:', '2 - middle', '*player_defend_3:', '3 - low',
    '*player_hits_message:', 'You hit the goblin.', '*PC_blocks_message:', 'The goblin parries.',
    '*PC_hits_message:', 'The goblin hits you.', '*player_blocks_message:', 'You block the blow.',
    '*player_wins_result:', 'The goblin flees.', '/change_location:', 'Hall',
    '*PC_wins_result:', 'You are beaten.', '/change_location:', 'Hall', '',
  ].join('\n'));
  return dir;
}

// The screen's rows as text, blanks at the ends of rows and the empty rows
// below left out.
const rowsOf = () => Array.from(document.querySelectorAll('.xterm-rows > div'), (r) => r.textContent.trimEnd())
  .join('\n').trimEnd();

// The screen once it shows `text`, and ends with `last` (the prompt), drawn.
async function screenWith(page, text, last = '>') {
  await page.waitForFunction(`(${rowsOf})().includes(${JSON.stringify(text)}) && (${rowsOf})().endsWith(${
    JSON.stringify(last)})`, {timeout: 10000}).catch(() => {});
  return page.evaluate(rowsOf);
}

// True once a row of the screen shows `text`.
async function shows(page, text) {
  return page.waitForFunction(`(${rowsOf})().includes(${JSON.stringify(text)})`, {timeout: 10000})
    .then(() => true, () => false);
}

// True once the screen is `expected`.
async function screenIs(page, expected) {
  return page.waitForFunction(`(${rowsOf})() === ${JSON.stringify(expected)}`, {timeout: 10000})
    .then(() => true, () => false);
}

const state = (page) => page.evaluate(() => ({
  input: document.body.dataset.input,
  asks: window.__asks,
  undo: document.getElementById('undo').disabled ? 'disabled' : 'enabled',
  note: document.getElementById('note').textContent,
  focus: document.activeElement.className || document.activeElement.id,
}));

// The saves the browser holds for pages from file://: each story's key and
// its journal as Latin-1 text.
function storedSaves(page) {
  return page.evaluate(() => new Promise((resolve) => {
    const open = indexedDB.open('ostrel', 1);
    open.onupgradeneeded = () => {
      open.result.createObjectStore('saves', {keyPath: 'key'}).createIndex('used', 'used');
      open.result.createObjectStore('parts');
    };
    open.onsuccess = () => {
      const db = open.result;
      const tx = db.transaction(['saves', 'parts']);
      const saves = tx.objectStore('saves').getAll();
      const parts = tx.objectStore('parts').getAll(IDBKeyRange.lowerBound([''], false));
      const keys = tx.objectStore('parts').getAllKeys(IDBKeyRange.lowerBound([''], false));
      tx.oncomplete = () => {
        const text = (bytes) => Array.from(bytes, (b) => String.fromCharCode(b)).join('');
        const found = {};
        for (const save of saves.result) found[save.key] = text(save.bytes);
        keys.result.forEach((key, i) => { found[key[0]] = (found[key[0]] || '') + text(parts.result[i]); });
        db.close();
        resolve(found);
      };
    };
    open.onerror = () => resolve(null);
  }));
}

const keyOf = (name, title) => JSON.stringify([name, title || name]);

// Plays from the title to the hall's prompt.
async function toHall(page) {
  let [kind, asks] = await nextAsk(page, 0);
  if (kind === 'key') {
    await page.keyboard.press('Space');
    [kind, asks] = await nextAsk(page, asks);
  }
  return asks;
}

// Counts the engines alive in the page: each WebAssembly instance made, less
// those collected.
function countEngines() {
  window.__liveEngines = 0;
  const registry = new FinalizationRegistry(() => { window.__liveEngines--; });
  const instantiate = WebAssembly.instantiate;
  WebAssembly.instantiate = function (...args) {
    return instantiate.apply(this, args).then((result) => {
      window.__liveEngines++;
      registry.register(result.instance || result, null);
      return result;
    });
  };
}

// 1. Reload, Undo, the duel, the transcript, and nothing left by a restart.
async function reloadAndUndo(browser, file) {
  const {page, errors} = await openPage(browser, file, CLOCK, true, {init: countEngines});
  let [kind, asks] = await nextAsk(page, 0);
  check(kind === 'key' && (await state(page)).undo === 'disabled', 'at the title: nothing to undo, Undo disabled',
        JSON.stringify(await state(page)));
  await page.keyboard.press('Space');
  [kind, asks] = await nextAsk(page, asks);
  const hall = await screenWith(page, HALL);
  await typeLine(page, 'north');
  [kind, asks] = await nextAsk(page, asks);
  const library = await screenWith(page, LIBRARY);
  check((await state(page)).undo === 'enabled', 'after an answer: Undo enabled');
  const transcriptBefore = await saveTranscript(page, 'transcript-before');

  await page.reload();
  [kind, asks] = await nextAsk(page, 0);
  check(kind === 'word' && asks === 1 && await screenIs(page, library),
        'a reload continues at once: the screen as it was, then the prompt, no key asked',
        JSON.stringify({kind, asks, screen: await page.evaluate(rowsOf), library}));
  const heard = await page.evaluate(() => Array.from(document.querySelectorAll('#transcript p'), (p) => p.textContent));
  check(JSON.stringify(heard) === JSON.stringify([LIBRARY, '>']), 'the screen reader hears the screen continued',
        JSON.stringify(heard));
  const transcriptAfter = await saveTranscript(page, 'transcript-after');
  check(transcriptBefore !== null && transcriptAfter === transcriptBefore,
        'after a reload the transcript holds the game from its title, as before the reload',
        JSON.stringify([transcriptBefore, transcriptAfter]));

  await page.click('#undo');
  [kind, asks] = await nextAsk(page, asks);
  const undone = await state(page);
  check(kind === 'word' && await screenIs(page, hall) && undone.undo === 'disabled' &&
        undone.focus.includes('xterm-helper-textarea'),
        'Undo takes the word back: the screen before it, the keyboard in the story, nothing more to undo',
        JSON.stringify({undone, screen: await page.evaluate(rowsOf)}));
  await page.reload();
  [kind, asks] = await nextAsk(page, 0);
  check(await screenIs(page, hall), 'Undo is kept: a reload continues before the word', await page.evaluate(rowsOf));

  // A duel: reloaded in its second turn, taken back whole.
  await typeLine(page, 'east');
  [kind, asks] = await nextAsk(page, asks);
  const firstTurn = await screenWith(page, 'Where do you strike?', '3 - low');
  await typeLine(page, String(STRIKE));
  [kind, asks] = await nextAsk(page, asks);
  const hit = await page.waitForFunction(`(${rowsOf})().endsWith('Goblin: 2')`, {timeout: 10000})
    .then(() => page.evaluate(rowsOf), () => page.evaluate(rowsOf));
  check(kind === 'key' && hit.includes(`\n${STRIKE}\nYou hit the goblin.`), 'a blow struck in the duel', hit);
  await page.reload();
  [kind, asks] = await nextAsk(page, 0);
  check(kind === 'key' && asks === 1 && await screenIs(page, hit),
        'a reload at the key after a blow: the screen as it was, the move as typed',
        JSON.stringify({kind, asks, screen: await page.evaluate(rowsOf)}));
  await page.keyboard.press('Space');
  [kind, asks] = await nextAsk(page, asks);
  const secondTurn = await screenWith(page, 'Where do you guard?', '3 - low');
  await page.reload();
  [kind, asks] = await nextAsk(page, 0);
  check(kind === 'number' && asks === 1 && await screenIs(page, secondTurn),
        'a reload in a duel continues it: the turn as it was, then the move prompt',
        JSON.stringify({kind, asks, screen: await page.evaluate(rowsOf)}));
  await page.click('#undo');
  [kind, asks] = await nextAsk(page, asks);
  check(kind === 'number' && await screenIs(page, firstTurn) && (await state(page)).undo === 'enabled',
        'Undo in a duel takes the whole duel back: its first turn again, the word before it still to undo',
        await page.evaluate(rowsOf));

  // Each restart is a new engine: the ones left behind are collected.
  for (let i = 0; i < 4; i++) {
    await typeLine(page, String(STRIKE));
    [kind, asks] = await nextAsk(page, asks);
    await page.click('#undo');
    [kind, asks] = await nextAsk(page, asks);
  }
  const cdp = await page.createCDPSession();
  let live = Infinity;
  for (let i = 0; i < 50 && live > 1; i++) {
    await cdp.send('HeapProfiler.collectGarbage');
    // Finalizers run in a task of their own after the collection.
    live = await page.evaluate(() => new Promise((resolve) => setTimeout(() => resolve(window.__liveEngines))));
  }
  check(live === 1, 'five restarts leave one engine alive, not six', live);

  // Played to the end: no save is left, and Play again starts anew.
  for (let turn = 1; kind !== 'word'; turn++) {
    if (kind === 'number') await typeLine(page, String(turn % 2 === 1 ? STRIKE : BLOCKED));
    else await page.keyboard.press('Space');
    [kind, asks] = await nextAsk(page, asks);
  }
  await screenWith(page, HALL);
  await typeLine(page, 'north');
  [kind, asks] = await nextAsk(page, asks);
  await typeLine(page, 'sleep');
  [kind, asks] = await nextAsk(page, asks);
  await page.keyboard.press('Space');
  [kind, asks] = await nextAsk(page, asks);
  const saves = await storedSaves(page);
  check(kind === 'ended' && saves[keyOf('keep')] === undefined && (await state(page)).undo === 'disabled',
        'a game played to its end leaves no save', JSON.stringify({kind, saves}));
  await page.click('#again');
  [kind, asks] = await nextAsk(page, asks);
  check(kind === 'key' && await shows(page, TITLE_LINE), 'Play again: the title, a new game');
  check(errors.length === 0, 'reload and Undo: no error', JSON.stringify(errors));
  await page.close();
}

// 2. Start over: asked first, in a dialog; then the title, the save gone.
async function startOver(browser, file) {
  const {page, errors} = await openPage(browser, file, CLOCK, true);
  let asks = await toHall(page);
  await typeLine(page, 'north');
  let kind;
  [kind, asks] = await nextAsk(page, asks);
  const library = await screenWith(page, LIBRARY);
  await page.click('#start-over');
  const asked = await page.evaluate(() => ({open: document.getElementById('confirm-start-over').open,
                                            focus: document.activeElement.id}));
  check(asked.open && asked.focus === 'keep-playing', 'Start over asks first, the keyboard on Keep playing',
        JSON.stringify(asked));
  await page.keyboard.press('Escape');
  const kept = await page.waitForFunction(() => !document.getElementById('confirm-start-over').open &&
                                          document.activeElement.classList.contains('xterm-helper-textarea'),
                                          {timeout: 5000}).then(() => true, () => false);
  const saved = (await storedSaves(page))[keyOf('keep')];
  check(kept && await screenIs(page, library) && saved.includes('north'), 'Escape: nothing changes, back to the story',
        JSON.stringify({kept, saved, screen: await page.evaluate(rowsOf), state: await state(page)}));
  await page.click('#start-over');
  await page.click('#start-anew');
  [kind, asks] = await nextAsk(page, asks);
  const saves = await storedSaves(page);
  check(kind === 'key' && await shows(page, TITLE_LINE) && !(await page.evaluate(rowsOf)).includes(LIBRARY) && saves[keyOf('keep')] === undefined &&
        (await state(page)).undo === 'disabled', 'Start over: the title, the save gone', JSON.stringify(saves));
  await page.reload();
  [kind] = await nextAsk(page, 0);
  check(kind === 'key', 'and a reload shows the title');
  check(errors.length === 0, 'Start over: no error', JSON.stringify(errors));
  await page.close();
}

// 3. Two stories, two names: two saves. The same story under another title
// is another story.
async function twoStories(browser) {
  const one = publishPage(writeStory('one'), []);
  const two = publishPage(writeStory('two'), []);
  const renamed = path.join(work, 'renamed.html');
  execFileSync(publish, ['-o', renamed, '--title', 'Another title', path.join(work, 'stories', 'one')],
               {stdio: 'pipe'});
  const a = await openPage(browser, one, CLOCK, true);
  let asks = await toHall(a.page);
  await typeLine(a.page, 'north');
  await nextAsk(a.page, asks);
  const library = await screenWith(a.page, LIBRARY);
  const b = await openPage(browser, two, CLOCK, true, {keepSaves: true});
  asks = await toHall(b.page);
  await typeLine(b.page, 'east');
  await nextAsk(b.page, asks);
  const duel = await screenWith(b.page, 'Where do you strike?', '3 - low');
  // A tab in the background draws nothing: each in front to be seen.
  await a.page.reload();
  await b.page.reload();
  await a.page.bringToFront();
  const first = await screenIs(a.page, library);
  await b.page.bringToFront();
  check(first && await screenIs(b.page, duel), 'two stories: each continues its own game',
        JSON.stringify([await a.page.evaluate(rowsOf), library, await b.page.evaluate(rowsOf), duel]));
  const c = await openPage(browser, renamed, CLOCK, true, {keepSaves: true});
  const [kind] = await nextAsk(c.page, 0);
  check(kind === 'key' && await shows(c.page, TITLE_LINE),
        'the same story under another title: a game of its own', JSON.stringify([kind, await c.page.evaluate(rowsOf)]));
  const saves = await storedSaves(c.page);
  check(saves[keyOf('one')].includes('north') && !saves[keyOf('two')].includes('north') &&
        saves[keyOf('two')].includes('east') && saves[keyOf('one', 'Another title')] === undefined,
        'two saves, under the stories\' names', JSON.stringify(Object.keys(saves)));
  for (const p of [a, b, c]) await p.page.close();
}

// 4. A story published again after a change: its save replayed on the new
// story, said once.
async function changedStory(browser) {
  const dir = writeStory('changing');
  const file = publishPage(dir, []);
  const {page, errors} = await openPage(browser, file, CLOCK, true);
  let asks = await toHall(page);
  for (const word of ['north', 'south', 'north']) {
    await typeLine(page, word);
    [, asks] = await nextAsk(page, asks);
  }
  await screenWith(page, LIBRARY);
  // The library's text new, and its way back another word: the save is
  // played as far as 'north', and its last two answers are dropped.
  const changed = 'The library, its shelves new.';
  writeStory('changing', {library: changed, back: 'down'});
  publishPage(dir, []);
  await page.reload();
  await nextAsk(page, 0);
  const note = 'The story has changed since this game was saved; its answers were played again as far as they ' +
    'fit, and 2 were dropped.';
  const screen = await screenWith(page, changed);
  check(screen.includes(changed) && (await state(page)).note === note,
        'a story changed since its save: replayed as far as it fits, the player told as the guide says',
        JSON.stringify({screen, state: await state(page)}));
  await page.reload();
  await nextAsk(page, 0);
  await screenWith(page, changed);
  check((await state(page)).note === '', 'told once', (await state(page)).note);
  check(errors.length === 0, 'a changed story: no error', JSON.stringify(errors));
  await page.close();
}

// 5. Storage refused at once, refused later, never answering, failing in the
// middle of a game: the page plays on, and says once that progress is not
// kept.
async function storageRefused(browser, file) {
  const refusals = {
    'no IndexedDB': () => {
      Object.defineProperty(window, 'indexedDB', {get() { throw new DOMException('denied', 'SecurityError'); }});
    },
    'an open that fails later': () => {
      IDBFactory.prototype.open = function () {
        const request = {};
        Promise.resolve().then(() => request.onerror && request.onerror(new Event('error')));
        return request;
      };
    },
    // The page waits for it a few seconds, then plays on.
    'an open that never answers': () => {
      IDBFactory.prototype.open = () => ({});
    },
    'writes that fail': () => {
      const put = IDBObjectStore.prototype.put;
      IDBObjectStore.prototype.put = function (...args) {
        if (window.__failWrites) throw new DOMException('broken', 'UnknownError');
        return put.apply(this, args);
      };
    },
  };
  for (const [name, refuse] of Object.entries(refusals)) {
    const {page, errors} = await openPage(browser, file, CLOCK, true, {init: refuse});
    let asks = await toHall(page);
    await typeLine(page, 'north');
    [, asks] = await nextAsk(page, asks);
    if (name === 'writes that fail') {
      check((await state(page)).note === '', `${name}: nothing said while writes succeed`);
      await page.evaluate(() => { window.__failWrites = true; });
    }
    await typeLine(page, 'south');
    [, asks] = await nextAsk(page, asks);
    await typeLine(page, 'north');
    [, asks] = await nextAsk(page, asks);
    const now = await state(page);
    check(await screenWith(page, LIBRARY) && now.note === UNKEPT.refused && errors.length === 0,
          `${name}: the page plays on and says once that progress will not be kept`, JSON.stringify({now, errors}));
    await page.click('#undo');
    await nextAsk(page, asks);
    check(await screenWith(page, HALL) && !(await page.evaluate(rowsOf)).includes(LIBRARY),
          `${name}: Undo works all the same`, await page.evaluate(rowsOf));
    if (name === 'writes that fail') {
      await page.reload();
      await nextAsk(page, 0);
      check(await screenWith(page, LIBRARY), `${name}: the save as last written`, await page.evaluate(rowsOf));
    }
    await page.close();
  }
}

// 6. Storage full: the saves of the stories used least recently give way;
// this story's own never does.
async function storageFull(browser, file) {
  const setup = await browser.newPage();
  await clearSaves(setup);
  const blank = path.join(work, 'blank.html');
  fs.writeFileSync(blank, '<!DOCTYPE html><title>blank</title>\n');
  await setup.goto('file://' + blank);
  await setup.evaluate(() => new Promise((resolve) => {
    const open = indexedDB.open('ostrel', 1);
    open.onupgradeneeded = () => {
      open.result.createObjectStore('saves', {keyPath: 'key'}).createIndex('used', 'used');
      open.result.createObjectStore('parts');
    };
    open.onsuccess = () => {
      const tx = open.result.transaction('saves', 'readwrite');
      tx.objectStore('saves').put({key: '["oldest","oldest"]', bytes: new Uint8Array(10), used: 1});
      tx.objectStore('saves').put({key: '["older","older"]', bytes: new Uint8Array(10), used: 2});
      tx.oncomplete = () => { open.result.close(); resolve(); };
    };
  }));
  await setup.close();
  // The store refuses a write as a full disk does: the transaction aborts
  // with QuotaExceededError once it has run.
  const full = () => {
    window.__quotaFailures = 1;
    const put = IDBObjectStore.prototype.put;
    IDBObjectStore.prototype.put = function (...args) {
      const request = put.apply(this, args);
      if (this.name === 'saves' && window.__quotaFailures > 0) {
        window.__quotaFailures--;
        const tx = this.transaction;
        request.addEventListener('success', () => {
          Object.defineProperty(tx, 'error', {value: new DOMException('full', 'QuotaExceededError')});
          tx.abort();
        });
      }
      return request;
    };
  };
  const {page} = await openPage(browser, file, CLOCK, true, {init: full, keepSaves: true});
  let asks = await toHall(page);
  await typeLine(page, 'north');
  [, asks] = await nextAsk(page, asks);
  let saves = await storedSaves(page);
  check(saves['["oldest","oldest"]'] === undefined && saves['["older","older"]'] !== undefined &&
        saves[keyOf('keep')].includes('north') && (await state(page)).note === '',
        'storage full: the save used least recently gives way, and nothing is said', JSON.stringify(Object.keys(saves)));
  await page.evaluate(() => { window.__quotaFailures = 5; });
  await typeLine(page, 'south');
  [, asks] = await nextAsk(page, asks);
  saves = await storedSaves(page);
  check(saves['["older","older"]'] === undefined && saves[keyOf('keep')].includes('north') &&
        !saves[keyOf('keep')].includes('south') && (await state(page)).note === UNKEPT.full,
        'still full with no other save left: this story\'s save stays as it was, and the page says so',
        JSON.stringify({keys: Object.keys(saves), note: (await state(page)).note}));
  await page.close();
}

// 7. The same story opened in a second tab takes the save over; the first
// says that it no longer keeps progress, and writes nothing more.
async function secondTab(browser, file) {
  const first = await openPage(browser, file, CLOCK, true);
  let asks = await toHall(first.page);
  await typeLine(first.page, 'north');
  [, asks] = await nextAsk(first.page, asks);
  const second = await openPage(browser, file, CLOCK, true, {keepSaves: true});
  await nextAsk(second.page, 0);
  await second.page.bringToFront();
  const library = await screenWith(second.page, LIBRARY);
  await first.page.waitForFunction((t) => document.getElementById('note').textContent === t, {timeout: 5000},
                                   UNKEPT.elsewhere).catch(() => {});
  check((await state(first.page)).note === UNKEPT.elsewhere && library.includes(LIBRARY),
        'a second tab continues the game and takes its save over; the first says so',
        JSON.stringify(await state(first.page)));
  await first.page.bringToFront();
  await typeLine(first.page, 'south');
  await nextAsk(first.page, asks);
  const saves = await storedSaves(second.page);
  check(!saves[keyOf('keep')].includes('south'), 'the first tab writes no more');
  await first.page.close();
  await second.page.close();
}

// 8. The whole browser killed right after an answer; a new one on the same
// profile continues from that answer.
async function killedBrowser(file, options) {
  const profile = path.join(work, 'kill-profile');
  let browser = await puppeteer.launch({...options, userDataDir: profile});
  const {page} = await openPage(browser, file, CLOCK, true, {keepSaves: true});
  let asks = await toHall(page);
  await typeLine(page, 'north');
  await nextAsk(page, asks);
  const library = await screenWith(page, LIBRARY);
  process.kill(-browser.process().pid, 'SIGKILL');
  await new Promise((resolve) => {
    if (browser.process().exitCode !== null || browser.process().signalCode !== null) resolve();
    else browser.process().once('exit', resolve);
  });
  browser = await puppeteer.launch({...options, userDataDir: profile});
  try {
    const again = await openPage(browser, file, CLOCK, true, {keepSaves: true});
    const [kind] = await nextAsk(again.page, 0);
    check(kind === 'word' && await screenIs(again.page, library),
          'the browser killed right after an answer: a new one continues from it', await again.page.evaluate(rowsOf));
  } finally {
    await browser.close();
  }
}

// The guide quotes what the page says as the page says it.
function guideQuotes() {
  const guide = fs.readFileSync(path.join(__dirname, '..', 'docs', 'writing-stories.md'), 'utf8').replace(/\s+/g, ' ');
  for (const [reason, text] of Object.entries(UNKEPT)) {
    check(guide.includes(text), `the guide quotes the page's words when storage is ${reason}`, text);
  }
  const changed = 'The story has changed since this game was saved; its answers were played again as far as ' +
    'they fit, and 2 were dropped.';
  check(guide.includes(changed), 'the guide quotes the page\'s words on a changed story (as changedStory sees them)',
        changed);
}

async function saveTests(browser, launchOptions) {
  guideQuotes();
  const file = publishPage(writeStory('keep'), []);
  const timed = async (name, test) => {
    const start = Date.now();
    await test();
    console.log(`${name}: ${Date.now() - start} ms`);
  };
  await timed('reload and undo', () => reloadAndUndo(browser, file));
  await timed('start over', () => startOver(browser, file));
  await timed('two stories', () => twoStories(browser));
  await timed('changed', () => changedStory(browser));
  await timed('refused', () => storageRefused(browser, file));
  await timed('full', () => storageFull(browser, file));
  await timed('second tab', () => secondTab(browser, file));
  await timed('killed', () => killedBrowser(file, launchOptions));
}

module.exports = {saveTests};
