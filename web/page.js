// The published page: the terminal that fills the window, the story's files
// for the engine, the screen reader's lines, the transcript to save, and the
// offer to play again when a run ends.
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

  const term = new Terminal({convertEol: true, cursorBlink: true, scrollback: 5000});
  const fit = new FitAddon.FitAddon();
  term.loadAddon(fit);
  term.open(container);
  // Stories are written for a terminal some 80 columns wide. On a narrow
  // screen (a phone held upright) the letters shrink, down to a size still
  // legible, so that 72 columns fit and lines are not broken mid-word.
  const FONT_SIZE = term.options.fontSize;
  const MIN_FONT_SIZE = 9;
  const WANTED_COLUMNS = 72;
  const refit = () => {
    try {
      const dims = fit.proposeDimensions();
      if (dims && dims.cols > 0) {
        const size = term.options.fontSize;
        const columnsAtFullSize = dims.cols * size / FONT_SIZE;
        const wanted = Math.max(MIN_FONT_SIZE, Math.min(FONT_SIZE,
            Math.floor(FONT_SIZE * columnsAtFullSize / WANTED_COLUMNS)));
        if (wanted !== size) term.options.fontSize = wanted;
      }
      fit.fit();
    } catch (e) { /* hidden or not laid out yet */ }
  };
  refit();
  window.addEventListener('resize', refit);
  if (typeof ResizeObserver === 'function') new ResizeObserver(refit).observe(container);
  // A tap or a click gives the terminal the keyboard (the on-screen one on a
  // touch screen).
  container.addEventListener('click', () => term.focus());
  container.addEventListener('touchend', () => term.focus());
  term.focus();

  let host = null;
  let earlier = '';  // the transcripts of the runs before this one
  // The engine's bytes are decoded here, not by xterm.js: its decoder drops a
  // byte that is not UTF-8, where a terminal shows U+FFFD (as the saved
  // transcript does). Streaming keeps a character split between writes whole.
  let decoder = new TextDecoder('utf-8');

  const screen = {
    write(bytes) { term.write(decoder.decode(bytes, {stream: true})); },
    color(attribute, sgr) { term.write(sgr); },
    clear() { term.write('\x1b[H\x1b[2J\x1b[3J'); },
    line(text) {
      const p = document.createElement('p');
      p.textContent = text;
      region.appendChild(p);
      while (region.childNodes.length > REGION_LINES) region.removeChild(region.firstChild);
    },
    waiting(purpose) { document.body.dataset.input = purpose || ''; },
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

  function onExit(status) {
    host.finish();
    document.body.dataset.input = 'ended';
    ended.textContent = status === 0 ? 'The story has ended.' : 'The story has stopped at an error.';
    again.hidden = false;
    again.focus();
  }

  function start() {
    if (host) earlier += host.transcript + '\f';
    term.reset();
    decoder = new TextDecoder('utf-8');
    ended.textContent = '';
    again.hidden = true;
    host = new OstrelHost(screen, clock);
    const thisHost = host;
    term.focus();
    createOstrel({
      ostrelHost: host,
      print: (text) => console.log(text),
      printErr: (text) => console.error(text),
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
      onExit: (status) => { if (host === thisHost) onExit(status); },
    });
  }

  term.onData((data) => { if (host) host.type(data); });

  // The end of a run leaves the engine's own exception unhandled.
  const isExit = (e) => e && e.name === 'ExitStatus';
  window.addEventListener('unhandledrejection', (event) => { if (isExit(event.reason)) event.preventDefault(); });
  window.addEventListener('error', (event) => { if (isExit(event.error)) event.preventDefault(); });

  again.addEventListener('click', start);
  save.addEventListener('click', () => {
    const text = earlier + (host ? host.transcript : '');
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
