// The web build under Node, without a browser: plays each story directory
// with its walkthrough typed ahead at the page's terminal, on a clock that
// never waits, and compares what it shows with the replay tool's transcript
// (`expected`, as `ostrel-replay --trace` writes it): text, colours, clears,
// pauses, reads and the exit status. What the line editor echoes is checked
// against the lines typed, and the screen reader's lines against the text.
// With --replay, each story is played again with the typing effect off, and
// compared with what `ostrel-replay --trace --no-typing` writes.
//
//   node --no-experimental-fetch harness.js ENGINE_JS [--replay OSTREL_REPLAY] DIR...
'use strict';
const fs = require('fs');
const path = require('path');
const {execFileSync} = require('child_process');
const {OstrelHost} = require('./host.js');

const FILES = ['script.ostrel', 'animations.ostrel', 'title_screen.ostrel', 'credits.ostrel'];
const READ_MARKS = ['key', 'word ', 'number ', 'end of input'];

// A run that exits ends with an exception of Emscripten's own; nothing else
// may go unhandled.
process.on('unhandledRejection', (e) => {
  if (e && e.name === 'ExitStatus') return;
  throw e;
});

// The fixed clock of the replay tool's --time and --time-step.
function fixClock(dir) {
  let seconds = 1000;
  let step = 0;
  const args = scenarioArgs(dir);
  for (let i = 0; i + 1 < args.length; i++) {
    if (args[i] === '--time') seconds = Number(args[i + 1]);
    if (args[i] === '--time-step') step = Number(args[i + 1]);
  }
  Date.now = () => {
    const now = seconds * 1000;
    seconds += step;
    return now;
  };
}

// The options of the scenario's `args` file, as run_scenario.sh reads them.
function scenarioArgs(dir) {
  const argsFile = path.join(dir, 'args');
  return fs.existsSync(argsFile) ? fs.readFileSync(argsFile, 'utf8').trim().split(/\s+/) : [];
}

function playStory(createOstrel, dir, typing) {
  const inputFile = path.join(dir, 'input');
  const input = fs.existsSync(inputFile) ? fs.readFileSync(inputFile) : Buffer.alloc(0);
  const trace = [];
  const echo = [];
  const typedInLines = [];
  const lines = [];
  let virtualMs = 0;
  let pendingPurpose = null;
  const mark = (text) => trace.push(Buffer.from(`[[${text}]]`));
  const screen = {
    typingEffect: () => typing,
    write(bytes, echoed) { (echoed ? echo : trace).push(Buffer.from(bytes)); },
    color(attribute) { mark(`color ${attribute}`); },
    clear() { mark('clear'); },
    line(text) { lines.push(text); },
    waiting(purpose) { pendingPurpose = purpose; },
    inputRead(kind, bytes) {
      trace.push(Buffer.concat([Buffer.from('[[' + READ_MARKS[kind]), Buffer.from(bytes),
                                Buffer.from(']]')]));
    },
  };
  const clock = {
    now: () => virtualMs,
    wait(ms) {
      virtualMs += ms;
      return Promise.resolve();
    },
  };
  const host = new OstrelHost(screen, clock);
  const sleep = host.sleep.bind(host);
  host.sleep = (ms) => {
    mark(`sleep ${ms}`);
    return sleep(ms);
  };
  const nextByte = host.nextByte.bind(host);
  host.nextByte = (purpose) => nextByte(purpose).then((b) => {
    if (purpose !== 0 && b >= 0) typedInLines.push(b);
    return b;
  });
  host.type(input);
  host.endInput();
  fixClock(dir);
  return new Promise((resolve, reject) => {
    createOstrel({
      ostrelHost: host,
      // Node would end the process at the run's end.
      quit: (status, toThrow) => { throw toThrow; },
      print: (text) => reject(new Error('wrote to stdout: ' + text)),
      printErr: (text) => reject(new Error('wrote to stderr: ' + text)),
      preRun: [(module) => {
        module.FS.mkdir('/story');
        for (const name of FILES) {
          const file = path.join(dir, name);
          if (!fs.existsSync(file)) continue;
          if (fs.statSync(file).isDirectory()) {
            module.FS.mkdir('/story/' + name);
          } else {
            module.FS.writeFile('/story/' + name, fs.readFileSync(file));
          }
        }
        module.FS.chdir('/story');
      }],
      onExit(status) {
        host.finish();
        trace.push(Buffer.from(`[[exit ${status}]]\n`));
        resolve({trace: Buffer.concat(trace), echo: Buffer.concat(echo),
                 typed: Buffer.from(typedInLines), lines, host, pendingPurpose});
      },
    }).catch(reject);
  });
}

// What a terminal shows of the lines typed: the characters, Enter as a new
// line, and no other control character.
function shownOfTyped(typed) {
  const out = [];
  for (const b of typed) {
    if (b === 0x0d || b === 0x0a) out.push(0x0a);
    else if (b >= 0x20 && b !== 0x7f || b === 0x09) out.push(b);
  }
  return Buffer.from(out);
}

function compare(dir, run, expected) {
  const problems = [];
  if (!expected.equals(run.trace)) {
    let i = 0;
    while (i < expected.length && expected[i] === run.trace[i]) i++;
    problems.push(`transcript differs at byte ${i}:\n  expected ${JSON.stringify(
        expected.slice(Math.max(0, i - 40), i + 40).toString('latin1'))}\n  actual   ${
        JSON.stringify(run.trace.slice(Math.max(0, i - 40), i + 40).toString('latin1'))}`);
  }
  if (!shownOfTyped(run.typed).equals(run.echo)) {
    problems.push(`echo ${JSON.stringify(run.echo.toString('latin1'))} for typed lines ${
        JSON.stringify(run.typed.toString('latin1'))}`);
  }
  // Every text shown reaches the screen reader once, in whole lines.
  const squeeze = (s) => s.replace(/\s+/g, '');
  const heard = run.lines.join('');
  if (squeeze(heard) !== squeeze(run.host.transcript)) {
    problems.push(`screen reader lines ${JSON.stringify(heard.slice(0, 200))} for text ${
        JSON.stringify(run.host.transcript.slice(0, 200))}`);
  }
  if (run.lines.some((line) => line.includes('\n'))) problems.push('a line with a line break');
  return problems;
}

// The native engine's trace of a story with the typing effect off.
function replayWithoutTyping(replay, dir) {
  const inputFile = path.join(dir, 'input');
  const input = fs.existsSync(inputFile) ? fs.readFileSync(inputFile) : Buffer.alloc(0);
  try {
    return execFileSync(replay, ['--trace', '--no-typing', ...scenarioArgs(dir), dir],
                        {input, stdio: ['pipe', 'pipe', 'ignore'], maxBuffer: 1 << 28});
  } catch (e) {
    // A story that ends with status 1 says so in its trace.
    if (e.stdout) return e.stdout;
    throw e;
  }
}

async function main() {
  let [enginePath, ...dirs] = process.argv.slice(2);
  let replay = null;
  if (dirs[0] === '--replay') [, replay, ...dirs] = dirs;
  if (!enginePath || !dirs || dirs.length === 0) {
    process.stderr.write('usage: node harness.js ENGINE_JS [--replay OSTREL_REPLAY] DIR...\n');
    process.exit(2);
  }
  const createOstrel = require(path.resolve(enginePath));
  let passed = 0;
  let failed = 0;
  for (const dir of dirs) {
    let problems;
    try {
      problems = compare(dir, await playStory(createOstrel, dir, true),
                         fs.readFileSync(path.join(dir, 'expected')));
      if (replay) {
        problems.push(...compare(dir, await playStory(createOstrel, dir, false),
                                 replayWithoutTyping(replay, dir))
          .map((p) => 'typing effect off: ' + p));
      }
    } catch (e) {
      problems = [String(e && e.stack || e)];
    }
    if (problems.length === 0) {
      passed++;
    } else {
      failed++;
      console.log(`FAILED: ${dir}\n  ${problems.join('\n  ')}`);
    }
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main();
