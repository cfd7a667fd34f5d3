// The page's side of the web terminal layer (engine/terminal_web.cpp): the
// keys typed, the pauses, and the transcript of everything shown. The page
// gives it its screen and the real clock; the Node harness a recorder and a
// clock that never waits.
'use strict';

// What the engine reads: 0 a key, 1 a word's line, 2 a number's line.
const PURPOSES = ['key', 'word', 'number'];

class OstrelHost {
  // screen: write(bytes, echoed), color(attribute, sgr), clear(),
  //   line(text) for each whole line shown, waiting(purpose or null),
  //   inputRead(kind, bytes) (optional), typingEffect() (optional: false
  //   when dialogs are to be shown at once).
  // clock: now() in milliseconds, wait(ms) a promise kept after ms.
  constructor(screen, clock) {
    this.screen = screen;
    this.clock = clock;
    this.queue = [];
    this.queueStart = 0;
    this.inputEnded = false;
    this.waiter = null;
    this.chain = false;
    this.deadline = 0;
    this.decoder = new TextDecoder('utf-8');
    this.transcript = '';
    this.pending = '';  // the line being shown, not yet announced
    this.announced = 0;  // how much of `pending` was announced at a wait
    this.echoed = false;  // `pending` holds what the player is typing
    this.stopped = false;
  }

  // The page has begun another run: this one shows nothing more, and its
  // pauses and reads never end, so that nothing holds it and it is dropped
  // whole.
  stop() {
    this.stopped = true;
    this.waiter = null;
  }

  // ---- Input ----------------------------------------------------------

  // Queues what the player typed: a string (as UTF-8) or bytes.
  type(data) {
    if (this.stopped) return;
    const bytes = typeof data === 'string' ? new TextEncoder().encode(data) : data;
    for (const b of bytes) this.queue.push(b);
    this.wake();
  }

  // No more input will come: reads find the end of input.
  endInput() {
    this.inputEnded = true;
    this.wake();
  }

  wake() {
    if (this.waiter && (this.byteReady() || this.inputEnded)) {
      const resolve = this.waiter;
      this.waiter = null;
      this.screen.waiting(null);
      resolve(this.takeByte());
    }
  }

  byteReady() { return this.queueStart < this.queue.length; }

  takeByte() {
    if (!this.byteReady()) return -1;
    const b = this.queue[this.queueStart++];
    if (this.queueStart > 4096) {
      this.queue = this.queue.slice(this.queueStart);
      this.queueStart = 0;
    }
    return b;
  }

  nextByte(purpose) {
    if (this.stopped) return new Promise(() => {});
    this.chain = false;
    // The engine asks the player: what it has shown of the line is complete.
    if (!this.echoed) this.announcePending();
    if (this.byteReady() || this.inputEnded) return Promise.resolve(this.takeByte());
    this.screen.waiting(PURPOSES[purpose]);
    return new Promise((resolve) => { this.waiter = resolve; });
  }

  inputRead(kind, bytes) {
    if (this.screen.inputRead && !this.stopped) this.screen.inputRead(kind, bytes);
  }

  // Asked by the engine before each line of a dialog.
  typingEffect() { return this.screen.typingEffect ? this.screen.typingEffect() !== false : true; }

  // ---- Output ---------------------------------------------------------

  write(bytes, echoed) {
    if (this.stopped) return;
    this.screen.write(bytes, echoed);
    if (echoed) this.echoed = true;
    const text = this.decoder.decode(bytes, {stream: true});
    if (echoed && text === '\b \b') {
      // The line editor erased the last character typed.
      const chars = Array.from(this.pending);
      if (chars.length > 0 && this.pending.length > this.announced) {
        const last = chars[chars.length - 1];
        this.pending = this.pending.slice(0, -last.length);
        this.transcript = this.transcript.slice(0, -last.length);
      }
      return;
    }
    this.transcript += text;
    let start = 0;
    for (let i = text.indexOf('\n'); i >= 0; i = text.indexOf('\n', start)) {
      this.pending += text.slice(start, i);
      this.announce(this.pending.slice(this.announced));
      this.pending = '';
      this.announced = 0;
      this.echoed = false;
      start = i + 1;
    }
    this.pending += text.slice(start);
  }

  color(attribute, sgr) { if (!this.stopped) this.screen.color(attribute, sgr); }

  clear() {
    if (this.stopped) return;
    this.announcePending();
    this.pending = '';
    this.announced = 0;
    this.echoed = false;
    this.transcript += '\f';
    this.screen.clear();
  }

  // Pauses that follow each other closely (the typing effect) are timed from
  // the last one's deadline, so that the time spent showing does not add up.
  sleep(ms) {
    if (this.stopped) return new Promise(() => {});
    const now = this.clock.now();
    let base = now;
    if (this.chain && now >= this.deadline && now - this.deadline < 100) base = this.deadline;
    this.deadline = base + ms;
    this.chain = true;
    return this.clock.wait(this.deadline - now);
  }

  // The run has ended: the last line shown is complete.
  finish() { this.announcePending(); }

  announcePending() {
    const rest = this.pending.slice(this.announced);
    if (rest.trim() !== '') {
      this.announce(rest);
      this.announced = this.pending.length;
    }
  }

  announce(text) {
    if (text.trim() !== '') this.screen.line(text);
  }
}

if (typeof module !== 'undefined') module.exports = {OstrelHost};
