// The page's word wrapping (wrap.js) on the terminal the page uses,
// xterm.js, run under Node without a browser: whole words on every row, at
// once and a letter at a time, colours kept, art unbroken, Backspace across
// a wrapped row, and the screen laid out again at another width.
//
//   node wrap_test.js
'use strict';
const path = require('path');
const {Terminal} = require(path.join(__dirname, 'node_modules', '@xterm', 'xterm', 'lib', 'xterm.js'));
const {WordWrap, cellWidth} = require('./wrap.js');

let passes = 0;
let failures = 0;
function check(ok, what, detail) {
  if (ok) {
    passes++;
  } else {
    failures++;
    console.log(`FAILED: ${what}${detail !== undefined ? `\n  ${JSON.stringify(detail)}` : ''}`);
  }
}

// A terminal `cols` wide that may widen up to `widest` columns, as the page
// does when it makes its letters smaller.
function makeScreen(cols, widest = cols, rows = 30) {
  const term = new Terminal({cols, rows, convertEol: true, scrollback: 1000, allowProposedApi: true});
  const asked = [];
  const screen = {
    write: (text) => term.write(text),
    columns: () => term.cols,
    rows: () => term.rows,
    widen(columns) {
      asked.push(columns);
      const to = Math.min(widest, Math.max(columns, term.cols));
      if (to !== term.cols) term.resize(to, term.rows);
      return term.cols;
    },
    reset: () => term.write('\x1b[0m\x1b[H\x1b[2J\x1b[3J'),
  };
  const wrap = new WordWrap(screen);
  const settle = () => new Promise((resolve) => term.write('', resolve));
  // The rows from the top of the scroll-back to the cursor's, trailing
  // blanks trimmed.
  const lines = async () => {
    await settle();
    const buffer = term.buffer.active;
    const out = [];
    for (let i = 0; i <= buffer.baseY + buffer.cursorY; i++) {
      out.push(buffer.getLine(i).translateToString(true).trimEnd());
    }
    return out;
  };
  const cursor = async () => {
    await settle();
    return [term.buffer.active.cursorX, term.buffer.active.cursorY + term.buffer.active.baseY];
  };
  return {term, wrap, asked, lines, cursor, settle};
}

const words = (text) => text.split(/\s+/).filter((w) => w !== '');
const typed = (wrap, text) => { for (const ch of text) wrap.write(ch, false); };

// Every word of `text` whole on some row, in order, and nothing else.
function wordsWhole(rows, text, cols) {
  const shown = rows.flatMap(words);
  return rows.every((r) => r.length <= cols) &&
         JSON.stringify(shown) === JSON.stringify(words(text));
}

const PROSE = 'The Elder waits by the dead fountain. Paths lead north to the forest, ' +
              'east to the smithy and west to the old well, where nobody goes.';

async function prose() {
  for (const cols of [20, 37, 41]) {
    const whole = makeScreen(cols);
    whole.wrap.write(PROSE + '\n', false);
    const wholeRows = await whole.lines();
    check(wordsWhole(wholeRows, PROSE, cols), `a line at once at ${cols} columns: whole words`, wholeRows);
    const letters = makeScreen(cols);
    typed(letters.wrap, PROSE + '\n');
    const letterRows = await letters.lines();
    check(JSON.stringify(letterRows) === JSON.stringify(wholeRows),
          `a line typed a letter at a time at ${cols} columns: as at once`, letterRows);
  }
  // A blank at the very edge, and blanks after a break, do not start a row.
  const edge = makeScreen(10);
  edge.wrap.write('abcdefghij   klm nop\n', false);
  check(JSON.stringify(await edge.lines()) === JSON.stringify(['abcdefghij', 'klm nop', '']),
        'blanks at a break are not shown', await edge.lines());
  // An indented line goes on under its first word.
  const indented = makeScreen(20);
  indented.wrap.write('    Somewhere under the old ruins\n', false);
  check(JSON.stringify(await indented.lines()) ===
        JSON.stringify(['    Somewhere under', '    the old ruins', '']),
        'an indented line wraps under its first word', await indented.lines());
  // Wide characters take two columns and are not split at the edge.
  const wide = makeScreen(10);
  typed(wide.wrap, 'ab \u6f22\u5b57\u6f22\u5b57 cd\n');
  check(JSON.stringify(await wide.lines()) === JSON.stringify(['ab', '\u6f22\u5b57\u6f22\u5b57', 'cd', '']),
        'wide characters move with their word', await wide.lines());
}

async function colours() {
  const s = makeScreen(12);
  s.wrap.write('one two ', false);
  s.wrap.color('\x1b[91m');
  typed(s.wrap, 'Error: mis');
  s.wrap.color('\x1b[0m');
  typed(s.wrap, 'sing\n');
  const rows = await s.lines();
  check(JSON.stringify(rows) === JSON.stringify(['one two', 'Error:', 'missing', '']), 'a report wraps', rows);
  const line = s.term.buffer.active.getLine(2);
  const fg = (x) => line.getCell(x).getFgColor();
  check(fg(0) === 9 && fg(2) === 9 && line.getCell(3).isFgDefault(),
        'a word moved to the next row keeps its colours', [fg(0), fg(2), fg(3)]);
}

async function art() {
  const frame = '     O  --->   [#]   you aim at its head...';
  const s = makeScreen(30, 60);
  s.wrap.write(frame + '\n', false);
  check(s.asked.length === 1 && s.asked[0] === frame.length, 'art asks once for its width', s.asked);
  check((await s.lines())[0] === frame, 'art is not wrapped', await s.lines());
  // Typed a letter at a time, it is known as art at its second picture.
  const t = makeScreen(30, 60);
  typed(t.wrap, frame + '\n');
  check((await t.lines())[0] === frame, 'typed art is not wrapped', await t.lines());
  // Where the screen can widen no more, art goes on at the next row's start.
  const narrow = makeScreen(20, 25);
  narrow.wrap.write(frame + '\n', false);
  check(JSON.stringify(await narrow.lines()) === JSON.stringify([frame.slice(0, 25).trimEnd(), frame.slice(25), '']),
        'art wider than the screen can be: cut at the edge, not at blanks', await narrow.lines());
  // Blanks after art at the edge are not a reason to widen.
  const trailing = makeScreen(10, 40);
  trailing.wrap.write('a   b' + ' '.repeat(20) + '\n', false);
  check(trailing.asked.length === 0, 'trailing blanks of art need no room', trailing.asked);
  // A word longer than a row asks for room; what the player types never.
  const long = makeScreen(10, 40);
  long.wrap.write('see ==================== here\n', false);
  check(long.asked.length === 1 && long.asked[0] === 20 &&
        JSON.stringify(await long.lines()) === JSON.stringify(['see', '='.repeat(20), 'here', '']),
        'a word too long for a row goes to a row of its own, and makes room', [long.asked, await long.lines()]);
  const player = makeScreen(10, 40);
  player.wrap.write('>', false);
  for (const ch of 'abcdefghijklmno') player.wrap.write(ch, true);
  check(player.asked.length === 0, 'a long typed word does not widen the screen', player.asked);
}

async function echo() {
  const s = makeScreen(12);
  s.wrap.write('Go where?\n>', false);
  for (const ch of 'go northward') s.wrap.write(ch, true);
  check(JSON.stringify(await s.lines()) === JSON.stringify(['Go where?', '>go', 'northward']),
        'what the player types wraps at blanks', await s.lines());
  // Backspace back across the wrapped row, then typing again.
  for (let i = 0; i < 'northward'.length + 1; i++) s.wrap.write('\b \b', true);
  check(JSON.stringify(await s.lines()) === JSON.stringify(['Go where?', '>go']) &&
        JSON.stringify(await s.cursor()) === JSON.stringify([3, 1]),
        'Backspace erases across a wrapped row', [await s.lines(), await s.cursor()]);
  for (const ch of ' west\n') s.wrap.write(ch, true);
  s.wrap.write('You go west.\n', false);
  check(JSON.stringify(await s.lines()) === JSON.stringify(['Go where?', '>go west', 'You go west.', '']),
        'typing goes on after Backspace', await s.lines());
  // A prompt at the very edge: typing starts on the next row.
  const edge = makeScreen(6);
  edge.wrap.write('abcde>', false);
  for (const ch of 'x') edge.wrap.write(ch, true);
  edge.wrap.write('\b \b', true);
  for (const ch of 'yz\n') edge.wrap.write(ch, true);
  check(JSON.stringify(await edge.lines()) === JSON.stringify(['abcde>', 'yz', '']),
        'a prompt at the edge', await edge.lines());
}

async function relayout() {
  const s = makeScreen(40);
  s.wrap.color('\x1b[91m');
  s.wrap.write('Error: ', false);
  s.wrap.color('\x1b[0m');
  s.wrap.write(PROSE + '\n>', false);
  for (const ch of 'go no') s.wrap.write(ch, true);
  s.wrap.write('\b \b', true);
  s.term.resize(16, 30);
  s.wrap.relayout();
  const rows = await s.lines();
  check(wordsWhole(rows, 'Error: ' + PROSE + ' >go n', 16) && rows[rows.length - 1] === '>go n',
        'laid out again at another width, the player\'s line included', rows);
  check(s.term.buffer.active.getLine(0).getCell(0).getFgColor() === 9, 'and its colours');
  // A cleared screen is not shown again.
  s.term.write('\x1b[H\x1b[2J\x1b[3J');
  s.wrap.clear();
  s.wrap.write('Fresh.\n', false);
  s.wrap.relayout();
  check(JSON.stringify(await s.lines()) === JSON.stringify(['Fresh.', '']), 'only the screen since the clear',
        await s.lines());
}

// Random prose cut into random pieces, and a player's line typed with random
// Backspaces: always the same rows as the whole text written at once.
async function randomText() {
  let seed = 12345;
  const random = (n) => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed % n;
  };
  for (let round = 0; round < 40; round++) {
    const cols = 8 + random(40);
    let text = '';
    const lines = 1 + random(4);
    for (let l = 0; l < lines; l++) {
      const count = 1 + random(15);
      for (let w = 0; w < count; w++) {
        const length = 1 + random(Math.floor(cols / 2));
        text += (w > 0 ? ' '.repeat(1 + random(2)) : '') + 'abcdefghij\u00e9\u6f22'.repeat(3)
          .slice(random(10), 30).slice(0, length);
      }
      text += '\n';
    }
    const whole = makeScreen(cols);
    whole.wrap.write(text + '>', false);
    for (const ch of 'the final answer') whole.wrap.write(ch, true);
    const expected = await whole.lines();
    const pieces = makeScreen(cols);
    for (let i = 0; i < text.length;) {
      const n = 1 + random(12);
      pieces.wrap.write(text.slice(i, i + n), false);
      i += n;
    }
    pieces.wrap.write('>', false);
    // The player's line, with slips erased.
    for (const ch of 'the final answer') {
      if (random(4) === 0) {
        const slips = 'xy z'.slice(0, 1 + random(4));
        for (const slip of slips) pieces.wrap.write(slip, true);
        for (let e = 0; e < slips.length; e++) pieces.wrap.write('\b \b', true);
      }
      pieces.wrap.write(ch, true);
    }
    const got = await pieces.lines();
    if (JSON.stringify(got) !== JSON.stringify(expected)) {
      check(false, `random text ${round} at ${cols} columns`, {expected, got, text});
      return;
    }
  }
  check(true);
}

async function widths() {
  check(cellWidth(0x41) === 1 && cellWidth(0x301) === 0 && cellWidth(0x6f22) === 2 &&
        cellWidth(0x1F409) === 1 && cellWidth(0x0a) === 0, 'cell widths as the terminal counts them');
}

(async () => {
  try {
    await prose();
    await colours();
    await art();
    await echo();
    await relayout();
    await randomText();
    await widths();
  } catch (e) {
    failures++;
    console.log(`FAILED: ${e.stack || e}`);
  }
  console.log(`${passes} passed, ${failures} failed`);
  process.exit(failures === 0 ? 0 : 1);
})();
