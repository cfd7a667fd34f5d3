// The web build's side of saving, under Node: the engine keeps its journal
// through the host's journal functions (engine/terminal_web.cpp), and a page
// that has a save continues by itself, as `ostrel --continue` does. The
// page's own storage is not tested here, only the functions it must offer.
//
//   node --no-experimental-fetch save_seam_test.js ENGINE_JS STORY_DIR
'use strict';
const fs = require('fs');
const path = require('path');
const {OstrelHost} = require('./host.js');

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
// `journal` (none when null); resolves with the text shown, a form feed for
// each clear screen, what went to standard error and the exit status.
function play(createOstrel, dir, input, journal) {
  let text = '';
  const errors = [];
  const screen = {
    write(bytes, echoed) { if (!echoed) text += Buffer.from(bytes).toString('latin1'); },
    color() {},
    clear() { text += '\f'; },
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
          if (fs.existsSync(file)) module.FS.writeFile('/story/' + name, fs.readFileSync(file));
        }
        module.FS.chdir('/story');
      }],
      onExit(status) { resolve({text, errors, status}); },
    }).catch(reject);
  });
}

async function main() {
  const [enginePath, dir] = process.argv.slice(2);
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

  // Storage that throws: the game plays on as without saving.
  const broken = new MemoryJournal();
  broken.journalAppend = () => { throw new Error('quota'); };
  const plain = await play(createOstrel, dir, input, broken);
  check(plain.text === whole.text, 'the game without storage');

  if (problems.length > 0) {
    console.log('FAILED: saving in the page\n  ' + problems.join('\n  '));
    process.exit(1);
  }
  console.log('1 passed, 0 failed');
  process.exit(0);
}

main();
