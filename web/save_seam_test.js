// The web build's side of saving, under Node: the engine keeps its journal
// through the host's journal functions (engine/terminal_web.cpp), and a page
// that has a save continues by itself, as `ostrel --continue` does. The
// page's own storage is not tested here, only the functions it must offer,
// and the places where Undo cuts the journal (web/saves.js).
//
// With --native, on each story directory after it: the journal the web
// build writes is the native engine's, byte for byte, the native engine
// continues it exactly as the web build does, and the web build plays it
// from the title as `ostrel-replay --journal` does.
//
//   node --no-experimental-fetch save_seam_test.js ENGINE_JS STORY_DIR
//        [--native OSTREL FIXED_TIME_LIBRARY OSTREL_REPLAY DIR...]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {execFileSync, spawnSync} = require('child_process');
const {OstrelHost} = require('./host.js');
const {JournalIndex} = require('./saves.js');

const FILES = ['script.ostrel', 'animations.ostrel', 'title_screen.ostrel', 'credits.ostrel'];

process.on('unhandledRejection', (e) => {
  if (e && e.name === 'ExitStatus') return;
  throw e;
});

// A save kept in memory, as the page keeps one in its storage.
class MemoryJournal {
  constructor() {
    this.bytes = null;
    this.calls = [];
  }
  journalLoad() {
    this.calls.push('load');
    return Promise.resolve(this.bytes);
  }
  journalAppend(bytes) {
    this.calls.push('append');
    const old = this.bytes || new Uint8Array(0);
    const joined = new Uint8Array(old.length + bytes.length);
    joined.set(old);
    joined.set(bytes, old.length);
    this.bytes = joined;
  }
  journalSync() {
    this.calls.push('sync');
    return Promise.resolve();
  }
  journalReplace(bytes) {
    this.calls.push('replace');
    this.bytes = new Uint8Array(bytes);
  }
  journalDiscard() {
    this.calls.push('discard');
    this.bytes = null;
  }
}

// Plays the story with `input` typed ahead and the journal functions of
// `journal` (none when null), or, given `toPlay`, that journal from the
// title; resolves with the text shown, a form feed for each clear screen,
// what went to standard error, the exit status, and what was shown as the
// player's typing.
function play(createOstrel, dir, input, journal, toPlay) {
  let text = '';
  let shown = '';
  const errors = [];
  const screen = {
    write(bytes, echoed) {
      const latin1 = Buffer.from(bytes).toString('latin1');
      if (!echoed) text += latin1;
      shown += latin1;
    },
    color() {},
    clear() {
      text += '\f';
      shown += '\f';
    },
    line() {},
    waiting() {},
  };
  const clock = {now: () => 0, wait: () => Promise.resolve()};
  const host = new OstrelHost(screen, clock);
  if (journal) {
    for (const name of ['journalLoad', 'journalAppend', 'journalSync', 'journalReplace',
                        'journalDiscard']) {
      host[name] = journal[name].bind(journal);
    }
  }
  if (toPlay) host.journalToPlay = () => toPlay;
  host.type(input);
  host.endInput();
  Date.now = () => 1000 * 1000;
  return new Promise((resolve, reject) => {
    createOstrel({
      ostrelHost: host,
      quit: (status, toThrow) => { throw toThrow; },
      print: (line) => reject(new Error('wrote to stdout: ' + line)),
      printErr: (line) => errors.push(line),
      preRun: [(module) => {
        module.FS.mkdir('/story');
        for (const name of FILES) {
          const file = path.join(dir, name);
          if (!fs.existsSync(file)) continue;
          if (fs.statSync(file).isDirectory()) module.FS.mkdir('/story/' + name);
          else module.FS.writeFile('/story/' + name, fs.readFileSync(file));
        }
        module.FS.chdir('/story');
      }],
      onExit(status) { resolve({text, shown, errors, status}); },
    }).catch(reject);
  });
}

// The story's input cut after each of its lines: the part before and the
// rest.
function cuts(dir) {
  const file = path.join(dir, 'input');
  const input = fs.existsSync(file) ? fs.readFileSync(file).toString('latin1') : '';
  const lines = input.split(/(?<=\n)/);
  const found = [];
  for (let k = 1; k < lines.length; k++) {
    const before = lines.slice(0, k).join('');
    found.push([before, input.slice(before.length)]);
  }
  return found;
}

// The web build's journal against the native engine's, on one story: the
// input before the cut played by both (the clock fixed alike), the web
// build's journal continued by both with the rest, and played from the title
// by both.
async function matchesNative(createOstrel, native, dir, before, rest) {
  const problems = [];
  const check = (ok, what) => { if (!ok) problems.push(what); };
  const state = fs.mkdtempSync(path.join(os.tmpdir(), 'ostrel-seam-'));
  const run = (program, args, input) => spawnSync(program, args, {
    cwd: dir, input: Buffer.from(input, 'latin1'), maxBuffer: 1 << 28,
    env: {...process.env, XDG_STATE_HOME: state, LD_PRELOAD: native.fixedTime, OSTREL_TEST_TIME: '1000',
          OSTREL_TEST_NO_SLEEP: '1'},
  });
  const same = (what, web, ran) => {
    const out = ran.stdout.toString('latin1');
    check(web.text === out && web.status === ran.status,
          `${what}: the web build's ${JSON.stringify(web.text.slice(-120))} (exit ${web.status}), ` +
          `native ${JSON.stringify(out.slice(-120))} (exit ${ran.status})`);
  };
  try {
    const journal = new MemoryJournal();
    same('the first half', await play(createOstrel, dir, before, journal), run(native.ostrel, ['--new'], before));
    const saveDir = path.join(state, 'ostrel');
    const saves = fs.existsSync(saveDir) ? fs.readdirSync(saveDir).filter((n) => n.endsWith('.save')) : [];
    if (journal.bytes === null) {
      check(saves.length === 0, `no save in the web build, native ${saves}`);
      return problems;
    }
    check(saves.length === 1, `native saves: ${saves}`);
    if (saves.length !== 1) return problems;
    const saveFile = path.join(saveDir, saves[0]);
    const written = fs.readFileSync(saveFile);
    const bytes = Buffer.from(journal.bytes);
    // The native save may hold room made ahead, in zero bytes, after it.
    check(written.subarray(0, bytes.length).equals(bytes) && written.subarray(bytes.length).every((b) => b === 0),
          `the journals differ: web ${bytes.toString('hex')}, native ${written.toString('hex')}`);
    fs.writeFileSync(saveFile, bytes);
    const toPlay = new Uint8Array(bytes);
    same('played from the title', await play(createOstrel, dir, '', null, toPlay),
         spawnSync(native.replay, ['--journal', saveFile, dir], {maxBuffer: 1 << 28}));
    same('continued', await play(createOstrel, dir, rest, journal), run(native.ostrel, ['--continue'], rest));
  } finally {
    fs.rmSync(state, {recursive: true, force: true});
  }
  return problems;
}

async function main() {
  const [enginePath, dir, ...more] = process.argv.slice(2);
  const createOstrel = require(path.resolve(enginePath));
  const input = fs.readFileSync(path.join(dir, 'input')).toString('latin1');
  const problems = [];
  const check = (ok, what) => { if (!ok) problems.push(what); };

  const whole = await play(createOstrel, dir, input, null);
  // Stopped halfway through the duel, the page closed; opened again.
  const cut = 5;
  const journal = new MemoryJournal();
  const first = await play(createOstrel, dir, input.slice(0, cut), journal);
  check(first.text === whole.text.slice(0, first.text.length), 'the first half as the whole');
  check(journal.bytes !== null && journal.bytes[0] === 'H'.charCodeAt(0),
        'a journal that begins with its header');
  check(journal.calls.includes('sync'), 'the journal made durable before the page waits');
  const rest = await play(createOstrel, dir, input.slice(cut), journal);
  const screen = first.text.slice(first.text.lastIndexOf('\f') + 1);
  const expected = '\f' + screen + whole.text.slice(first.text.length);
  check(rest.text === expected, `continued: ${JSON.stringify(rest.text.slice(0, 200))}\n` +
                                `    expected ${JSON.stringify(expected.slice(0, 200))}`);
  check(rest.status === whole.status, `exit status ${rest.status}`);
  check(rest.errors.length === 0, `wrote to stderr: ${rest.errors.join(' ')}`);
  check(journal.bytes === null, 'the save removed when the game ended');
  // The moves typed on the screen continued are shown as they were typed.
  const typedScreen = '\f' + first.shown.slice(first.shown.lastIndexOf('\f') + 1);
  check(/\n[0-9]\n/.test(typedScreen) && rest.shown.startsWith(typedScreen),
        `the screen continued with its moves: ${JSON.stringify(rest.shown.slice(0, 200))}\n` +
        `    expected ${JSON.stringify(typedScreen.slice(0, 200))}`);

  // Undo in the duel takes it back whole: the journal cut where it began
  // continues at its first turn, as the duel stood before its first move.
  const index = new JournalIndex();
  const firstHalf = new MemoryJournal();
  await play(createOstrel, dir, input.slice(0, cut), firstHalf);
  index.update(firstHalf.bytes, firstHalf.bytes.length);
  const begun = index.duelsBegun[0];
  check(index.undoCut() === begun && index.answers[0] > begun, `undo in the duel cut at ${index.undoCut()}`);
  const beforeMove = new MemoryJournal();
  beforeMove.bytes = firstHalf.bytes.slice(0, index.answers[0]);
  const atFirstMove = await play(createOstrel, dir, '', beforeMove);
  const undone = new MemoryJournal();
  undone.bytes = firstHalf.bytes.slice(0, begun);
  const atDuel = await play(createOstrel, dir, '', undone);
  const lastScreen = (run) => run.shown.slice(run.shown.lastIndexOf('\f'));
  check(lastScreen(atDuel) === lastScreen(atFirstMove) && atDuel.shown.includes('\f'),
        `undone: ${JSON.stringify(atDuel.shown.slice(0, 200))}\n` +
        `    expected ${JSON.stringify(atFirstMove.shown.slice(0, 200))}`);

  // Storage that throws: the game plays on as without saving.
  const broken = new MemoryJournal();
  broken.journalAppend = () => { throw new Error('quota'); };
  const plain = await play(createOstrel, dir, input, broken);
  check(plain.text === whole.text, 'the game without storage');

  let passed = 0;
  let failed = 0;
  const report = (what, found) => {
    if (found.length === 0) {
      passed++;
    } else {
      failed++;
      console.log(`FAILED: ${what}\n  ${found.join('\n  ')}`);
    }
  };
  report('saving in the page', problems);
  if (more[0] === '--native') {
    const [ostrel, fixedTime, replay, ...dirs] = more.slice(1).map((p) => path.resolve(p));
    for (const story of dirs) {
      const found = [];
      for (const [before, rest] of cuts(story)) {
        const problems = await matchesNative(createOstrel, {ostrel, fixedTime, replay}, story, before, rest);
        found.push(...problems.map((p) => `cut after ${JSON.stringify(before)}: ${p}`));
      }
      report(`${story}: the journal as the native engine's, cut after each line`, found.slice(0, 3));
    }
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main();
