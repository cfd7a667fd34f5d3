// The published page: the terminal that fills the window, the story's files
// for the engine, the screen reader's lines, the transcript to save, the
// reader's settings, and the offer to play again when a run ends.
'use strict';
(function () {
  const FILES = ['script.ostrel', 'animations.ostrel', 'title_screen.ostrel', 'credits.ostrel'];
  const story = JSON.parse(document.getElementById('ostrel-story').textContent);
  const container = document.getElementById('terminal');
  const region = document.getElementById('transcript');
  const ended = document.getElementById('ended');
  const again = document.getElementById('again');
  const save = document.getElementById('save');
  // The screen reader's region keeps this many lines; older ones go.
  const REGION_LINES = 200;

  // ---- The reader's settings, kept by the browser for every story ------

  const SETTINGS_KEY = 'ostrel-settings';
  const SIZES = [10, 12, 14, 16, 18, 20, 22, 24, 28, 32];
  const DEFAULT_SIZE = 16;
  // Art wider than the screen is shown in letters as small as this, no less.
  const MIN_ART_SIZE = 6;
  const THEMES = {
    dark: {background: '#000000', foreground: '#cccccc', cursor: '#cccccc', cursorAccent: '#000000',
           selectionBackground: '#555555', red: '#cd3131', brightRed: '#f14c4c'},
    light: {background: '#ffffff', foreground: '#1e1e1e', cursor: '#1e1e1e', cursorAccent: '#ffffff',
            selectionBackground: '#b4d5fe', black: '#000000', red: '#a00000', green: '#116611',
            yellow: '#795e00', blue: '#0036b3', magenta: '#8b008b', cyan: '#006b6b', white: '#555555',
            brightBlack: '#444444', brightRed: '#c00000', brightGreen: '#0a590a', brightYellow: '#6b5200',
            brightBlue: '#0030a0', brightMagenta: '#7a007a', brightCyan: '#005a5a', brightWhite: '#333333'},
  };

  // Storage may be missing or refuse (private browsing, a page from a disk):
  // the settings then last as long as the page.
  function loadSettings() {
    let stored = {};
    try {
      stored = JSON.parse(window.localStorage.getItem(SETTINGS_KEY)) || {};
    } catch (e) { /* none kept */ }
    return {
      size: SIZES.includes(stored.size) ? stored.size : undefined,
      theme: stored.theme === 'light' || stored.theme === 'dark' ? stored.theme : undefined,
      instant: stored.instant === true,
    };
  }
  function storeSettings() {
    try {
      window.localStorage.setItem(SETTINGS_KEY, JSON.stringify(settings));
    } catch (e) { /* not kept */ }
  }
  const settings = loadSettings();
  const prefersLight = window.matchMedia ? window.matchMedia('(prefers-color-scheme: light)') : null;
  const theme = () => settings.theme || (prefersLight && prefersLight.matches ? 'light' : 'dark');
  const readerSize = () => settings.size || DEFAULT_SIZE;

  // ---- The terminal -------------------------------------------------------

  const term = new Terminal({convertEol: true, cursorBlink: true, scrollback: 5000,
                             fontSize: readerSize(), theme: THEMES[theme()]});
  const fit = new FitAddon.FitAddon();
  term.loadAddon(fit);
  term.open(container);
  // The font size art needs on this screen, or 0 for the reader's own.
  let artSize = 0;

  function setFontSize(size) {
    if (term.options.fontSize !== size) term.options.fontSize = size;
    try {
      fit.fit();
    } catch (e) { /* hidden or not laid out yet */ }
  }

  // The screen's layout: prose wrapped at blanks, art kept whole (wrap.js),
  // with the terminal's own count of the cells a character takes.
  const unicode = term._core && term._core.unicodeService;
  const cells = unicode && typeof unicode.wcwidth === 'function' ? (cp) => unicode.wcwidth(cp) : undefined;
  const layout = {
    write: (text) => term.write(text),
    columns: () => term.cols,
    rows: () => term.rows,
    // Smaller letters until `columns` fit, as far as MIN_ART_SIZE allows.
    widen(columns) {
      let size = term.options.fontSize;
      while (term.cols < columns && size > MIN_ART_SIZE) {
        const guess = Math.floor(size * term.cols / columns * 2) / 2;
        size = Math.max(MIN_ART_SIZE, Math.min(size - 0.5, guess));
        setFontSize(size);
      }
      if (size !== readerSize()) artSize = size;
      return term.cols;
    },
    reset: () => term.write('\x1b[0m\x1b[H\x1b[2J\x1b[3J'),
  };
  let wrap = new WordWrap(layout, cells);

  // The reader's size again (the window's width or the setting changed):
  // the screen is laid out anew, art making room again if it needs it.
  function refit() {
    const cols = term.cols;
    const size = term.options.fontSize;
    artSize = 0;
    setFontSize(readerSize());
    if (term.cols !== cols || term.options.fontSize !== size) wrap.relayout();
    term.scrollToBottom();
  }
  setFontSize(readerSize());

  // The page is as tall as what is visible of it, so that the prompt stays
  // above an on-screen keyboard; a reader who zooms in sees a part of the
  // page, which keeps its height.
  const viewport = window.visualViewport;
  let lastWidth = container.clientWidth;
  function followViewport() {
    if (viewport) {
      const visible = Math.min(window.innerHeight, viewport.height * viewport.scale);
      document.body.style.height = `${Math.round(visible)}px`;
    }
    if (container.clientWidth !== lastWidth) {
      lastWidth = container.clientWidth;
      refit();
    } else {
      // Only the height: rows come and go, and the prompt stays in sight.
      try {
        fit.fit();
      } catch (e) { /* not laid out yet */ }
      term.scrollToBottom();
    }
  }
  if (viewport) viewport.addEventListener('resize', followViewport);
  window.addEventListener('resize', followViewport);
  if (typeof ResizeObserver === 'function') new ResizeObserver(followViewport).observe(container);
  followViewport();

  // Tab and Shift-Tab leave the terminal for the page's controls, as in the
  // rest of the page, instead of being typed: the keyboard is never trapped.
  term.attachCustomKeyEventHandler((event) =>
    !(event.key === 'Tab' && !event.ctrlKey && !event.altKey && !event.metaKey));

  // A tap or a click gives the terminal the keyboard (the on-screen one on a
  // touch screen).
  container.addEventListener('click', () => term.focus());
  container.addEventListener('touchend', () => term.focus());
  term.focus();

  // ---- Settings ---------------------------------------------------------

  const dialog = document.getElementById('settings');
  const sizeShown = document.getElementById('size');
  const smaller = document.getElementById('smaller');
  const larger = document.getElementById('larger');
  const instant = document.getElementById('instant');
  const themeChoices = Array.from(document.querySelectorAll('input[name="theme"]'));

  function applyTheme() {
    document.documentElement.dataset.theme = theme();
    term.options.theme = THEMES[theme()];
    for (const choice of themeChoices) choice.checked = choice.value === theme();
  }
  function showSize() {
    const size = readerSize();
    sizeShown.textContent = `${size} px`;
    const focused = document.activeElement;
    smaller.disabled = size <= SIZES[0];
    larger.disabled = size >= SIZES[SIZES.length - 1];
    // A button that can do no more keeps no focus: the keyboard goes to the
    // other one.
    if (focused === smaller && smaller.disabled) larger.focus();
    if (focused === larger && larger.disabled) smaller.focus();
  }
  function changeSize(step) {
    const at = SIZES.indexOf(readerSize());
    const next = SIZES[Math.max(0, Math.min(SIZES.length - 1, at + step))];
    if (next === readerSize()) return;
    settings.size = next;
    storeSettings();
    showSize();
    refit();
  }
  applyTheme();
  showSize();
  instant.checked = settings.instant;
  if (prefersLight && prefersLight.addEventListener) {
    prefersLight.addEventListener('change', () => { if (!settings.theme) applyTheme(); });
  }

  document.getElementById('open-settings').addEventListener('click', () => {
    if (typeof dialog.showModal === 'function') dialog.showModal(); else dialog.setAttribute('open', '');
  });
  document.getElementById('close-settings').addEventListener('click', () => dialog.close());
  // Back to the story, where the player types.
  dialog.addEventListener('close', () => term.focus());
  smaller.addEventListener('click', () => changeSize(-1));
  larger.addEventListener('click', () => changeSize(1));
  for (const choice of themeChoices) {
    choice.addEventListener('change', () => {
      settings.theme = choice.value;
      storeSettings();
      applyTheme();
    });
  }
  // From the next line typed on.
  instant.addEventListener('change', () => {
    settings.instant = instant.checked;
    storeSettings();
  });

  // ---- The status line --------------------------------------------------

  // Said once, politely: why progress is not kept, and what the engine told
  // of the run (a story changed since its save).
  const note = document.getElementById('note');
  const UNKEPT = {
    refused: 'Progress will not be kept: this browser does not let the page store it.',
    full: 'Progress will not be kept: the browser\'s storage is full.',
    elsewhere: 'Progress here is no longer kept: this story was opened in another tab or window.',
  };
  let unkept = '';
  let told = [];
  function showNote() {
    note.textContent = [unkept, ...told].filter((text) => text !== '').join(' ');
  }
  // "ostrel: the story has changed ..." as a sentence.
  function tellFromEngine(line) {
    const text = line.replace(/^ostrel: /, '');
    told.push(text.charAt(0).toUpperCase() + text.slice(1) + (/[.!?]$/.test(text) ? '' : '.'));
    showNote();
  }

  // ---- The save ---------------------------------------------------------

  // Kept under the name the story was published under: its directory's
  // name and the page's title.
  const keeper = new SaveKeeper(JSON.stringify([story.name || '', document.title]), (reason) => {
    unkept = UNKEPT[reason];
    showNote();
  }, () => window.indexedDB);
  const undo = document.getElementById('undo');

  function showControls() {
    const focused = document.activeElement === undo;
    undo.disabled = keeper.undoCut() < 0;
    // A button that can do nothing keeps no focus: back to the story.
    if (focused && undo.disabled) term.focus();
  }

  // The engine's journal functions for the run of `thisHost`: a run the page
  // has left behind (Undo, Start over) touches the save no more.
  function journalFunctions(thisHost) {
    const never = () => new Promise(() => {});
    const live = () => host === thisHost;
    const change = (done) => {
      showControls();
      return done;
    };
    return {
      journalLoad: () => (live() ? keeper.load().then((bytes) => change(bytes)) : never()),
      journalAppend: (bytes) => { if (live()) change(keeper.append(bytes)); },
      journalSync: () => (live() ? keeper.sync() : never()),
      journalReplace: (bytes) => (live() ? change(keeper.replace(bytes)) : never()),
      journalDiscard: () => (live() ? change(keeper.discard()) : never()),
    };
  }

  // ---- The engine -------------------------------------------------------

  let host = null;
  let earlier = '';  // the transcripts of the runs before this one
  // The journal the page's first run continued, for the transcript: the game
  // before it, played again from the title when the transcript is saved.
  let continued = null;
  let firstRun = true;
  // The engine's bytes are decoded here, not by xterm.js: its decoder drops a
  // byte that is not UTF-8, where a terminal shows U+FFFD (as the saved
  // transcript does). Streaming keeps a character split between writes whole.
  let decoder = new TextDecoder('utf-8');

  const screen = {
    write(bytes, echoed) { wrap.write(decoder.decode(bytes, {stream: true}), echoed); },
    color(attribute, sgr) { wrap.color(sgr); },
    clear() {
      // A new screen: the reader's size again, if art had made it smaller.
      if (artSize !== 0) {
        artSize = 0;
        setFontSize(readerSize());
      }
      term.write('\x1b[H\x1b[2J\x1b[3J');
      wrap.clear();
    },
    line(text) {
      const p = document.createElement('p');
      p.textContent = text;
      region.appendChild(p);
      while (region.childNodes.length > REGION_LINES) region.removeChild(region.firstChild);
    },
    waiting(purpose) { document.body.dataset.input = purpose || ''; },
    typingEffect: () => !settings.instant,
  };
  const clock = {
    now: () => performance.now(),
    wait: (ms) => new Promise((resolve) => setTimeout(resolve, Math.max(0, ms))),
  };

  function decode(base64) {
    const text = atob(base64);
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    return bytes;
  }

  // Runs the engine for `runHost`; `options` adds to the module's.
  function runEngine(runHost, options) {
    return createOstrel(Object.assign({
      ostrelHost: runHost,
      print: (text) => console.log(text),
      quit: (status, toThrow) => { throw toThrow; },
      preRun: [(module) => {
        module.FS.mkdir('/story');
        for (const name of FILES) {
          if (story.files[name] !== undefined) {
            module.FS.writeFile('/story/' + name, decode(story.files[name]));
          }
        }
        module.FS.chdir('/story');
      }],
    }, options));
  }

  function onExit(status) {
    host.finish();
    document.body.dataset.input = 'ended';
    ended.textContent = status === 0 ? 'The story has ended.' : 'The story has stopped at an error.';
    again.hidden = false;
    again.focus();
  }

  // A new run of the engine, which continues the save as the keeper holds
  // it (none: the story from its title). The run before it is left behind.
  function start() {
    if (host) {
      earlier += host.transcript + '\f';
      host.stop();
    }
    term.reset();
    artSize = 0;
    setFontSize(readerSize());
    wrap = new WordWrap(layout, cells);
    decoder = new TextDecoder('utf-8');
    document.body.dataset.input = '';
    ended.textContent = '';
    again.hidden = true;
    told = [];
    showNote();
    host = new OstrelHost(screen, clock);
    const thisHost = host;
    Object.assign(host, journalFunctions(host));
    if (firstRun) {
      firstRun = false;
      keeper.load().then((bytes) => { continued = bytes; });
    }
    term.focus();
    runEngine(host, {
      printErr: (text) => {
        if (host !== thisHost) return;
        if (text.startsWith('ostrel: ')) tellFromEngine(text); else console.error(text);
      },
      onExit: (status) => { if (host === thisHost) onExit(status); },
    });
    showControls();
  }

  term.onData((data) => { if (host) host.type(data); });

  // The end of a run leaves the engine's own exception unhandled.
  const isExit = (e) => e && e.name === 'ExitStatus';
  window.addEventListener('unhandledrejection', (event) => { if (isExit(event.reason)) event.preventDefault(); });
  window.addEventListener('error', (event) => { if (isExit(event.error)) event.preventDefault(); });

  // ---- Undo, Start over, Play again ---------------------------------------

  // The last answer taken back, or the duel it was a move of: the game is
  // played again from its save without them.
  undo.addEventListener('click', () => {
    const cut = keeper.undoCut();
    if (cut < 0) return;
    keeper.cut(cut);
    start();
  });

  const confirmation = document.getElementById('confirm-start-over');
  const keepPlaying = document.getElementById('keep-playing');
  // The keyboard on the answer that loses nothing.
  document.getElementById('start-over').addEventListener('click', () => {
    if (typeof confirmation.showModal === 'function') confirmation.showModal(); else confirmation.setAttribute('open', '');
    keepPlaying.focus();
  });
  keepPlaying.addEventListener('click', () => confirmation.close());
  document.getElementById('start-anew').addEventListener('click', () => {
    confirmation.close();
    keeper.discard();
    start();
  });
  confirmation.addEventListener('close', () => term.focus());

  // A fresh save: a game that stopped at an error kept its own.
  again.addEventListener('click', () => {
    keeper.discard();
    start();
  });

  // ---- The transcript ---------------------------------------------------

  // The game a reload continued, from its title to where it was saved: its
  // journal played again by the engine, answers as typed, without waiting.
  function playedAgain(journal) {
    const quiet = {write() {}, color() {}, clear() {}, line() {}, waiting() {}, typingEffect: () => false};
    const replayHost = new OstrelHost(quiet, {now: () => 0, wait: () => Promise.resolve()});
    replayHost.journalToPlay = () => journal;
    replayHost.endInput();
    return new Promise((resolve) => {
      runEngine(replayHost, {printErr: () => {}, onExit: () => resolve(replayHost.transcript)})
        .catch(() => resolve(null));
    });
  }

  // Everything the page has shown since it was opened, the runs one after
  // another; when it opened on a saved game, the game before as it was
  // played, in the place of the screen the continue showed again.
  async function transcript() {
    let text = earlier + (host ? host.transcript : '');
    if (continued) {
      const before = await playedAgain(continued);
      // The continue's clear screen and the screen as it stood: the end of
      // what the game played again shows.
      const screenShown = before === null ? null : '\f' + before.slice(before.lastIndexOf('\f') + 1);
      if (screenShown !== null && text.startsWith(screenShown)) text = before + text.slice(screenShown.length);
    }
    return text;
  }

  save.addEventListener('click', async () => {
    const text = await transcript();
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], {type: 'text/plain;charset=utf-8'}));
    link.download = (document.title || 'story') + ' transcript.txt';
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    term.focus();
  });

  start();
})();
