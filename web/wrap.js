// The page's display of what the engine writes, on a screen of any width:
// prose is wrapped at blanks, art keeps its columns. Only what the page shows
// changes: the engine's bytes, the screen reader's lines and the transcript
// stay as they were written.
//
// Text comes a letter at a time while a dialog is typed out, so a word's end
// is not known when it starts: a word that reaches the right edge is moved,
// as far as it has come, to the next row. A line is art when it holds three
// blanks in a row, or a tab, between other characters (a picture, a table,
// the columns of a title); art is never wrapped, and when it is wider than
// the screen the page is asked to make room (smaller letters) until the
// screen is cleared. A word too long for a row of its own is treated alike.
// What the player types is wrapped as prose, and Backspace erases across a
// wrapped row.
'use strict';

// The cells a character takes at the terminal: 0 for marks that join the
// character before, 2 for the wide characters of East Asian scripts, as the
// terminal's own Unicode 6 rules count them.
function cellWidth(cp) {
  if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0)) return 0;
  if (cp < 0x300) return 1;
  const ch = String.fromCodePoint(cp);
  if (/[\p{Mn}\p{Me}\p{Cf}]/u.test(ch) || (cp >= 0x1160 && cp <= 0x11ff)) return 0;
  if ((cp >= 0x1100 && cp < 0x1160) || cp === 0x2329 || cp === 0x232a ||
      (cp >= 0x2e80 && cp < 0xa4d0 && cp !== 0x303f) || (cp >= 0xac00 && cp < 0xd7a4) ||
      (cp >= 0xf900 && cp < 0xfb00) || (cp >= 0xfe10 && cp < 0xfe1a) ||
      (cp >= 0xfe30 && cp < 0xfe70) || (cp >= 0xff00 && cp < 0xff61) ||
      (cp >= 0xffe0 && cp < 0xffe7) || (cp >= 0x20000 && cp <= 0x2fffd) ||
      (cp >= 0x30000 && cp <= 0x3fffd)) {
    return 2;
  }
  return 1;
}

const isBlank = (ch) => ch === ' ' || ch === '\t';
const isLineEnd = (ch) => ch === '\n' || ch === '\v' || ch === '\f';
// What the page keeps of the current screen, to lay it out again at another
// width: about this many characters, the oldest dropped first.
const LOG_LIMIT = 200000;

class WordWrap {
  // screen: write(text) to the terminal; columns() its width now; rows() its
  //   height; widen(columns) makes at least that many columns fit if it can
  //   and returns the width then; reset() clears it all for a new layout.
  // width: the cells of a code point (cellWidth by default).
  constructor(screen, width) {
    this.screen = screen;
    this.width = width || cellWidth;
    this.sgr = '';  // the colour in force
    this.log = [];
    this.logSize = 0;
    this.logSgr = '';  // the colour in force where the log begins
    this.echo = null;  // the player's line being typed
    this.escape = 0;  // inside an escape sequence: 1 after ESC, 2 CSI, 3 OSC
    this.startScreen();
  }

  startScreen() {
    this.cols = Math.max(1, this.screen.columns());
    this.col = 0;
    this.row = 0;  // rows begun since the screen was cleared
    this.startLine();
  }

  startLine() {
    this.indent = 0;  // the line's leading blank cells
    this.leading = true;
    this.art = false;
    this.seen = false;  // a character that is no blank on this line
    this.run = 0;  // blank cells since the last other character
    this.tabInRun = false;
    this.pending = 0;  // blank cells of art beyond the right edge
    this.swallow = false;  // blanks that follow a break made at a blank
    this.word = {text: '', cells: 0, start: 0, sgr: ''};
  }

  // ---- What the engine and the player write ---------------------------

  // Shows text: the engine's (echoed false) or what the line editor echoes
  // of the player's typing.
  write(text, echoed) {
    this.record(echoed ? 'e' : 't', text);
    this.show(text, echoed);
  }

  color(sgr) {
    this.record('c', sgr);
    this.applyColor(sgr);
  }

  // The screen was cleared: a new screen at the terminal's width now.
  clear() {
    this.log = [];
    this.logSize = 0;
    this.logSgr = this.sgr;
    this.echo = null;
    this.startScreen();
  }

  // The terminal's width changed: the screen is laid out anew.
  relayout() {
    const log = this.log;
    this.screen.reset();
    this.sgr = '';
    this.echo = null;
    this.escape = 0;
    this.startScreen();
    if (this.logSgr) this.applyColor(this.logSgr);
    for (const [kind, text] of log) {
      if (kind === 'c') this.applyColor(text); else this.show(text, kind === 'e');
    }
  }

  record(kind, text) {
    const last = this.log[this.log.length - 1];
    if (kind === 'e' && last && last[0] === 'e' && !last[1].endsWith('\n')) {
      // One entry for the line being typed, so that Backspace edits it.
      last[1] = text === '\b \b' ? Array.from(last[1]).slice(0, -1).join('') : last[1] + text;
    } else if (!(kind === 'e' && text === '\b \b')) {
      this.log.push([kind, text]);
    }
    this.logSize += text.length;
    while (this.logSize > LOG_LIMIT && this.log.length > 1) {
      const [oldKind, old] = this.log.shift();
      if (oldKind === 'c') this.logSgr = old;
      this.logSize -= old.length;
    }
  }

  applyColor(sgr) {
    this.sgr = sgr;
    this.word.text += sgr;
    this.screen.write(sgr);
  }

  show(text, echoed) {
    if (!echoed) {
      this.echo = null;
      this.feed(text, false);
      return;
    }
    if (!this.echo) this.startEcho();
    if (text === '\b \b') {
      this.echo.text = Array.from(this.echo.text).slice(0, -1).join('');
      this.retypeEcho();
      return;
    }
    this.echo.text += text;
    this.feed(text, true);
    if (text.includes('\n')) this.echo = null;
  }

  // The player starts typing: what they type begins a word of its own, and
  // where it begins is kept, to show the line again after a Backspace.
  startEcho() {
    if (this.col >= this.cols) this.breakRow();
    this.endWord();
    this.echo = {text: '', state: this.saveState()};
  }

  retypeEcho() {
    const state = this.echo.state;
    const up = this.row - state.row;
    if (up >= this.screen.rows()) {
      // Where the line began has scrolled away: erase the last cell alone.
      this.screen.write('\b \b');
      this.col = Math.max(0, this.col - 1);
      return;
    }
    this.screen.write((up > 0 ? `\x1b[${up}A` : '') + `\x1b[${state.col + 1}G\x1b[J`);
    this.restoreState(state);
    this.feed(this.echo.text, true);
  }

  saveState() {
    const s = {};
    for (const key of ['col', 'row', 'indent', 'leading', 'art', 'seen', 'run', 'tabInRun',
                       'pending', 'swallow']) {
      s[key] = this[key];
    }
    s.word = {...this.word};
    return s;
  }

  restoreState(s) {
    Object.assign(this, s);
    this.word = {...s.word};
  }

  // ---- Laying out -----------------------------------------------------

  feed(text, echoed) {
    const chars = Array.from(text);
    let out = '';
    const flush = () => {
      if (out) this.screen.write(out);
      out = '';
    };
    for (let i = 0; i < chars.length; i++) {
      const ch = chars[i];
      if (this.escape) {
        out += ch;
        this.word.text += ch;
        this.endEscape(ch);
        continue;
      }
      // What the player types is known as art, or not, a key at a time, as
      // it was typed, also when it is shown again after a Backspace.
      if (!echoed && this.col === 0 && this.leading && !this.seen && i + 1 < chars.length) {
        flush();
        this.lookAhead(chars, i);
      }
      if (ch === '\x1b') {
        this.escape = 1;
        out += ch;
        this.word.text += ch;
      } else if (isLineEnd(ch)) {
        out += ch;
        this.row++;
        this.col = 0;
        this.startLine();
      } else if (ch === '\r' || ch === '\b') {
        out += ch;
        this.col = ch === '\r' ? 0 : Math.max(0, Math.min(this.col, this.cols - 1) - 1);
        this.endWord();
      } else if (isBlank(ch)) {
        flush();
        this.blank(ch);
      } else {
        const cp = ch.codePointAt(0);
        const w = this.width(cp);
        if (w === 0 || cp < 0x20) {
          out += ch;
          this.word.text += ch;
          continue;
        }
        flush();
        this.visible(ch, w, echoed, chars, i);
      }
    }
    flush();
  }

  endEscape(ch) {
    const c = ch.codePointAt(0);
    if (this.escape === 1) {
      this.escape = ch === '[' ? 2 : ch === ']' ? 3 : 0;
    } else if (this.escape === 2) {
      if (c >= 0x40 && c <= 0x7e) this.escape = 0;
    } else if (ch === '\x07' || ch === '\\') {
      this.escape = 0;
    }
  }

  // A whole line at hand: art is known at its start, and made room for once.
  lookAhead(chars, i) {
    let cells = 0;
    let end = 0;
    let seen = false;
    let run = 0;
    let tab = false;
    let art = false;
    for (let j = i; j < chars.length && !isLineEnd(chars[j]); j++) {
      const ch = chars[j];
      if (ch === '\x1b' || ch === '\r' || ch === '\b') return;
      if (isBlank(ch)) {
        cells += ch === '\t' ? 8 - cells % 8 : 1;
        if (seen) {
          run++;
          tab = tab || ch === '\t';
        }
        continue;
      }
      if (seen && (run >= 3 || tab)) art = true;
      seen = true;
      run = 0;
      tab = false;
      cells += this.width(ch.codePointAt(0));
      end = cells;
    }
    if (art) {
      this.art = true;
      if (end > this.cols) this.cols = Math.max(this.cols, this.screen.widen(end));
    }
  }

  blank(ch) {
    const w = ch === '\t' ? 8 - this.col % 8 : 1;
    this.endWord();
    if (this.leading) this.indent += w;
    if (this.seen) {
      this.run += w;
      this.tabInRun = this.tabInRun || ch === '\t';
    }
    if (this.swallow) return;
    if (this.art) {
      // Blanks at the edge of art wait for what follows them.
      if (this.pending > 0 || this.col + w > this.cols) {
        this.pending += w;
        return;
      }
      this.put(ch === '\t' ? ' '.repeat(w) : ch, w);
      return;
    }
    if (this.col + w <= this.cols) {
      this.put(ch === '\t' ? ' '.repeat(w) : ch, w);
    } else {
      this.breakRow();
      this.swallow = true;
    }
  }

  visible(ch, w, echoed, chars, i) {
    if (this.seen && (this.run >= 3 || this.tabInRun)) this.art = true;
    this.seen = true;
    this.leading = false;
    this.run = 0;
    this.tabInRun = false;
    this.swallow = false;
    if (this.pending > 0) {
      const need = this.col + this.pending + w;
      if (need > this.cols) this.makeRoom(need, echoed);
      if (this.col + this.pending + w > this.cols) {
        this.hardBreak();
      } else {
        this.put(' '.repeat(this.pending), this.pending);
      }
      this.pending = 0;
    }
    if (this.col + w > this.cols) {
      if (this.art) {
        // Art keeps its columns.
      } else if (this.word.cells > 0 && this.word.start > this.continuation()) {
        this.moveWord();
      } else if (this.word.cells === 0 && this.col > this.continuation()) {
        this.breakRow();
      }
      // Art, or a word too long for a row of its own.
      if (this.col + w > this.cols) this.makeRoom(this.col + (this.art ? w : this.restOfWord(chars, i)), echoed);
      if (this.col + w > this.cols) this.hardBreak();
    }
    if (this.word.cells === 0) {
      this.word.start = this.col;
      this.word.sgr = this.sgr;
      this.word.text = '';
    }
    this.word.text += ch;
    this.word.cells += w;
    this.screen.write(ch);
    this.col += w;
  }

  // The cells from chars[i] to the next blank or line end.
  restOfWord(chars, i) {
    let cells = 0;
    for (let j = i; j < chars.length && !isBlank(chars[j]) && !isLineEnd(chars[j]) &&
         chars[j] !== '\x1b'; j++) {
      cells += this.width(chars[j].codePointAt(0));
    }
    return cells;
  }

  // Asks the page for more columns; what the player types never asks.
  makeRoom(columns, echoed) {
    if (echoed || columns <= this.cols) return;
    this.cols = Math.max(this.cols, this.screen.widen(columns));
  }

  put(text, w) {
    this.screen.write(text);
    this.col += w;
  }

  endWord() {
    this.word = {text: '', cells: 0, start: this.col, sgr: this.sgr};
  }

  // Where a row that continues a wrapped line begins: under the line's
  // first word, unless that is too far in.
  continuation() {
    return this.indent * 2 <= this.cols ? this.indent : 0;
  }

  breakRow() {
    const indent = this.continuation();
    this.screen.write('\r\n' + ' '.repeat(indent));
    this.row++;
    this.col = indent;
    this.endWord();
  }

  // Art or a word that cannot fit goes on at the start of the next row.
  hardBreak() {
    this.screen.write('\r\n');
    this.row++;
    this.col = 0;
    this.word.start = 0;
    this.word.cells = 0;
    this.word.text = '';
  }

  // The word being written goes to the next row, as far as it has come.
  moveWord() {
    const word = this.word;
    const indent = this.continuation();
    this.screen.write(`\x1b[${word.start + 1}G\x1b[K\r\n` + ' '.repeat(indent) + word.sgr + word.text);
    this.row++;
    this.col = indent + word.cells;
    word.start = indent;
  }
}

if (typeof module !== 'undefined') module.exports = {WordWrap, cellWidth};
