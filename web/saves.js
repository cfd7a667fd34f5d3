// The page's save: the journal of the game that the engine writes (its
// format is at the top of engine/journal.h), kept in memory, where Undo takes
// answers back, and in the browser's IndexedDB, so that a reload, or a tab
// that a phone discarded, continues the game.
//
// One database, "ostrel", for every page the browser opens from one place
// (all pages opened from file:// share one). Its store "saves" holds one
// record per story, {key, bytes, used}: the name the story was published
// under, the journal's bytes as last written whole, and when that was. A
// journal of up to WHOLE_LIMIT bytes is written whole at each sync; a longer
// one has the bytes added since in the store "parts", under [key, n], and is
// written whole again every MAX_PARTS parts. Each write is one transaction,
// complete (committed, with strict durability) before the engine reads the
// player's next answer.
//
// When the browser's storage is full, the saves of the stories used least
// recently give way, one by one, until the write fits; the save of the story
// being played never does. Storage that is refused, fails or stays full
// leaves the game to be played on from memory, and the page is told once.
'use strict';

const SAVE_DATABASE = 'ostrel';
const SAVES = 'saves';
const PARTS = 'parts';
const WHOLE_LIMIT = 64 * 1024;
const MAX_PARTS = 256;
const OPEN_WAIT_MS = 3000;

// What the engine's records are, by their first byte.  ORDER KINDS: journal.h
const KIND_HEADER = 0x48;  // H
const KIND_WORD = 0x57;    // W
const KIND_NUMBER = 0x4e;  // N
const KIND_DUEL_BEGINS = 0x42;  // B
const KIND_DUEL_ENDS = 0x45;    // E
const RECORD_KINDS = new Set([0x4b, 0x57, 0x4e, 0x54, 0x42, 0x45, 0x52]);  // K W N T B E R

// Where a journal's records begin: its answers (words and numbers) and the
// marks of its duels begun and ended, read record by record as the journal
// grows. Reading stops at the first byte that begins no whole record of the
// engine's: the rest is not indexed.
class JournalIndex {
  constructor() {
    this.reset();
  }

  reset() {
    this.parsed = 0;
    this.stopped = false;
    this.answers = [];
    this.duelsBegun = [];
    this.duelsEnded = [];
  }

  // Indexes the whole records of bytes[this.parsed, length).
  update(bytes, length) {
    while (!this.stopped && this.parsed < length) {
      const start = this.parsed;
      const kind = bytes[start];
      if (start === 0 ? kind !== KIND_HEADER : !RECORD_KINDS.has(kind)) {
        this.stopped = true;
        return;
      }
      let size = 0;
      let at = start + 1;
      for (let shift = 0; ; shift += 7) {
        if (shift > 28) {
          this.stopped = true;
          return;
        }
        if (at >= length) return;  // the rest comes later
        const b = bytes[at++];
        size += (b & 0x7f) * 2 ** shift;
        if ((b & 0x80) === 0) break;
      }
      const end = at + size + 4;
      if (end > length) return;
      if (kind === KIND_WORD || kind === KIND_NUMBER) this.answers.push(start);
      else if (kind === KIND_DUEL_BEGINS) this.duelsBegun.push(start);
      else if (kind === KIND_DUEL_ENDS) this.duelsEnded.push(start);
      this.parsed = end;
    }
  }

  // Where Undo cuts the journal: at its last answer, so that the answer and
  // all after it go; or, when that answer is a move of a duel not ended
  // before it, at the duel's beginning, since the duel played again from its
  // saved clock would show the computer's moves ahead. -1 when there is no
  // answer to take back.
  undoCut() {
    const last = (list, before) => {
      for (let i = list.length - 1; i >= 0; i--) if (list[i] < before) return list[i];
      return -1;
    };
    if (this.answers.length === 0) return -1;
    const answer = this.answers[this.answers.length - 1];
    const begun = last(this.duelsBegun, answer);
    return begun >= 0 && last(this.duelsEnded, answer) < begun ? begun : answer;
  }

  // The journal now ends at `at`, a record's beginning.
  cut(at) {
    const keep = (list) => list.filter((offset) => offset < at);
    this.answers = keep(this.answers);
    this.duelsBegun = keep(this.duelsBegun);
    this.duelsEnded = keep(this.duelsEnded);
    this.parsed = Math.min(this.parsed, at);
    this.stopped = false;
  }
}

// The save of one story. `key` is its name; `tell(reason)` is called once,
// the first time progress cannot be kept, with 'refused', 'full' or
// 'elsewhere' (another page took this story's save over).
class SaveKeeper {
  constructor(key, tell, storage) {
    this.key = key;
    this.tell = tell;
    this.storage = storage;  // the IndexedDB factory, or a getter that throws
    this.buffer = new Uint8Array(1024);
    this.length = 0;
    this.index = new JournalIndex();
    this.db = null;
    this.kept = true;
    this.loading = null;
    this.writes = Promise.resolve();
    this.stored = 0;  // the bytes storage holds, from the start
    this.parts = 0;  // the parts storage holds after the record
    this.whole = true;  // the next write is whole
    this.epoch = 0;  // counts the changes that are no appends
  }

  // ---- The journal in memory -------------------------------------------

  // The journal's bytes (a copy), or null when there are none.
  journal() {
    return this.length > 0 ? this.buffer.slice(0, this.length) : null;
  }

  setJournal(bytes) {
    this.length = 0;
    this.index.reset();
    this.append(bytes);
    this.epoch++;
    this.whole = true;
  }

  append(bytes) {
    if (this.length + bytes.length > this.buffer.length) {
      let size = this.buffer.length;
      while (size < this.length + bytes.length) size *= 2;
      const grown = new Uint8Array(size);
      grown.set(this.buffer.subarray(0, this.length));
      this.buffer = grown;
    }
    this.buffer.set(bytes, this.length);
    this.length += bytes.length;
    this.index.update(this.buffer, this.length);
  }

  // Where Undo would cut the journal, or -1 (JournalIndex.undoCut).
  undoCut() {
    return this.index.undoCut();
  }

  // ---- The engine's journal functions (engine/terminal_web.cpp) ----------

  // Opens the storage, once, and reads this story's save: a promise of the
  // journal in memory, which the save fills when there is one.
  load() {
    if (!this.loading) this.loading = this.open();
    return this.loading.then(() => this.journal());
  }

  // Each of these answers a promise of true: storage that fails is told to
  // the page, and the engine goes on journaling into memory.
  sync() {
    return this.queue(() => this.write());
  }

  replace(bytes) {
    this.setJournal(bytes);
    return this.sync();
  }

  discard() {
    this.setJournal(new Uint8Array(0));
    return this.queue(() => this.remove());
  }

  // Takes the journal back to its first `at` bytes, and stores it so.
  cut(at) {
    this.length = at;
    this.index.cut(at);
    this.epoch++;
    this.whole = true;
    return this.sync();
  }

  // ---- Storage ---------------------------------------------------------

  queue(operation) {
    this.writes = this.writes.then(operation).then(() => true, () => true);
    return this.writes;
  }

  giveUp(reason) {
    this.db = null;
    if (!this.kept) return;
    this.kept = false;
    this.tell(reason);
  }

  async open() {
    this.db = await this.openDatabase();
    if (!this.db) return;
    // One page at a time keeps a story's save: the newest takes it over, and
    // one opened before it stops writing.
    if (typeof navigator !== 'undefined' && navigator.locks) {
      try {
        navigator.locks.request(`${SAVE_DATABASE} ${this.key}`, {steal: true},
                                () => new Promise(() => {}))
          .catch(() => this.giveUp('elsewhere'));
      } catch (e) { /* the save unguarded */ }
    }
    let record;
    let parts = [];
    try {
      await this.transaction('readonly', (saves, partStore) => {
        const get = saves.get(this.key);
        get.onsuccess = () => { record = get.result; };
        const getParts = partStore.getAll(this.partRange(this.key));
        getParts.onsuccess = () => { parts = getParts.result || []; };
      });
    } catch (e) {
      this.giveUp('refused');
      return;
    }
    const bytes = record && (record.bytes instanceof Uint8Array || record.bytes instanceof ArrayBuffer)
      ? new Uint8Array(record.bytes) : null;
    if (bytes === null) return;
    this.setJournal(bytes);
    for (const part of parts) {
      if (part instanceof Uint8Array) this.append(part);
    }
  }

  openDatabase() {
    return new Promise((resolve) => {
      let settled = false;
      const settle = (db) => {
        if (settled) {
          if (db) db.close();
          return;
        }
        settled = true;
        if (!db) this.giveUp('refused');
        resolve(db);
      };
      let request;
      try {
        request = this.storage().open(SAVE_DATABASE, 1);
      } catch (e) {
        settle(null);
        return;
      }
      // A browser whose storage never answers must not hold the story back:
      // after OPEN_WAIT_MS it plays without it.
      if (typeof AbortSignal !== 'undefined' && typeof AbortSignal.timeout === 'function') {
        AbortSignal.timeout(OPEN_WAIT_MS).addEventListener('abort', () => settle(null));
      }
      request.onupgradeneeded = () => {
        const db = request.result;
        if (!db.objectStoreNames.contains(SAVES)) {
          db.createObjectStore(SAVES, {keyPath: 'key'}).createIndex('used', 'used');
        }
        if (!db.objectStoreNames.contains(PARTS)) db.createObjectStore(PARTS);
      };
      request.onsuccess = () => {
        const db = request.result;
        // The browser closed it (its data cleared): nothing more is kept.
        db.onclose = () => this.giveUp('refused');
        db.onversionchange = () => db.close();
        settle(db);
      };
      request.onerror = () => settle(null);
    });
  }

  partRange(key) {
    return IDBKeyRange.bound([key, -Infinity], [key, Infinity]);
  }

  // One transaction over both stores: `fill(saves, parts)` makes its
  // requests. A promise kept when it is complete, broken when it is not.
  transaction(mode, fill) {
    return new Promise((resolve, reject) => {
      let tx = null;
      try {
        tx = this.db.transaction([SAVES, PARTS], mode, {durability: 'strict'});
        tx.oncomplete = () => resolve();
        tx.onabort = () => reject(tx.error || new DOMException('aborted', 'AbortError'));
        fill(tx.objectStore(SAVES), tx.objectStore(PARTS));
      } catch (e) {
        // Nothing of a transaction half made is kept.
        try {
          if (tx) tx.abort();
        } catch (ignored) { /* already over */ }
        reject(e);
      }
    });
  }

  // Writes what memory holds that storage does not.
  async write() {
    if (!this.db || !this.kept) return;
    const size = this.length;
    if (!this.whole && size === this.stored) return;
    if (size === 0) return this.remove();
    const epoch = this.epoch;
    const whole = this.whole || size <= WHOLE_LIMIT || this.parts >= MAX_PARTS;
    const bytes = this.buffer.slice(whole ? 0 : this.stored, size);
    const part = this.parts;
    for (;;) {
      try {
        await this.transaction('readwrite', (saves, parts) => {
          if (whole) {
            saves.put({key: this.key, bytes, used: Date.now()});
            parts.delete(this.partRange(this.key));
          } else {
            parts.put(bytes, [this.key, part]);
          }
        });
        break;
      } catch (e) {
        if (!this.db) return;
        if (e && e.name === 'QuotaExceededError' && await this.evictOne()) continue;
        this.giveUp(e && e.name === 'QuotaExceededError' ? 'full' : 'refused');
        return;
      }
    }
    // Memory taken back or replaced meanwhile is written whole next time.
    if (epoch !== this.epoch) return;
    this.stored = size;
    this.parts = whole ? 0 : part + 1;
    this.whole = false;
  }

  async remove() {
    if (!this.db || !this.kept) return;
    try {
      await this.transaction('readwrite', (saves, parts) => {
        saves.delete(this.key);
        parts.delete(this.partRange(this.key));
      });
      this.stored = 0;
      this.parts = 0;
    } catch (e) {
      this.giveUp('refused');
    }
  }

  // Removes the save of the story used least recently but this one. False
  // when there is none.
  async evictOne() {
    let evicted = false;
    try {
      await this.transaction('readwrite', (saves, parts) => {
        const cursor = saves.index('used').openKeyCursor();
        cursor.onsuccess = () => {
          const at = cursor.result;
          if (!at) return;
          if (at.primaryKey === this.key) {
            at.continue();
            return;
          }
          saves.delete(at.primaryKey);
          parts.delete(this.partRange(at.primaryKey));
          evicted = true;
        };
      });
    } catch (e) {
      return false;
    }
    return evicted;
  }
}

if (typeof module !== 'undefined') module.exports = {JournalIndex, SaveKeeper};
